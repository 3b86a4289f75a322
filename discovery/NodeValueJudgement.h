// The values that the node's files give the sidecar, judged. The controller
// takes the ports as the files write them, so a port of "abc" or 70000 would
// only show as a sidecar that cannot reach the node, and a YAML file that is
// not text gives no value worth reading.
#pragma once

#include <string>

#include "discovery/NodeFiles.h"

namespace ZbCassandra {

// The ports the controller takes when the node's files do not give them.
constexpr const char kDefaultCqlPort[] = "9042";
constexpr const char kDefaultJmxPort[] = "7199";

// True when the controller takes kDefaultCqlPort in place of `found`, the
// CQL port read from the YAML file: whenever it is empty, whether the file
// gives none or cannot be read.
bool TakesDefaultCqlPort(const std::string& found);

// True when the controller takes kDefaultJmxPort in place of `found`, what
// the environment script gives: only when the script cannot be read. A
// script that assigns no JMX port leaves it empty.
bool TakesDefaultJmxPort(const NodeFileValue& found);

// True for a port the sidecar can use: decimal digits only (leading zeros
// allowed) for a number from 1 to 65535.
bool IsPortNumber(const std::string& text);

// True when `content` holds no control character but tab, line feed and
// carriage return.
bool IsText(const std::string& content);

// True when the file at `path` opens as the controller opens a node's file
// but is not text: a binary file named by mistake, whose values would be
// noise. False for a file that cannot be read.
bool IsReadableButNotText(const std::string& path);

}  // namespace ZbCassandra
