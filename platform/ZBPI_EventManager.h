// The host's event manager settings: where the host keeps its log files.
#pragma once

#include <string>

class ZBPI_EventManager {
 public:
  // The two numbers select the event manager instance; the store holds one.
  ZBPI_EventManager(int instance, int flags);

  // The configuration store value EventManager / sLogFilesDirectory, valid
  // for this object's life, or null when the store names none.
  const char* getLogFilesDirectory();

 private:
  std::string m_directory;
};
