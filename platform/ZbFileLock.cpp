#include "ZbFileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "FXErrorUtil.h"

#define LOCK_LOCATION (FXCodeLocation{"ZbFileLock", __PRETTY_FUNCTION__, __LINE__})

namespace {

struct flock WholeFile(short type) {
  struct flock lock;
  memset(&lock, 0, sizeof(lock));
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  return lock;
}

int Fcntl(int fd, int command, struct flock* lock) {
  int rc;
  do {
    rc = fcntl(fd, command, lock);
  } while (rc != 0 && errno == EINTR);
  return rc;
}

// A host of an earlier version holds the file with flock; a probe that
// takes and at once gives up that lock tells. Never kept: a forked child
// would share it.
bool HeldWithFlock(int fd) {
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return errno == EWOULDBLOCK;
  flock(fd, LOCK_UN);
  return false;
}

// The files this process's lock objects hold. A forked child inherits its
// parent's entries but none of its locks: an entry counts only in the
// process that made it.
struct HeldFile {
  pid_t owner;
  dev_t device;
  ino_t inode;
};

// Also held while a probe has a file open, so that no lock object takes a
// lock that the probe's close would drop.
std::mutex& HeldFilesMutex() {
  static auto* mutex = new std::mutex();
  return *mutex;
}
std::vector<HeldFile>& HeldFiles() {
  static auto* files = new std::vector<HeldFile>();
  return *files;
}

bool HeldHere(dev_t device, ino_t inode) {
  const pid_t self = getpid();
  return std::any_of(HeldFiles().begin(), HeldFiles().end(), [&](const HeldFile& file) {
    return file.owner == self && file.device == device && file.inode == inode;
  });
}

// One lock that a process holds, as /proc/locks lists it.
struct ListedLock {
  bool posix;  // a record lock; otherwise flock
  pid_t pid;
  unsigned major;
  unsigned minor;
  unsigned long inode;
  bool Is(dev_t device, ino_t node) const {
    return major == major(device) && minor == minor(device) && inode == node;
  }
};

// Calls `each` with every lock held (not waited for) in the system's lock
// table until it returns true. False when the table cannot be read.
template <typename Each>
bool ForEachListedLock(Each each) {
  FILE* table = fopen("/proc/locks", "re");
  if (!table) return false;
  // "1: POSIX  ADVISORY  WRITE 1234 fe:00:10953190 0 EOF": the device's
  // major and minor in hex, then the inode. Waiters ("1: -> POSIX ...")
  // hold nothing; an open file description's lock (OFDLCK) names no pid.
  char line[256];
  bool done = false;
  while (!done && fgets(line, sizeof line, table)) {
    char kind[16] = "";
    long pid = 0;
    ListedLock lock = {};
    if (sscanf(line, "%*d: %15s %*s %*s %ld %x:%x:%lu", kind, &pid, &lock.major, &lock.minor,
               &lock.inode) == 5 &&
        (strcmp(kind, "POSIX") == 0 || strcmp(kind, "FLOCK") == 0) && pid > 0) {
      lock.posix = strcmp(kind, "POSIX") == 0;
      lock.pid = static_cast<pid_t>(pid);
      done = each(lock);
    }
  }
  fclose(table);
  return true;
}

}  // namespace

CYrError ZbFileLock::TryLock(const std::string& path, bool* heldElsewhere, pid_t* holder) {
  if (heldElsewhere) *heldElsewhere = false;
  if (holder) *holder = 0;
  Unlock();
  std::lock_guard<std::mutex> guard(HeldFilesMutex());
  // O_NONBLOCK: a FIFO planted in the file's place must not stall the open.
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
  if (fd < 0) {
    const int code = errno;
    return FXErrorUtil::ErrorErrNo(LOCK_LOCATION, code, "Cannot open the lock file %s: %s",
                                   path.c_str(), strerror(code));
  }
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return FXErrorUtil::ErrorErrNo(LOCK_LOCATION, EINVAL,
                                   "Cannot use the lock file %s: not a regular file", path.c_str());
  }
  struct flock lock = WholeFile(F_WRLCK);
  int code = Fcntl(fd, F_SETLK, &lock) == 0 ? 0 : errno;
  if (code == 0 && HeldWithFlock(fd)) {
    // Dropped again with the descriptor below.
    code = EWOULDBLOCK;
  }
  if (code != 0) {
    // Our own record lock would hide the holder from the lock table.
    struct flock release = WholeFile(F_UNLCK);
    Fcntl(fd, F_SETLK, &release);
    if (code == EAGAIN || code == EACCES || code == EWOULDBLOCK) {
      if (heldElsewhere) *heldElsewhere = true;
      struct flock probe = WholeFile(F_WRLCK);
      pid_t found = 0;
      if (Fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK && probe.l_pid > 0) {
        found = probe.l_pid;
      } else {
        found = Holder(path);
      }
      if (holder) *holder = found > 0 ? found : 0;
      code = EWOULDBLOCK;
    }
    ::close(fd);
    return FXErrorUtil::ErrorErrNo(LOCK_LOCATION, code, "Cannot lock %s: %s", path.c_str(),
                                   strerror(code));
  }
  // An existing file keeps no wider permissions than one this creates; one
  // that another process made is not ours to change.
  if ((info.st_mode & 0077) != 0 && info.st_uid == geteuid()) fchmod(fd, 0600);
  m_fd = fd;
  m_device = info.st_dev;
  m_inode = info.st_ino;
  HeldFiles().push_back({getpid(), m_device, m_inode});
  return CYrError::Success();
}

