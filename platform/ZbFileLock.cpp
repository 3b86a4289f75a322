#include "ZbFileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

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

}  // namespace

CYrError ZbFileLock::TryLock(const std::string& path, bool* heldElsewhere, pid_t* holder) {
  if (heldElsewhere) *heldElsewhere = false;
  if (holder) *holder = 0;
  Unlock();
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
  return CYrError::Success();
}

CYrError ZbFileLock::TryLock(const std::string& path, bool* heldElsewhere) {
  return TryLock(path, heldElsewhere, nullptr);
}

void ZbFileLock::Unlock() {
  if (m_fd < 0) return;
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
  FILE* table = fopen("/proc/locks", "re");
  if (!table) return -1;
  // "1: POSIX  ADVISORY  WRITE 1234 fe:00:10953190 0 EOF": the device's
  // major and minor in hex, then the inode. Waiters ("1: -> POSIX ...")
  // hold nothing; an open file description's lock (OFDLCK) names no pid.
  pid_t holder = 0;
  char line[256];
  while (holder == 0 && fgets(line, sizeof line, table)) {
    char kind[16] = "";
    long pid = 0;
    unsigned major = 0;
    unsigned minor = 0;
    unsigned long inode = 0;
    if (sscanf(line, "%*d: %15s %*s %*s %ld %x:%x:%lu", kind, &pid, &major, &minor, &inode) == 5 &&
        (strcmp(kind, "POSIX") == 0 || strcmp(kind, "FLOCK") == 0) && pid > 0 &&
        major == major(info.st_dev) && minor == minor(info.st_dev) && inode == info.st_ino) {
      holder = static_cast<pid_t>(pid);
    }
  }
  fclose(table);
  return holder;
}
