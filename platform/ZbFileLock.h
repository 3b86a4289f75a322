// An exclusive lock on a file, held by this process while the object lives.
//
// A POSIX record lock (fcntl), not flock: it belongs to the process that
// took it and to no child, whether the child was forked or spawned, so a
// worker that a host forks never keeps it, and the lock ends with the
// process, whatever ends it. Another process cannot take it meanwhile.
//
// The price of record locks: closing any descriptor of the locked file in
// this process drops the lock. Nothing but this object may open the file in
// a process that holds it.
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
  // (0600) when it is missing; a symbolic link is refused. When another
  // process holds it (also with flock, as hosts of earlier versions did),
  // `*heldElsewhere` is set, `*holder` (when given) receives its pid (0 when
  // the system cannot tell) and an error is returned.
  CYrError TryLock(const std::string& path, bool* heldElsewhere, pid_t* holder);
  CYrError TryLock(const std::string& path, bool* heldElsewhere);
  // Release the lock explicitly; the file stays. In a forked child, which
  // holds none of its parent's locks, this only closes the descriptor.
  void Unlock();
  // Who holds a lock on the file at `path` now, as the system's lock table
  // (/proc/locks) tells, without opening, creating or taking anything: the
  // pid of the process that took it, 0 when nobody holds it (or there is no
  // such file), -1 when it cannot be told.
  static pid_t Holder(const std::string& path);
  bool IsLocked() const { return m_fd >= 0; }
  // Let go of the descriptor without closing it: what a forked child does
  // with its copy of its parent's, since closing any descriptor of the file
  // would drop a lock the child may have taken on it itself.
  void Forget() { m_fd = -1; }
  // The locked file is still the one at `path`: it was neither removed nor
  // replaced.
  bool IsAt(const std::string& path) const;

 private:
  int m_fd = -1;
};
