// The text edit behind AddOrUpdateFieldInConfigFile and writePriamProperty:
// set one key of a "key=value" file, keeping every other line as it is.
#pragma once

#include <string>

namespace ZbCassandra {

// `content` with `key` set to `value`. Key and value are taken literally.
// - key + "=" does not occur in the content: the entry (key, "=", value,
//   LF) is appended, after a LF when the content does not end in one.
// - Otherwise every occurrence of key + "=" is replaced, from its first
//   character through the end of its line (the LF, or the end of the
//   content on a last line without one), by key, "=", value, LF. The text
//   before an occurrence, such as a "#" or the head of a longer key, stays.
// Runs in time linear in the content, whatever its line lengths.
std::string SetKeyInText(const std::string& content, const std::string& key,
                         const std::string& value);

}  // namespace ZbCassandra
