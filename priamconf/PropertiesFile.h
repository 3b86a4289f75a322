// The Priam properties file "zbPriam.properties": its line format and the
// map reader/writer that the property writer and the secret removal share.
//
// The file is plain text, one entry per line: the key, "=", the value, then
// a LF. A line is split at its first "=", so a value may itself hold "=".
// Empty lines and lines without "=" carry no entry. Keys are compared byte
// by byte; there is no comment syntax.
#pragma once

#include <map>
#include <string>

#include "CYrError.h"

namespace ZbCassandra {

constexpr const char kPriamPropertiesFileName[] = "zbPriam.properties";
// The sidecar's log4j configuration, beside it.
constexpr const char kPriamLog4jFileName[] = "zbPriamlog4j.properties";

using PropertyMap = std::map<std::string, std::string>;

// The properties file in the Priam configuration directory `confDir`.
std::string PriamPropertiesPath(const std::string& confDir);

// A key can be written on a line of its own only when it is not empty and
// holds no "=", CR or LF; a value only when it holds no CR or LF.
bool IsValidPropertyKey(const std::string& key);
bool IsValidPropertyValue(const std::string& value);

// Add the entries of `text` to `entries`; of a key on several lines the
// last one wins.
void ParseProperties(const std::string& text, PropertyMap& entries);
// One line per entry, in the map's (byte-wise) key order.
std::string FormatProperties(const PropertyMap& entries);

// Read the regular file at `path` into `entries`. Errors, both Win32 13
// (the file is left alone): "Failed to open %s file" when it cannot be
// opened, "Failed to read %s file" when it is no regular file or a read
// fails.
CYrError ReadPropertiesFile(const std::string& path, PropertyMap& entries);

// Replace the file at `path` with FormatProperties(entries), atomically and
// owner-only (0600). Error: Win32 13 "Failed to write %s file", and the old
// file is left whole.
CYrError WritePropertiesFile(const std::string& path, const PropertyMap& entries);
// That error, for a write of `path` that failed with `cause`.
CYrError PropertiesWriteError(const std::string& path, const CYrError& cause);

}  // namespace ZbCassandra
