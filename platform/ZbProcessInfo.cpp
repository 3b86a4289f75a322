#include "ZbProcessInfo.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

// A command line or an environment is at most a few megabytes (the kernel's
// argument limit); nothing larger is read.
constexpr size_t kLongestProcFile = 8u << 20;

// /proc files report no size: read until the end. A direct read, without
// the platform's file layer, since a scan of the process table does this
// for every process on the node.
bool ReadProcPath(const char* path, std::string* text) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  text->clear();
  char chunk[4096];
  bool ok = true;
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n > 0 && text->size() < kLongestProcFile) {
      text->append(chunk, static_cast<size_t>(n));
    } else if (n == 0) {
      break;
    } else if (n < 0 && errno != EINTR) {
      ok = false;
      break;
    }
  }
  close(fd);
  return ok;
}

bool ReadProcFile(pid_t pid, const char* name, std::string* text) {
  if (pid <= 0) return false;
  char path[64];
  snprintf(path, sizeof path, "/proc/%d/%s", static_cast<int>(pid), name);
  return ReadProcPath(path, text);
}

// The fields of /proc/PID/stat from field 3 (the state) on. The command name
// (field 2) is in parentheses and may itself hold blanks and parentheses, so
// the fields after it begin after the last ')'.
bool StatFieldsFromState(pid_t pid, std::vector<std::string>* fields) {
  std::string stat;
  if (!ReadProcFile(pid, "stat", &stat)) return false;
  const size_t close = stat.rfind(')');
  if (close == std::string::npos) return false;
  size_t at = close + 1;
  while (at < stat.size()) {
    while (at < stat.size() && (stat[at] == ' ' || stat[at] == '\n')) ++at;
    const size_t end = stat.find_first_of(" \n", at);
    if (at < stat.size()) fields->push_back(stat.substr(at, end - at));
    at = end == std::string::npos ? stat.size() : end;
  }
  return !fields->empty();
}

// Field N of /proc/PID/stat, counted from 1, as an index of the fields from
// the state on.
constexpr size_t Field(size_t number) { return number - 3; }

bool Number(const std::string& text, uint64_t* number) {
  if (text.empty() || text.size() > 19 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  *number = std::strtoull(text.c_str(), nullptr, 10);
  return true;
}

// A kernel thread has no command line at all; a process only shows none while
// it is a zombie or in the middle of an exec.
constexpr uint64_t kKernelThreadFlag = 0x00200000;

// A parent that spawned a child is woken once the child's new image replaced
// the old one, a moment before the kernel has laid out its arguments: until
// then its command line reads empty. A loaded machine stretches that moment.
constexpr auto kExecSettleWait = std::chrono::seconds(1);
constexpr auto kExecSettlePoll = std::chrono::milliseconds(2);

}  // namespace

namespace ZbProcessInfo {

bool ReadStatus(pid_t pid, Status* status) {
  std::vector<std::string> fields;
  if (!StatFieldsFromState(pid, &fields) || fields.size() <= Field(22) || fields[0].empty()) {
    return false;
  }
  uint64_t parent = 0;
  uint64_t group = 0;
  uint64_t start = 0;
  uint64_t threads = 0;
  if (!Number(fields[Field(4)], &parent) || !Number(fields[Field(5)], &group) ||
      !Number(fields[Field(22)], &start) || !Number(fields[Field(20)], &threads)) {
    return false;
  }
  status->state = fields[0][0];
  status->parent = static_cast<pid_t>(parent);
  status->group = static_cast<pid_t>(group);
  status->startTime = start;
  status->threads = static_cast<uint32_t>(threads);
  return true;
}

bool StartTime(pid_t pid, uint64_t* ticks) {
  Status status;
  if (!ReadStatus(pid, &status)) return false;
  *ticks = status.startTime;
  return true;
}

char State(pid_t pid) {
  std::vector<std::string> fields;
  if (!StatFieldsFromState(pid, &fields) || fields[0].empty()) return 0;
  return fields[0][0];
}

bool IsStopped(pid_t pid) {
  const char state = State(pid);
  return state == 'T' || state == 't';
}

bool IsRunning(pid_t pid, uint64_t startTime) {
  Status status;
  return ReadStatus(pid, &status) && status.startTime == startTime && status.state != 'Z' &&
         status.state != 'X';
}

bool IsKernelThread(pid_t pid) {
  std::vector<std::string> fields;
  uint64_t flags = 0;
  if (!StatFieldsFromState(pid, &fields) || fields.size() <= Field(9) ||
      !Number(fields[Field(9)], &flags)) {
    return false;
  }
  return (flags & kKernelThreadFlag) != 0;
}

std::vector<std::string> NulSeparatedWords(const std::string& text) {
  std::vector<std::string> words;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = text.find('\0', at);
    words.push_back(text.substr(at, end - at));
    at = end == std::string::npos ? text.size() : end + 1;
  }
  return words;
}

