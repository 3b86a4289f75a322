#include "priamconf/PropertiesTemplate.h"

#include "CYrPath.h"
#include "ZBPlatformInfo.h"
#include "priamconf/PropertiesFile.h"

namespace ZbCassandra {

namespace {

constexpr const char kDefaultTemplateDir[] = "/etc/Priam";

}  // namespace

std::string PropertiesTemplatePath() {
  std::string directory;
  // Empty both when the store does not name it and when it names it empty.
  ZBPlatformInfo().getString("Cassandra", "sPriamTemplateDir", &directory);
  if (directory.empty()) directory = kDefaultTemplateDir;
  FXPath::Append(directory, kPriamPropertiesFileName, 0);
  return directory;
}

}  // namespace ZbCassandra