CYrError ZbFileLock::TryLock(const std::string& path, bool* heldElsewhere) {
  return TryLock(path, heldElsewhere, nullptr);
}

void ZbFileLock::Unlock() {
  if (m_fd < 0) return;
  std::lock_guard<std::mutex> guard(HeldFilesMutex());
  const pid_t self = getpid();
  const auto held = std::find_if(HeldFiles().begin(), HeldFiles().end(), [&](const HeldFile& file) {
    return file.owner == self && file.device == m_device && file.inode == m_inode;
  });
  if (held != HeldFiles().end()) HeldFiles().erase(held);
  struct flock lock = WholeFile(F_UNLCK);
  Fcntl(m_fd, F_SETLK, &lock);
  ::close(m_fd);
  m_fd = -1;
}

bool ZbFileLock::IsAt(const std::string& path) const {
  struct stat held;
  struct stat there;
  return m_fd >= 0 && fstat(m_fd, &held) == 0 && lstat(path.c_str(), &there) == 0 &&
         held.st_dev == there.st_dev && held.st_ino == there.st_ino;
}

pid_t ZbFileLock::Holder(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return errno == ENOENT ? 0 : -1;
  pid_t holder = 0;
  const bool read = ForEachListedLock([&](const ListedLock& lock) {
    if (lock.Is(info.st_dev, info.st_ino)) holder = lock.pid;
    return holder != 0;
  });
  return read ? holder : -1;
}

int ZbFileLock::HeldBy(pid_t pid, dev_t device, ino_t inode) {
  bool held = false;
  const bool read = ForEachListedLock([&](const ListedLock& lock) {
    held = lock.posix && lock.pid == pid && lock.Is(device, inode);
    return held;
  });
  return read ? (held ? 1 : 0) : -1;
}

bool ZbFileLock::Identity(dev_t* device, ino_t* inode) const {
  if (m_fd < 0) return false;
  *device = m_device;
  *inode = m_inode;
  return true;
}

ZbFileLock::Probe ZbFileLock::ProbeLock(const std::string& path) {
  Probe probe;
  std::lock_guard<std::mutex> guard(HeldFilesMutex());
  // A descriptor opened only for its path: closing it drops no lock.
  const int where = ::open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (where < 0) {
    probe.state = errno == ENOENT ? Probe::kMissing : Probe::kUnknown;
    return probe;
  }
  struct stat info;
  const bool regular = fstat(where, &info) == 0 && S_ISREG(info.st_mode);
  if (regular) {
    probe.device = info.st_dev;
    probe.inode = info.st_ino;
  }
  if (!regular || HeldHere(info.st_dev, info.st_ino)) {
    ::close(where);
    if (regular) probe.state = Probe::kLockedHere;
    return probe;
  }
  // The same file, opened for real through the descriptor of its path.
  char reopen[64];
  snprintf(reopen, sizeof reopen, "/proc/self/fd/%d", where);
  const int fd = ::open(reopen, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  ::close(where);
  if (fd < 0) return probe;
  struct flock lock = WholeFile(F_WRLCK);
  if (Fcntl(fd, F_GETLK, &lock) == 0) {
    probe.state = lock.l_type == F_UNLCK ? Probe::kFree : Probe::kLocked;
    probe.holder = lock.l_type == F_UNLCK ? 0 : lock.l_pid;
  }
  ::close(fd);
  return probe;
}
