#include "discovery/YamlLines.h"

#include "CYrString.h"
#include "FXString.h"

namespace ZbCassandra {

bool IsYamlKeyLine(const std::string& line, const std::string& key) {
  const size_t at = line.find(key);
  if (at == std::string::npos) return false;
  const size_t comment = line.find('#');
  return comment == std::string::npos || at < comment;
}

bool IsYamlCommentLine(const std::string& line) {
  CYrString text(line);
  text.LTrimAll();
  return text.Find('#', 0) == 0;
}

bool YamlScalarValue(const std::string& line, std::string* value) {
  std::vector<std::string> pieces;
  FXString::Split(line, ":", pieces, 0);
  if (pieces.size() < 2) return false;
  *value = pieces[1];
  return true;
}

std::string TrimYamlValue(std::string text) {
  FXString::Trim(text, kYamlTrimSet);
  return text;
}

bool FindYamlKeyLine(TextFileLines& lines, const std::string& key, std::string* keyLine) {
  std::string line;
  while (lines.Next(line)) {
    if (IsYamlKeyLine(line, key)) {
      *keyLine = line;
      return true;
    }
  }
  return false;
}

std::vector<std::string> ReadYamlList(TextFileLines& lines) {
  std::vector<std::string> items;
  std::string line;
  while (lines.Next(line)) {
    if (line.empty() || IsYamlCommentLine(line)) continue;
    const size_t dash = line.find('-');
    if (dash == std::string::npos) break;
    items.push_back(line.substr(dash + 1));
  }
  return items;
}

}  // namespace ZbCassandra
