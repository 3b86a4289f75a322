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

CYrError ZbFileLock::TryLock(const std::string& path, bool* heldElsewhere) {
  if (heldElsewhere) *heldElsewhere = false;
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
  int rc;
  do {
    rc = flock(fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    const int code = errno;
    ::close(fd);
    if (code == EWOULDBLOCK && heldElsewhere) *heldElsewhere = true;
    return FXErrorUtil::ErrorErrNo(LOCK_LOCATION, code, "Cannot lock %s: %s", path.c_str(),
                                   strerror(code));
  }
  // An existing file keeps no wider permissions than one this creates; one
  // that another process holds is not ours to change.
  if ((info.st_mode & 0077) != 0 && info.st_uid == geteuid()) fchmod(fd, 0600);
  m_fd = fd;
  return CYrError::Success();
}

void ZbFileLock::Unlock() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}

pid_t ZbFileLock::Holder(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return errno == ENOENT ? 0 : -1;
  FILE* table = fopen("/proc/locks", "re");
  if (!table) return -1;
  // "1: FLOCK  ADVISORY  WRITE 1234 fe:00:10953190 0 EOF": the device's
  // major and minor in hex, then the inode. Waiters ("1: -> FLOCK ...")
  // hold nothing.
  pid_t holder = 0;
  char line[256];
  while (holder == 0 && fgets(line, sizeof line, table)) {
    char kind[16] = "";
    long pid = 0;
    unsigned major = 0;
    unsigned minor = 0;
    unsigned long inode = 0;
    if (sscanf(line, "%*d: %15s %*s %*s %ld %x:%x:%lu", kind, &pid, &major, &minor, &inode) == 5 &&
        strcmp(kind, "FLOCK") == 0 && major == major(info.st_dev) && minor == minor(info.st_dev) &&
        inode == info.st_ino) {
      holder = static_cast<pid_t>(pid);
    }
  }
  fclose(table);
  return holder;
}
