#include "ZBPlatformInfo.h"

#include <sys/stat.h>
#include <time.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>

#include "CYrFile.h"
#include "FXString.h"

namespace {

constexpr const char* kBlanks = " \t\r";

// What a lookup knew of the file when it last read it. A file whose
// identity, size and times are unchanged since is not read again, but only
// when its last change was over a second older than that read: file times
// advance in coarse steps, and a change made within the same step as the
// read could otherwise go unseen.
struct StoreSnapshot {
  std::string path;
  struct stat info = {};
  struct timespec readAt = {};
  std::string content;
  bool valid = false;
};

bool SameTime(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool Unchanged(const StoreSnapshot& snapshot, const std::string& path, const struct stat& now) {
  const struct stat& then = snapshot.info;
  return snapshot.valid && snapshot.path == path && then.st_dev == now.st_dev &&
         then.st_ino == now.st_ino && then.st_size == now.st_size &&
         SameTime(then.st_mtim, now.st_mtim) && SameTime(then.st_ctim, now.st_ctim) &&
         then.st_ctim.tv_sec + 1 < snapshot.readAt.tv_sec;
}

// The content of the store file at `path`; false when it cannot be read.
bool StoreContent(const std::string& path, std::string* content) {
  static std::mutex mutex;
  static StoreSnapshot snapshot;
  struct timespec readAt;
  clock_gettime(CLOCK_REALTIME, &readAt);
  struct stat info;
  // Only a regular file is read, so that a FIFO or a device in the file's
  // place cannot block a lookup.
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  std::lock_guard<std::mutex> lock(mutex);
  if (!Unchanged(snapshot, path, info)) {
    snapshot.valid = false;
    char* buffer = nullptr;
    uint64_t size = 0;
    if (CYrFile::ReadWholeFile(path, &buffer, &size).IsError()) return false;
    const std::unique_ptr<char[]> owned(buffer);
    snapshot.content.assign(buffer, size);
    snapshot.path = path;
    // Taken before the read: a change during the read makes them differ.
    snapshot.info = info;
    snapshot.readAt = readAt;
    snapshot.valid = true;
  }
  *content = snapshot.content;
  return true;
}

// The value of `name` in `section` of the INI file named by the environment,
// or false when there is none. The last assignment in the file wins.
bool Lookup(const char* section, const char* name, std::string* value) {
  const char* path = std::getenv(ZBPlatformInfo::kConfigVariable);
  if (!path || !*path || !section || !name) return false;
  std::string content;
  if (!StoreContent(path, &content)) return false;
  std::istringstream in(content);
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
