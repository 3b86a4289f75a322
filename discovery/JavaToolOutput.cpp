#include "discovery/JavaToolOutput.h"

#include "CYrString.h"
#include "FXString.h"

namespace ZbCassandra {

bool JavaPathFromCommandOutput(const std::string& output, std::string* path) {
  CYrString text(output);
  text.LTrim('\n').RTrim('\n');
  if (text.IsEmpty()) return false;
  *path = text.str();
  return true;
}

bool JavaPathFromWhichOutput(const std::string& output, std::string* path) {
  std::string text = output;
  FXString::TrimRight(text, "\n");
  if (text.empty()) return false;
  *path = text;
  return true;
}

std::vector<std::string> WhereisLocations(const std::string& output) {
  std::string text = output;
  FXString::TrimRight(text, "\n");
  std::vector<std::string> pieces;
  FXString::Split(text, " ", pieces, 0);
  if (!pieces.empty()) pieces.erase(pieces.begin());
  return pieces;
}

}  // namespace ZbCassandra
