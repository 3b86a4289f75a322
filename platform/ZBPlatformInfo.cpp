#include "ZBPlatformInfo.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <string>

#include "CYrFile.h"
#include "FXString.h"

namespace {

constexpr const char* kBlanks = " \t\r";

// The value of `name` in `section` of the INI file named by the environment,
// or false when there is none. The last assignment in the file wins.
bool Lookup(const char* section, const char* name, std::string* value) {
  const char* path = std::getenv(ZBPlatformInfo::kConfigVariable);
  if (!path || !*path || !section || !name) return false;
  // Through the whole-file reader, which refuses a FIFO or a device in the
  // file's place instead of blocking on it.
  char* buffer = nullptr;
  uint64_t size = 0;
  if (CYrFile::ReadWholeFile(path, &buffer, &size).IsError()) return false;
  std::istringstream in(std::string(buffer, size));
  delete[] buffer;
  bool inSection = false;
  bool found = false;
  std::string line;
  while (std::getline(in, line)) {
    FXString::Trim(line, kBlanks);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line.front() == '[') {
      if (line.back() != ']') continue;
      std::string header = line.substr(1, line.size() - 2);
      FXString::Trim(header, kBlanks);
      inSection = header == section;
      continue;
    }
    if (!inSection) continue;
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string key = line.substr(0, equals);
    FXString::Trim(key, kBlanks);
    if (key != name) continue;
    *value = line.substr(equals + 1);
    FXString::Trim(*value, kBlanks);
    found = true;
  }
  return found;
}

bool ParseUnsigned(const std::string& text, uint64_t* number) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return false;
  errno = 0;
  char* end = nullptr;
  const unsigned long long parsed = std::strtoull(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0') return false;
  *number = parsed;
  return true;
}

}  // namespace

int ZBPlatformInfo::getString(const char* section, const char* name, std::string* value) {
  std::string found;
  if (!value || !Lookup(section, name, &found)) return 0;
  *value = found;
  return 1;
}

int ZBPlatformInfo::getNumber(const char* section, const char* name, uint64_t* value) {
  std::string text;
  uint64_t number = 0;
  if (!value || !Lookup(section, name, &text) || !ParseUnsigned(text, &number)) return 0;
  *value = number;
  return 1;
}
