// Preparing the sidecar's two configuration files when the controller
// initializes, and the key updater that edits them.
#include <cstdint>
#include <string>

#include "CYrFile.h"
#include "CYrPath.h"
#include "PriamUtil.h"
#include "ZBPI_EventManager.h"
#include "ZBPlatformInfo.h"
#include "common/Boundary.h"
#include "common/ErrorCodes.h"
#include "priamconf/KeyUpdate.h"
#include "priamconf/PropertiesFile.h"
#include "priamconf/PropertiesTemplate.h"
#include "priamconf/SecretKeys.h"
#include "priamconf/TextFile.h"

namespace ZbCassandra {

namespace {

constexpr const char kLog4jTemplateName[] = "zblog4j.properties";
constexpr const char kSidecarLogName[] = "zbPriam.log";

// The sidecar logs at DEBUG when the host asks for it, at INFO otherwise.
const char* RootLogger() {
  ZBPlatformInfo store;
  uint64_t level = 0;
  store.getNumber("EventManager", "zbPriam_DEBUGLEVEL", &level);
  return level != 0 ? "DEBUG, R" : "INFO, R";
}

std::string Join(const std::string& directory, const char* name) {
  std::string path = directory;
  FXPath::Append(path, name, 0);
  return path;
}

}  // namespace

CYrError PriamUtil::initializePriamConfFilePath() try {
  if (m_priamConfDir.empty()) return CYrError::Success();
  const CYrError owned = ownDirectory();
  if (owned.IsError()) {
    // Another host's files are not ours to replace. The node is still
    // discovered; the refusal is the constructor's result.
    rememberRefusal(owned);
    return owned;
  }

  // A fresh copy of the template at every set-up: whatever an earlier
  // controller wrote into the working file (credentials included) is gone.
  const std::string templatePath = PropertiesTemplatePath();
  const std::string workingPath = Join(m_priamConfDir, kPriamPropertiesFileName);
  CYrError error = CYrFile::Copy(templatePath, workingPath, CYrFile::kOwnerOnly);
  if (error.IsError()) {
    return error.Push(PRIAM_LOCATION, "Failed to copy %s to %s", templatePath.c_str(),
                      workingPath.c_str());
  }
  ZB_LOG(0, "Copied %s to %s", templatePath.c_str(), workingPath.c_str());

  // An existing log4j file is the administrator's: only its root logger
  // follows the configuration store.
  const std::string log4jPath = Join(m_priamConfDir, kPriamLog4jFileName);
  if (!FXPath::DoesPathExist(log4jPath)) {
    const std::string log4jTemplate = Join(m_priamDir, kLog4jTemplateName);
    error = CYrFile::Copy(log4jTemplate, log4jPath, CYrFile::kOwnerOnly);
    if (error.IsError()) {
      return error.Push(PRIAM_LOCATION, "Failed to copy %s to %s", log4jTemplate.c_str(),
                        log4jPath.c_str());
    }
    ZB_LOG(0, "Copied %s to %s", log4jTemplate.c_str(), log4jPath.c_str());

    ZBPI_EventManager eventManager(0, 1);
    const char* logDirectory = eventManager.getLogFilesDirectory();
    if (logDirectory) {
      error = AddOrUpdateFieldInConfigFile(log4jPath, "log4j.appender.R.File",
                                           Join(logDirectory, kSidecarLogName));
      if (error.IsError()) {
        return error.Push(PRIAM_LOCATION, "Failed to update log file in config file");
      }
    }
  }

  error = AddOrUpdateFieldInConfigFile(log4jPath, "log4j.rootLogger", RootLogger());
  if (error.IsError()) {
    return error.Push(PRIAM_LOCATION, "Failed to update log file in config file");
  }
  return CYrError::Success();
}
PRIAM_CATCH_ALL

CYrError PriamUtil::AddOrUpdateFieldInConfigFile(const std::string& file, const std::string& key,
                                                 const std::string& value) try {
  if (copiedByFork()) return forkedChildError();
  // A key or value that would break the line format could inject lines.
  if (!IsValidPropertyKey(key) || !IsValidPropertyValue(value)) {
    return FXErrorUtil::ErrorWin32(PRIAM_LOCATION, kInvalidParameter, "Invalid property %s",
                                   key.c_str());
  }
  std::string content;
  CYrError error = ReadTextFile(file, content);
  if (error.IsError()) return error.Push(PRIAM_LOCATION);

  content = SetKeyInText(content, key, value);
  ZB_LOG(3, " Content [%s]", MaskSecretValues(content).c_str());

  error = ReplaceTextFile(file, content);
  if (error.IsError()) return error.Push(PRIAM_LOCATION);
  return CYrError::Success();
}
PRIAM_CATCH_ALL

}  // namespace ZbCassandra
