#include "SidecarRecord.h"

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

}  // namespace

CYrError WriteSidecarRecord(const std::string& path, const SidecarRecord& record) {
  const PropertyMap entries = {{"host", std::to_string(record.host)},
                               {"pid", std::to_string(record.sidecar)},
                               {"starttime", std::to_string(record.startTime)}};
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
  const auto has = [&](const std::string& word) {
    return std::find(words.begin(), words.end(), word) != words.end();
  };
  return has("-Dzbpriam.config.file=" + confDir) && has("jerseyserve.server");
}

}  // namespace ZbCassandra
