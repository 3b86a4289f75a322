#include "ownership/SidecarRecord.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>

#include "CYrPath.h"
#include "FXErrorUtil.h"
#include "priamconf/PropertiesFile.h"

namespace ZbCassandra {

namespace {

#define RECORD_LOCATION (FXCodeLocation{"PriamUtil", __PRETTY_FUNCTION__, __LINE__})

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

std::string Text(const PropertyMap& entries, const char* key) {
  const auto found = entries.find(key);
  return found == entries.end() ? std::string() : found->second;
}

CYrError WriteError(int code, const char* what) {
  return FXErrorUtil::ErrorErrNo(RECORD_LOCATION, code, "Cannot %s the record %s: %s", what,
                                 kSidecarRecordFileName, strerror(code));
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

constexpr char kTemporarySuffix[] = ".tmp";
constexpr uint32_t kTemporaryNumbers = 1000000;

std::string TemporaryPrefix() { return std::string(kSidecarRecordFileName) + kTemporarySuffix; }

int OpenDirectory(const std::string& confDir) {
  return open(confDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

}  // namespace

std::string LockFilePath(const std::string& confDir) {
  return CYrPath::Append(confDir.c_str(), kSidecarLockFileName).str();
}

CYrError WriteSidecarRecordAt(int directory, const SidecarRecord& record) {
  PropertyMap entries = {{"host", std::to_string(record.host)},
                         {"pid", std::to_string(record.sidecar)},
                         {"starttime", std::to_string(record.startTime)},
                         {"port", std::to_string(record.port)}};
  if (record.hostStart != 0) entries["hoststart"] = std::to_string(record.hostStart);
  if (record.hostPidNamespace != 0) entries["pidns"] = std::to_string(record.hostPidNamespace);
  if (record.lockInode != 0) {
    entries["lockdev"] = std::to_string(record.lockDevice);
    entries["lockino"] = std::to_string(record.lockInode);
  }
  if (!record.output.empty()) entries["output"] = record.output;
  if (record.starting) entries["state"] = "starting";
  if (record.guardian != 0) {
    entries["guardian"] = std::to_string(record.guardian);
    entries["guardianstart"] = std::to_string(record.guardianStart);
  }
  if (!record.ended.empty()) {
    entries["ended"] = record.ended;
    entries["endedat"] = std::to_string(record.endedAt);
  }
  const std::string temporary =
      TemporaryPrefix() + std::to_string(std::random_device()() % kTemporaryNumbers);
  const int fd = openat(directory, temporary.c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return WriteError(errno, "write");
  fchmod(fd, 0600);  // whatever the umask
  const bool written = WriteAll(fd, FormatProperties(entries));
  const int code = errno;
  if (close(fd) != 0 || !written) {
    unlinkat(directory, temporary.c_str(), 0);
    return WriteError(written ? EIO : code, "write");
  }
  if (renameat(directory, temporary.c_str(), directory, kSidecarRecordFileName) != 0) {
    const int renameCode = errno;
    unlinkat(directory, temporary.c_str(), 0);
    return WriteError(renameCode, "replace");
  }
  return CYrError::Success();
}

bool IsSidecarRecordTemporary(const std::string& name) {
  const std::string prefix = TemporaryPrefix();
  if (name.compare(0, prefix.size(), prefix) != 0) return false;
  const std::string number = name.substr(prefix.size());
  // Exactly what std::to_string makes of a number in range: no sign, no
  // leading zero.
  return !number.empty() && number.find_first_not_of("0123456789") == std::string::npos &&
         (number == "0" || number[0] != '0') &&
         number.size() < std::to_string(kTemporaryNumbers).size();
}

CYrError WriteSidecarRecord(const std::string& confDir, const SidecarRecord& record) {
  const int directory = OpenDirectory(confDir);
  if (directory < 0) return WriteError(errno, "write");
  const CYrError error = WriteSidecarRecordAt(directory, record);
  close(directory);
  return error;
}

RecordRead ReadSidecarRecordAt(int directory, SidecarRecord* record) {
  const int fd =
      openat(directory, kSidecarRecordFileName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? RecordRead::kMissing : RecordRead::kUnusable;
  struct stat info;
  std::string text;
  bool read = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kLongestRecord;
  if (read) {
    text.resize(static_cast<size_t>(info.st_size));
    const ssize_t got = pread(fd, &text[0], text.size(), 0);
    read = got == static_cast<ssize_t>(text.size());
  }
  close(fd);
  if (!read) return RecordRead::kUnusable;
  PropertyMap entries;
  ParseProperties(text, entries);
  SidecarRecord parsed;
  if (!ParsePid(entries, "host", &parsed.host) || !ParsePid(entries, "pid", &parsed.sidecar) ||
      !ParseNumber(entries, "starttime", &parsed.startTime)) {
    return RecordRead::kUnusable;
  }
  ParseNumber(entries, "hoststart", &parsed.hostStart);
  ParseNumber(entries, "pidns", &parsed.hostPidNamespace);
  if (!ParseNumber(entries, "lockdev", &parsed.lockDevice) ||
      !ParseNumber(entries, "lockino", &parsed.lockInode)) {
    parsed.lockDevice = parsed.lockInode = 0;
  }
  uint64_t number = 0;
  if (ParseNumber(entries, "port", &number) && number <= 65535)
    parsed.port = static_cast<int>(number);
  parsed.output = Text(entries, "output");
  parsed.starting = Text(entries, "state") == "starting";
  ParsePid(entries, "guardian", &parsed.guardian);
  ParseNumber(entries, "guardianstart", &parsed.guardianStart);
  parsed.ended = Text(entries, "ended");
  if (ParseNumber(entries, "endedat", &number)) parsed.endedAt = static_cast<int64_t>(number);
  *record = parsed;
  return RecordRead::kRead;
}

RecordRead ReadSidecarRecord(const std::string& confDir, SidecarRecord* record) {
  const int directory = OpenDirectory(confDir);
  if (directory < 0) return errno == ENOENT ? RecordRead::kMissing : RecordRead::kUnusable;
  const RecordRead read = ReadSidecarRecordAt(directory, record);
  close(directory);
  return read;
}

HostIdentity RecordedHost(const SidecarRecord& record) {
  HostIdentity host;
  host.pid = record.host;
  host.startTime = record.hostStart;
  host.pidNamespace = record.hostPidNamespace;
  return host;
}

LockIdentity RecordedLock(const SidecarRecord& record) {
  LockIdentity lock;
  lock.device = record.lockDevice;
  lock.inode = record.lockInode;
  return lock;
}

Liveness RecordedHostLiveness(const SidecarRecord& record, const std::string& confDir) {
  return JudgeHost(RecordedHost(record), RecordedLock(record), LockFilePath(confDir));
}

}  // namespace ZbCassandra
