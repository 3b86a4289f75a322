#include "supervision/SidecarEnd.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <map>

#include "CYrFile.h"
#include "CYrPath.h"
#include "ZbProcess.h"

namespace ZbCassandra {

namespace {

// A few lines; anything larger was not written by us.
constexpr off_t kLongestEndFile = 4096;
constexpr size_t kLongestHow = 200;

const std::map<EndedBy, const char*>& ByNames() {
  static const std::map<EndedBy, const char*> names = {{EndedBy::kItsHost, "host"},
                                                       {EndedBy::kOperator, "operator"},
                                                       {EndedBy::kOperatorForce, "operator-force"},
                                                       {EndedBy::kGuardian, "guardian"},
                                                       {EndedBy::kNextHost, "next-host"}};
  return names;
}

// One line of the file, whatever a caller put in it.
std::string OneLine(std::string text) {
  if (text.size() > kLongestHow) text.resize(kLongestHow);
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return text;
}

std::string EndFilePath(const std::string& confDir) {
  return CYrPath::Append(confDir.c_str(), kSidecarEndFileName).str();
}

bool ReadSmallFile(const std::string& path, std::string* text) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info;
  bool read = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kLongestEndFile;
  if (read) {
    text->resize(static_cast<size_t>(info.st_size));
    read = pread(fd, &(*text)[0], text->size(), 0) == static_cast<ssize_t>(text->size());
  }
  close(fd);
  return read;
}

std::map<std::string, std::string> Entries(const std::string& text) {
  std::map<std::string, std::string> entries;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(at, end - at);
    const size_t equals = line.find('=');
    if (equals != std::string::npos) entries[line.substr(0, equals)] = line.substr(equals + 1);
    at = end + 1;
  }
  return entries;
}

bool Number(const std::map<std::string, std::string>& entries, const char* key, uint64_t* number) {
  const auto found = entries.find(key);
  if (found == entries.end() || found->second.empty() || found->second.size() > 19 ||
      found->second.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  *number = std::strtoull(found->second.c_str(), nullptr, 10);
  return true;
}

pid_t Pid(const std::map<std::string, std::string>& entries, const char* key) {
  uint64_t number = 0;
  return Number(entries, key, &number) && number <= 0x7fffffff ? static_cast<pid_t>(number) : 0;
}

EndedBy ByOf(const std::map<std::string, std::string>& entries) {
  const auto found = entries.find("by");
  if (found == entries.end()) return EndedBy::kNobody;
  for (const auto& name : ByNames()) {
    if (found->second == name.second) return name.first;
  }
  return EndedBy::kNobody;
}

bool KilledBySigkill(int status, bool known) {
  return !known || (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
}

}  // namespace

std::string EndedByText(const SidecarEnd& end) {
  switch (end.by) {
    case EndedBy::kItsHost:
      return "stopped by its host";
    case EndedBy::kOperator:
      return "stopped by an operator (priamctl stop)";
    case EndedBy::kOperatorForce:
      return "stopped by an operator (priamctl stop --force)";
    case EndedBy::kGuardian:
      return end.host > 0 ? "stopped by its guardian after its host (process " +
                                std::to_string(end.host) + ") died"
                          : "stopped by its guardian after its host died";
    case EndedBy::kNextHost:
      return "stopped by process " + std::to_string(end.stopper) +
             ", which took the directory after its host died";
    case EndedBy::kNobody:
      break;
  }
  return std::string();
}

std::string DescribeEnd(const SidecarEnd& end) {
  const std::string by = EndedByText(end);
  if (by.empty()) return end.how;
  return end.how.empty() ? by : end.how + ", " + by;
}

SidecarEnd KilledBy(EndedBy by, const ProcessId& sidecar, pid_t host) {
  SidecarEnd end;
  end.sidecar = sidecar;
  end.host = host;
  end.by = by;
  end.how = ZbProcess::DescribeExit(SIGKILL, true);  // the wait status of a SIGKILL
  end.at = static_cast<int64_t>(time(nullptr));
  return end;
}

CYrError WriteSidecarEnd(const std::string& confDir, const SidecarEnd& end) {
  std::string text = "pid=" + std::to_string(end.sidecar.pid) +
                     "\nstarttime=" + std::to_string(end.sidecar.startTime) +
                     "\nhost=" + std::to_string(end.host) + "\nat=" + std::to_string(end.at) +
                     "\nhow=" + OneLine(end.how) + "\n";
  const auto name = ByNames().find(end.by);
  if (name != ByNames().end()) text += std::string("by=") + name->second + "\n";
  if (end.stopper > 0) text += "stopper=" + std::to_string(end.stopper) + "\n";
  if (end.duringStart) text += "start=1\n";
  CYrFile file;
  CYrError error = file.Open(EndFilePath(confDir), "w", CYrFile::kOwnerOnly);
  if (!error.IsError())
    error = file.Write(text.data(), static_cast<uint32_t>(text.size()), nullptr);
  if (!error.IsError()) error = file.Close();
  return error;
}

bool ReadSidecarEnd(const std::string& confDir, SidecarEnd* end) {
  std::string text;
  if (!ReadSmallFile(EndFilePath(confDir), &text)) return false;
  const std::map<std::string, std::string> entries = Entries(text);
  SidecarEnd read;
  uint64_t at = 0;
  if (!Number(entries, "starttime", &read.sidecar.startTime) || !Number(entries, "at", &at) ||
      entries.count("how") == 0) {
    return false;
  }
  read.sidecar.pid = Pid(entries, "pid");
  read.host = Pid(entries, "host");
  read.stopper = Pid(entries, "stopper");
  read.at = static_cast<int64_t>(at);
  read.how = OneLine(entries.at("how"));
  read.by = ByOf(entries);
  read.duringStart = entries.count("start") != 0;
  *end = read;
  return true;
}

SidecarEnd SeenEnd(const std::string& confDir, const ProcessId& sidecar, int status, bool known) {
  SidecarEnd noted;
  const bool named = !confDir.empty() && sidecar.pid > 0 && KilledBySigkill(status, known) &&
                     ReadSidecarEnd(confDir, &noted) && noted.sidecar.pid == sidecar.pid &&
                     noted.sidecar.startTime == sidecar.startTime;
  SidecarEnd end;
  end.sidecar = sidecar;
  end.how = ZbProcess::DescribeExit(status, known);
  if (named) {
    end.by = noted.by;
    end.host = noted.host;
    end.stopper = noted.stopper;
  }
  return end;
}

}  // namespace ZbCassandra
