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

// The value, marked when it is the library's default or unusable.
std::string Marked(const NodeFacts& facts, const std::string& key, const std::string& value,
                   bool isDefault) {
  std::string text = OrDash(value) + (isDefault ? " (default)" : "");
  for (const NodeValueProblem& problem : facts.invalid) {
    if (problem.key == key) text += " (" + problem.mark + ")";
  }
  return text;
}

std::string DataDirectories(const NodeFacts& facts) {
  if (facts.dataDirectoriesSet) return Joined(facts.dataDirectories);
  const std::string yaml = facts.yamlFile.substr(facts.yamlFile.rfind('/') + 1);
  return "not set in " + yaml + " (the node uses its default)";
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
       {"YAML file", Marked(facts, "yaml_file", facts.yamlFile, false)},
       {"Flavor", OrDash(facts.flavor)},
       {"CQL port", Marked(facts, "cql_port", facts.cqlPort, facts.cqlPortIsDefault)},
       {"CQL host", facts.cqlHost.empty() ? "- (nothing listens on the CQL port)" : facts.cqlHost},
       {"JMX port", Marked(facts, "jmx_port", facts.jmxPort, facts.jmxPortIsDefault)},
       {"Data directories", DataDirectories(facts)},
       {"Seeds", Joined(facts.seeds)}});
}

}  // namespace priamctl
