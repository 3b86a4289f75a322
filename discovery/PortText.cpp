#include "discovery/PortText.h"

#include <vector>

#include "FXString.h"
#include "discovery/YamlLines.h"

namespace ZbCassandra {

namespace {

constexpr const char* kJmxPortName = "JMX_PORT";

}  // namespace

bool IsDecimalNumber(const std::string& text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

std::string CqlPortFromKeyLine(const std::string& keyLine) {
  // A key line without ":" has no value, so the default applies.
  std::string value;
  YamlScalarValue(keyLine, &value);
  return TrimYamlValue(value);
}

bool CqlHostFromNetstatOutput(const std::string& output, std::string* host) {
  std::vector<std::string> pieces;
  FXString::Split(output, ":", pieces, 0);
  if (pieces.size() != 2) return false;
  *host = pieces[0];
  return true;
}

bool JmxPortAssignment(const std::string& line, std::string* port) {
  if (IsYamlCommentLine(line)) return false;
  std::vector<std::string> pieces;
  FXString::Split(line, "=", pieces, 0);
  if (pieces.size() < 2 || pieces[0] != kJmxPortName) return false;
  const std::string& value = pieces[1];
  const bool singleQuoted = value.size() >= 2 && value.front() == '"' && value.back() == '"' &&
                            value.find('"', 1) == value.size() - 1;
  *port = singleQuoted ? value.substr(1, value.size() - 2) : value;
  // The same characters as in YAML values: blanks, tabs, LF and quotes.
  FXString::Trim(*port, kYamlTrimSet);
  return true;
}

}  // namespace ZbCassandra