bool RawCommandLine(pid_t pid, std::string* line) { return ReadProcFile(pid, "cmdline", line); }

bool CommandWords(pid_t pid, std::vector<std::string>* words) {
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + kExecSettleWait;
  while (RawCommandLine(pid, &line) && line.empty()) {
    const char state = State(pid);
    if (state == 0 || state == 'Z' || IsKernelThread(pid) ||
        std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(kExecSettlePoll);
  }
  if (line.empty()) return false;
  *words = NulSeparatedWords(line);
  return true;
}

bool EnvironmentValue(pid_t pid, const std::string& name, std::string* value) {
  std::string environment;
  if (!ReadProcFile(pid, "environ", &environment)) return false;
  const std::string prefix = name + "=";
  for (const std::string& entry : NulSeparatedWords(environment)) {
    if (entry.compare(0, prefix.size(), prefix) == 0) {
      *value = entry.substr(prefix.size());
      return true;
    }
  }
  return false;
}

uint64_t PidNamespace(pid_t pid) {
  const std::string path =
      pid == 0 ? std::string("/proc/self/ns/pid") : "/proc/" + std::to_string(pid) + "/ns/pid";
  char target[64];
  const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
  if (n <= 0) return 0;
  const std::string link(target, static_cast<size_t>(n));
  const std::string prefix = "pid:[";
  uint64_t inode = 0;
  if (link.compare(0, prefix.size(), prefix) != 0 || link.back() != ']' ||
      !Number(link.substr(prefix.size(), link.size() - prefix.size() - 1), &inode)) {
    return 0;
  }
  return inode;
}

pid_t PidInOwnNamespace(pid_t pid) {
  std::string status;
  if (!ReadProcFile(pid, "status", &status)) return 0;
  const size_t line = status.find("\nNSpid:");
  if (line == std::string::npos) return 0;
  const size_t end = status.find('\n', line + 1);
  const std::string pids = status.substr(line + 1, end - line - 1);
  const size_t last = pids.find_last_of(" \t");
  uint64_t own = 0;
  if (last == std::string::npos || !Number(pids.substr(last + 1), &own) || own > 0x7fffffff) {
    return 0;
  }
  return static_cast<pid_t>(own);
}

std::vector<pid_t> AllProcesses() {
  std::vector<pid_t> pids;
  DIR* proc = opendir("/proc");
  if (!proc) return pids;
  while (const struct dirent* entry = readdir(proc)) {
    char* end = nullptr;
    const long pid = strtol(entry->d_name, &end, 10);
    if (pid > 0 && *end == '\0') pids.push_back(static_cast<pid_t>(pid));
  }
  closedir(proc);
  return pids;
}

bool ZombieExitStatus(pid_t pid, uint64_t startTime, int* status) {
  std::vector<std::string> fields;
  uint64_t start = 0;
  uint64_t code = 0;
  if (!StatFieldsFromState(pid, &fields) || fields[0] != "Z" || fields.size() <= Field(52) ||
      !Number(fields[Field(22)], &start) || start != startTime ||
      !Number(fields[Field(52)], &code) || code > 0xffff) {
    return false;
  }
  *status = static_cast<int>(code);
  return true;
}

bool UsageOfGroup(pid_t group, GroupUsage* usage) {
  *usage = GroupUsage();
  const uint64_t pageSize = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
  for (const pid_t pid : AllProcesses()) {
    Status status;
    if (!ReadStatus(pid, &status) || status.group != group || status.state == 'Z' ||
        status.state == 'X') {
      continue;
    }
    ++usage->processes;
    usage->threads += status.threads;
    // statm: total size, then the resident pages.
    std::string statm;
    uint64_t pages = 0;
    if (ReadProcFile(pid, "statm", &statm)) {
      const size_t at = statm.find(' ');
      const size_t end = statm.find(' ', at + 1);
      if (at != std::string::npos && Number(statm.substr(at + 1, end - at - 1), &pages)) {
        usage->residentBytes += pages * pageSize;
      }
    }
  }
  return usage->processes > 0;
}

bool StartedAt(uint64_t ticks, int64_t* seconds) {
  std::string stat;
  const long ticksPerSecond = sysconf(_SC_CLK_TCK);
  if (ticksPerSecond <= 0 || !ReadProcPath("/proc/stat", &stat)) return false;
  const size_t line = stat.find("\nbtime ");
  uint64_t boot = 0;
  if (line == std::string::npos) return false;
  const size_t at = line + 7;
  if (!Number(stat.substr(at, stat.find('\n', at) - at), &boot)) return false;
  *seconds = static_cast<int64_t>(boot + ticks / static_cast<uint64_t>(ticksPerSecond));
  return true;
}

}  // namespace ZbProcessInfo
