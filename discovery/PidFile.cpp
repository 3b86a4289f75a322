#include "discovery/PidFile.h"

#include <sys/stat.h>

#include <climits>
#include <cstdint>
#include <memory>

#include "CYrFile.h"
#include "FXString.h"

namespace ZbCassandra {

namespace {

constexpr const char* kWhiteSpace = " \t\n\r\v\f";
// A pid file holds a number and a line feed; anything much larger is not one.
constexpr off_t kMaxPidFileSize = 4096;

}  // namespace

bool PidFilePathFromSearchOutput(const std::string& output, std::string* path) {
  const size_t equals = output.find('=');
  if (equals == std::string::npos) return false;
  const size_t start = equals + 1;
  const size_t end = output.find_first_of(kWhiteSpace, start);
  *path = output.substr(start, end == std::string::npos ? std::string::npos : end - start);
  return true;
}

bool PidFromPidFileContent(const std::string& content, std::string* pid) {
  std::string text = content;
  FXString::Trim(text, kWhiteSpace);
  if (text.empty()) return false;
  uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > static_cast<uint64_t>(INT_MAX)) return false;
  }
  if (value == 0) return false;
  *pid = std::to_string(value);
  return true;
}

bool ReadPidFile(const std::string& path, std::string* pid, std::string* why) {
  struct stat info;
  if (stat(path.c_str(), &info) == 0) {
    if (!S_ISREG(info.st_mode)) {
      *why = FXString::Format("%s is not a regular file", path.c_str());
      return false;
    }
    if (info.st_size > kMaxPidFileSize) {
      *why = FXString::Format("the content of %s is not a pid", path.c_str());
      return false;
    }
  }
  char* buffer = nullptr;
  uint64_t size = 0;
  const CYrError error = CYrFile::ReadWholeFile(path, &buffer, &size);
  const std::unique_ptr<char[]> owned(buffer);
  if (error.IsError()) {
    *why = error.AsString();
    return false;
  }
  if (!PidFromPidFileContent(std::string(buffer, size), pid)) {
    *why = FXString::Format("the content of %s is not a pid", path.c_str());
    return false;
  }
  return true;
}

}  // namespace ZbCassandra
