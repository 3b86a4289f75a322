// How the controller reads the node's YAML file: line by line, looking for
// keys, without parsing YAML as a whole.
#pragma once

#include <string>
#include <vector>

#include "discovery/TextFileLines.h"

namespace ZbCassandra {

// What is trimmed from both ends of a value or a list item. A carriage
// return is not in it.
constexpr const char* kYamlTrimSet = " \t\n\"";

// True when `line` holds `key` (case-sensitive, anywhere) and the key's first
// occurrence starts before the line's first "#", or the line has no "#".
bool IsYamlKeyLine(const std::string& line, const std::string& key);

// True when `line` begins with "#" once its leading white space is removed.
bool IsYamlCommentLine(const std::string& line);

// The text after the line's first ":" up to the next ":" or the end of the
// line, untrimmed. False, and `*value` untouched, when the line has no ":".
bool YamlScalarValue(const std::string& line, std::string* value);

// `text` with the characters of kYamlTrimSet removed from both ends.
std::string TrimYamlValue(std::string text);

// Read lines from `lines` until the first key line of `key`; false when the
// file ends first.
bool FindYamlKeyLine(TextFileLines& lines, const std::string& key, std::string* keyLine);

// Read the list that follows a key line: empty and comment lines are
// skipped, the first other line without a "-" ends the list, and each other
// line is an item, the text after its first "-" (untrimmed). Reading stops
// at the end of the list.
std::vector<std::string> ReadYamlList(TextFileLines& lines);

}  // namespace ZbCassandra
