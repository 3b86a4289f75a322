// A process for good, and the stamp that names one: the pid alone may be
// handed out anew once the process is gone, its pid and start time never.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace ZbCassandra {

// A process for good: its pid and its start time.
struct ProcessId {
  pid_t pid = 0;
  uint64_t startTime = 0;
};

// This process.
ProcessId ThisProcess();
// It still runs (not a zombie) and is the process that started then.
bool IsAlive(const ProcessId& process);
// "PID:STARTTIME", and back; false for anything else. A host stamps its
// sidecars with it, and names itself and them so to their guardian.
std::string HostStamp(const ProcessId& host);
bool ParseHostStamp(const std::string& text, ProcessId* host);

}  // namespace ZbCassandra
