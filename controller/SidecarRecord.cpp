#include "SidecarRecord.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "ZbProcessInfo.h"
#include "priamconf/PropertiesFile.h"
#include "priamconf/TextFile.h"

namespace ZbCassandra {

namespace {

bool ParseNumber(const PropertyMap& entries, const char* key, uint64_t* number) {
  const auto found = entries.find(key);
  if (found == entries.end()) return false;
  const std::string& text = found->second;
  if (text.empty() || text.size() > 19 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  *number = std::strtoull(text.c_str(), nullptr, 10);
  return true;
}

bool ParsePid(const PropertyMap& entries, const char* key, pid_t* pid) {
  uint64_t number = 0;
  if (!ParseNumber(entries, key, &number) || number > 0x7fffffff) return false;
  *pid = static_cast<pid_t>(number);
  return true;
}

constexpr const char kConfigWordPrefix[] = "-Dzbpriam.config.file=";

bool SameDirectory(const std::string& a, const std::string& b) {
  struct stat first;
  struct stat second;
  return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 && S_ISDIR(first.st_mode) &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// The directory a "-Dzbpriam.config.file=" word of process `pid` names. A
// relative one is taken from that process's working directory, not ours.
std::string ConfigDirectoryOf(pid_t pid, const std::string& word) {
  const std::string directory = word.substr(sizeof(kConfigWordPrefix) - 1);
  if (!directory.empty() && directory[0] == '/') return directory;
  return "/proc/" + std::to_string(pid) + "/cwd/" + directory;
}

}  // namespace

CYrError WriteSidecarRecord(const std::string& path, const SidecarRecord& record) {
  PropertyMap entries = {{"host", std::to_string(record.host)},
                         {"pid", std::to_string(record.sidecar)},
                         {"starttime", std::to_string(record.startTime)},
                         {"port", std::to_string(record.port)}};
  if (!record.output.empty()) entries["output"] = record.output;
  return ReplaceTextFile(path, FormatProperties(entries));
}

bool ReadSidecarRecord(const std::string& path, SidecarRecord* record) {
  std::string text;
  if (ReadTextFile(path, text).IsError()) return false;
  PropertyMap entries;
  ParseProperties(text, entries);
  SidecarRecord read;
  if (!ParsePid(entries, "host", &read.host) || !ParsePid(entries, "pid", &read.sidecar) ||
      !ParseNumber(entries, "starttime", &read.startTime)) {
    return false;
  }
  uint64_t port = 0;
  if (ParseNumber(entries, "port", &port) && port <= 65535) read.port = static_cast<int>(port);
  const auto output = entries.find("output");
  if (output != entries.end()) read.output = output->second;
  *record = read;
  return true;
}

bool IsRecordedSidecarRunning(const SidecarRecord& record, const std::string& confDir) {
  uint64_t startTime = 0;
  if (record.sidecar <= 0 || !ZbProcessInfo::StartTime(record.sidecar, &startTime) ||
      startTime != record.startTime || ZbProcessInfo::State(record.sidecar) == 'Z') {
    return false;
  }
  std::vector<std::string> words;
  if (!ZbProcessInfo::CommandWords(record.sidecar, &words)) return false;
  if (std::find(words.begin(), words.end(), "jerseyserve.server") == words.end()) return false;
  return std::any_of(words.begin(), words.end(), [&](const std::string& word) {
    return word.compare(0, sizeof(kConfigWordPrefix) - 1, kConfigWordPrefix) == 0 &&
           SameDirectory(ConfigDirectoryOf(record.sidecar, word), confDir);
  });
}

}  // namespace ZbCassandra
