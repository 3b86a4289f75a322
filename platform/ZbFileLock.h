// An exclusive advisory lock (flock) on a file, held while the object lives.
//
// The descriptor is close-on-exec and children are started with none of the
// host's descriptors, so the lock belongs to this process alone and ends with
// it, whatever ends it. Another open of the same file, in this process or any
// other, cannot take the lock meanwhile.
#pragma once

#include <sys/types.h>

#include <string>

#include "CYrError.h"

class ZbFileLock {
 public:
  ZbFileLock() = default;
  ~ZbFileLock() { Unlock(); }
  ZbFileLock(const ZbFileLock&) = delete;
  ZbFileLock& operator=(const ZbFileLock&) = delete;

  // Lock the regular file at `path` without waiting, creating it owner-only
  // (0600) when it is missing; a symbolic link is refused. When another open
  // of the file holds the lock, `*heldElsewhere` is set and an error returned.
  CYrError TryLock(const std::string& path, bool* heldElsewhere);
  // Release the lock; the file stays.
  void Unlock();
  // Who holds the lock on the file at `path` now, as the system's lock table
  // (/proc/locks) tells, without opening, creating or taking anything: the
  // pid of the process that took it, 0 when nobody holds it (or there is no
  // such file), -1 when it cannot be told.
  static pid_t Holder(const std::string& path);
  bool IsLocked() const { return m_fd >= 0; }

 private:
  int m_fd = -1;
};
