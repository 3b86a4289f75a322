#include "ZBPI_EventManager.h"

#include "ZBPlatformInfo.h"

ZBPI_EventManager::ZBPI_EventManager(int /*instance*/, int /*flags*/) {}

const char* ZBPI_EventManager::getLogFilesDirectory() {
  ZBPlatformInfo store;
  std::string directory;
  if (!store.getString("EventManager", "sLogFilesDirectory", &directory) || directory.empty()) {
    return nullptr;
  }
  m_directory = directory;
  return m_directory.c_str();
}
