#include "ZbProcessInfo.h"

#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "CYrFile.h"

namespace {

bool ReadProcFile(pid_t pid, const char* name, std::string* text) {
  if (pid <= 0) return false;
  char* buffer = nullptr;
  uint64_t size = 0;
  const CYrError error =
      CYrFile::ReadWholeFile("/proc/" + std::to_string(pid) + "/" + name, &buffer, &size);
  const std::unique_ptr<char[]> owned(buffer);
  if (error.IsError() || !buffer) return false;
  text->assign(buffer, size);
  return true;
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

// A kernel thread has no command line at all; a process only shows none while
// it is a zombie or in the middle of an exec.
constexpr uint64_t kKernelThreadFlag = 0x00200000;

bool IsKernelThread(pid_t pid) {
  std::vector<std::string> fields;
  constexpr size_t kFlags = 9 - 3;
  if (!StatFieldsFromState(pid, &fields) || fields.size() <= kFlags) return false;
  return (std::strtoull(fields[kFlags].c_str(), nullptr, 10) & kKernelThreadFlag) != 0;
}

// A parent that spawned a child is woken once the child's new image replaced
// the old one, a moment before the kernel has laid out its arguments: until
// then its command line reads empty. A loaded machine stretches that moment.
constexpr auto kExecSettleWait = std::chrono::seconds(1);
constexpr auto kExecSettlePoll = std::chrono::milliseconds(2);

}  // namespace

namespace ZbProcessInfo {

bool StartTime(pid_t pid, uint64_t* ticks) {
  std::vector<std::string> fields;
  constexpr size_t kStartTime = 22 - 3;
  if (!StatFieldsFromState(pid, &fields) || fields.size() <= kStartTime) return false;
  const std::string& text = fields[kStartTime];
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  *ticks = std::strtoull(text.c_str(), nullptr, 10);
  return true;
}

char State(pid_t pid) {
  std::vector<std::string> fields;
  if (!StatFieldsFromState(pid, &fields) || fields[0].empty()) return 0;
  return fields[0][0];
}

bool CommandWords(pid_t pid, std::vector<std::string>* words) {
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + kExecSettleWait;
  while (ReadProcFile(pid, "cmdline", &line) && line.empty()) {
    const char state = State(pid);
    if (state == 0 || state == 'Z' || IsKernelThread(pid) ||
        std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(kExecSettlePoll);
  }
  if (line.empty()) return false;
  words->clear();
  size_t at = 0;
  while (at < line.size()) {
    const size_t end = line.find('\0', at);
    words->push_back(line.substr(at, end - at));
    at = end == std::string::npos ? line.size() : end + 1;
  }
  return true;
}

}  // namespace ZbProcessInfo
