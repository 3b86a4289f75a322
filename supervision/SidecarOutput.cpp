#include "supervision/SidecarOutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "CYrPath.h"
#include "ZBPI_EventManager.h"
#include "ZBPlatformInfo.h"

namespace ZbCassandra {

namespace {

// The JVM's last words are near the end; a stack trace before them need not
// be read.
constexpr off_t kTailBytes = 64 * 1024;
constexpr size_t kLongestLine = 200;

std::string Tail(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::string();
  struct stat info;
  std::string text;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    const off_t start = info.st_size > kTailBytes ? info.st_size - kTailBytes : 0;
    text.resize(static_cast<size_t>(info.st_size - start));
    const ssize_t got = pread(fd, &text[0], text.size(), start);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  }
  close(fd);
  return text;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// One line as a log line or a terminal may show it.
std::string Printable(std::string line) {
  if (line.size() > kLongestLine) {
    size_t cut = kLongestLine;
    // Not in the middle of a UTF-8 character.
    while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
    line.resize(cut);
  }
  for (char& c : line) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return line;
}

}  // namespace

std::string SidecarOutputPath(const std::string& confDir) {
  std::string directory = confDir;
  if (directory.empty()) {
    ZBPI_EventManager eventManager(0, 1);
    const char* logDirectory = eventManager.getLogFilesDirectory();
    if (logDirectory) directory = logDirectory;
  }
  if (directory.empty()) return std::string();
  return CYrPath::Append(directory.c_str(), kSidecarOutputName).str();
}

uint64_t SidecarOutputLimit() {
  ZBPlatformInfo store;
  uint64_t limit = 0;
  store.getNumber("Cassandra", "nPriamOutputLimit", &limit);
  return limit != 0 ? limit : kDefaultOutputLimit;
}

int OpenSidecarOutput(const std::string& path, std::string* error) {
  // rename moves a symbolic link itself, never what it points at.
  if (rename(path.c_str(), (path + ".1").c_str()) != 0 && errno != ENOENT) {
    *error = "cannot keep " + path + " as " + path + ".1: " + strerror(errno);
    return -1;
  }
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    *error = "cannot create " + path + ": " + strerror(errno);
    return -1;
  }
  fchmod(fd, 0600);  // the umask may have taken more
  return fd;
}

bool IsOwnOutput(const std::string& path, uid_t owner) {
  const size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  struct stat info;
  return name == kSidecarOutputName && lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         info.st_uid == owner;
}

std::vector<std::string> LastOutputLines(const std::string& path, size_t count) {
  const std::string text = Tail(path);
  std::vector<std::string> lines;
  size_t end = text.size();
  while (lines.size() < count) {
    while (end > 0 && IsBlank(text[end - 1])) --end;
    if (end == 0) break;
    const size_t newline = text.rfind('\n', end - 1);
    const size_t start = newline == std::string::npos ? 0 : newline + 1;
    lines.insert(lines.begin(), Printable(text.substr(start, end - start)));
    end = start;
  }
  return lines;
}

std::string LastOutputLine(const std::string& path) {
  const std::vector<std::string> lines = LastOutputLines(path, 1);
  return lines.empty() ? std::string() : lines.front();
}

}  // namespace ZbCassandra
