#include "TableOutput.h"

#include <algorithm>

namespace priamctl {

namespace {

std::string OrDash(const std::string& text) { return text.empty() ? "-" : text; }

std::string Joined(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
  return OrDash(text);
}

}  // namespace

std::string FormatTable(const std::vector<TableRow>& rows) {
  size_t width = 0;
  for (const TableRow& row : rows) width = std::max(width, row.first.size());
  std::string text;
  for (const TableRow& row : rows) {
    text += row.first + std::string(width - row.first.size() + 2, ' ');
    for (const char c : row.second) {
      text += c;
      if (c == '\n') text += std::string(width + 2, ' ');
    }
    text += '\n';
  }
  return text;
}

std::string NodeFactsTable(const NodeFacts& facts) {
  return FormatTable(
      {{"Java", OrDash(facts.javaPath)},
       {"YAML file", OrDash(facts.yamlFile)},
       {"Flavor", OrDash(facts.flavor)},
       {"CQL port", OrDash(facts.cqlPort)},
       {"CQL host", facts.cqlHost.empty() ? "- (nothing listens on the CQL port)" : facts.cqlHost},
       {"JMX port", OrDash(facts.jmxPort)},
       {"Data directories", Joined(facts.dataDirectories)},
       {"Seeds", Joined(facts.seeds)}});
}

}  // namespace priamctl
