// Which YAML file the node reads and which database flavor it runs.
#include <string>
#include <vector>

#include "CYrPath.h"
#include "FXString.h"
#include "PriamUtil.h"
#include "ZBPlatformInfo.h"
#include "common/Boundary.h"
#include "discovery/TextFileLines.h"

namespace ZbCassandra {

namespace {

constexpr const char* kPropertiesFileName = "zbPriam.properties";
constexpr const char* kProcessKey = "priam.cass.process";

// The value of the last "priam.cass.process=value" line, matched exactly:
// nothing is trimmed, and a line with more than one "=" does not count.
void ReadProcessName(TextFileLines& lines, std::string* name) {
  std::string line;
  while (lines.Next(line)) {
    std::vector<std::string> pieces;
    FXString::Split(line, "=", pieces, 0);
    if (pieces.size() == 2 && pieces[0] == kProcessKey) *name = pieces[1];
  }
}

}  // namespace

CYrError PriamUtil::initializeCassandraConfFilePath() try {
  std::string candidate = "cassandra";
  std::string propertiesPath = m_priamConfDir;
  FXPath::Append(propertiesPath, kPropertiesFileName, 0);
  TextFileLines properties;
  if (properties.Open(propertiesPath)) {
    ReadProcessName(properties, &candidate);
  } else {
    ZB_LOG(0, "Failed to open Priam properties file %s. Using cassandra.yaml.",
           kPropertiesFileName);
  }
  const bool scylla = candidate == "scylla";

  std::string configured;
  if (ZBPlatformInfo().getString("Cassandra", "sCassandraYamlFile", &configured) != 0 &&
      !configured.empty()) {
    ZB_LOG(0, "Read Cassandra YAML file name from registry. Using %s", configured.c_str());
    m_cassandraYamlFile = configured;
    m_cassandraFlavor = scylla ? "scylla" : "cassandra";
  } else {
    m_cassandraYamlFile = m_cassandraConfDir;
    m_cassandraFlavor = scylla ? "scylla" : "cassandra";
    FXPath::Append(m_cassandraYamlFile, scylla ? "scylla.yaml" : "cassandra.yaml", 0);
  }
  ZB_LOG(0, "Cassandra Flavor: %s, YAML file - %s", m_cassandraFlavor.c_str(),
         m_cassandraYamlFile.c_str());
  return CYrError::Success();
}
PRIAM_CATCH_ALL

void PriamUtil::getConfFileNameCassFlavor(std::string& file, std::string& flavor) {
  if (m_cassandraYamlFile.empty() || m_cassandraFlavor.empty()) return;
  // Copied first, so that a failed copy leaves both arguments as they were.
  try {
    std::string fileCopy = m_cassandraYamlFile;
    std::string flavorCopy = m_cassandraFlavor;
    file.swap(fileCopy);
    flavor.swap(flavorCopy);
  } catch (...) {
  }
}

}  // namespace ZbCassandra
