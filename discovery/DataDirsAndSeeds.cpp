// The node's data directories and seed list, from its YAML file.
#include <string>
#include <vector>

#include "FXString.h"
#include "PriamUtil.h"
#include "common/Boundary.h"
#include "common/ErrorCodes.h"
#include "discovery/YamlLines.h"

namespace ZbCassandra {

CYrError PriamUtil::getCassandraDataDir(std::vector<std::string>& directories) try {
  TextFileLines yaml;
  if (!yaml.Open(m_cassandraYamlFile)) {
    ZB_LOG(0, "Failed to open Cassandra YAML file %s", m_cassandraYamlFile.c_str());
    return FXErrorUtil::ErrorWin32(PRIAM_LOCATION, kInvalidParameter,
                                   "Failed to open Cassandra YAML file - %s",
                                   m_cassandraYamlFile.c_str());
  }
  std::string keyLine;
  if (!FindYamlKeyLine(yaml, "data_file_directories", &keyLine)) {
    return FXErrorUtil::ErrorWin32(
        PRIAM_LOCATION, kInvalidParameter,
        "Failed to get Cassandra data directory from cassandra.yaml file");
  }
  // Gathered first, so that the caller's vector only grows on success.
  std::vector<std::string> found;
  for (const std::string& item : ReadYamlList(yaml)) {
    ZB_LOG(0, "Directory: %s", item.c_str());
    found.push_back(TrimYamlValue(item));
    ZB_LOG(0, "Adding %s to Cassandra data directory list\n", found.back().c_str());
  }
  directories.insert(directories.end(), found.begin(), found.end());
  return CYrError::Success();
}
PRIAM_CATCH_ALL

CYrError PriamUtil::getCassandraSeeds(std::vector<std::string>* seeds) try {
  if (seeds == nullptr) {
    return FXErrorUtil::ErrorWin32(PRIAM_LOCATION, kInvalidParameter, "No seed list given");
  }
  TextFileLines yaml;
  if (!yaml.Open(m_cassandraYamlFile)) {
    return FXErrorUtil::ErrorWin32(PRIAM_LOCATION, kInvalidParameter,
                                   "Failed to open Cassandra YAML file - %s",
                                   m_cassandraYamlFile.c_str());
  }
  std::string keyLine;
  std::string value;
  // A key line without ":" holds no list: nothing to add.
  if (!FindYamlKeyLine(yaml, "seeds", &keyLine) || !YamlScalarValue(keyLine, &value)) {
    return CYrError::Success();
  }
  ZB_LOG(0, "Seed list: %s", value.c_str());
  std::vector<std::string> pieces;
  if (value.find(',') == std::string::npos) {
    pieces.push_back(value);
  } else {
    FXString::Split(value, ",", pieces, 0);
  }
  std::vector<std::string> found;
  for (const std::string& piece : pieces) {
    found.push_back(TrimYamlValue(piece));
    ZB_LOG(0, "Adding seed node %s to our list\n", found.back().c_str());
  }
  seeds->insert(seeds->end(), found.begin(), found.end());
  return CYrError::Success();
}
PRIAM_CATCH_ALL

}  // namespace ZbCassandra
