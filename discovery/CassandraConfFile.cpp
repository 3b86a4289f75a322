// Which YAML file the node reads and which database flavor it runs.
#include <string>

#include "CYrPath.h"
#include "FXString.h"
#include "PriamUtil.h"
#include "ZBPlatformInfo.h"
#include "common/Boundary.h"
#include "discovery/NodeFiles.h"
#include "discovery/TextFileLines.h"
#include "priamconf/PropertiesFile.h"

namespace ZbCassandra {

CYrError PriamUtil::initializeCassandraConfFilePath() try {
  const NodeFileValue process = CassandraProcessIn(PriamPropertiesPath(m_priamConfDir));
  if (!process.fileRead) {
    ZB_LOG(0, "Failed to open Priam properties file %s. Using cassandra.yaml.",
           kPriamPropertiesFileName);
  }
  const std::string flavor = FlavorOfProcess(process.value);

  bool fromStore = false;
  const std::string yamlFile = NodeYamlFile(m_cassandraConfDir, flavor, &fromStore);
  if (fromStore) {
    ZB_LOG(0, "Read Cassandra YAML file name from registry. Using %s", yamlFile.c_str());
  }
  m_cassandraYamlFile = yamlFile;
  m_cassandraFlavor = flavor;
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
