#include "common/ProcessIdentity.h"

#include <unistd.h>

#include <cstdlib>

#include "ZbProcessInfo.h"

namespace ZbCassandra {

ProcessId ThisProcess() {
  static const ProcessId self = [] {
    ProcessId id;
    id.pid = getpid();
    ZbProcessInfo::StartTime(id.pid, &id.startTime);
    return id;
  }();
  // A forked child is another process than the one that asked first.
  if (self.pid == getpid()) return self;
  ProcessId child;
  child.pid = getpid();
  ZbProcessInfo::StartTime(child.pid, &child.startTime);
  return child;
}

bool IsAlive(const ProcessId& process) {
  return process.pid > 0 && ZbProcessInfo::IsRunning(process.pid, process.startTime);
}

std::string HostStamp(const ProcessId& host) {
  return std::to_string(host.pid) + ":" + std::to_string(host.startTime);
}

bool ParseHostStamp(const std::string& text, ProcessId* host) {
  const size_t colon = text.find(':');
  if (colon == std::string::npos || colon == 0 || colon > 10 || colon + 1 == text.size() ||
      text.size() - colon - 1 > 19 || text.find_first_not_of("0123456789", 0) != colon ||
      text.find_first_not_of("0123456789", colon + 1) != std::string::npos) {
    return false;
  }
  const unsigned long long pid = std::strtoull(text.c_str(), nullptr, 10);
  if (pid == 0 || pid > 0x7fffffff) return false;
  host->pid = static_cast<pid_t>(pid);
  host->startTime = std::strtoull(text.c_str() + colon + 1, nullptr, 10);
  return true;
}

}  // namespace ZbCassandra
