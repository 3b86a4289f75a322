// An exclusive lock on a file, held by this process while the object lives.
//
// A POSIX record lock (fcntl), not flock: it belongs to the process that
// took it and to no child, whether the child was forked or spawned, so a
// worker that a host forks never keeps it, and the lock ends with the
// process, whatever ends it. Another process cannot take it meanwhile.
//
// The price of record locks: closing any descriptor of the locked file in
// this process drops the lock. Nothing but this object may open the file in
// a process that holds it: the process's objects keep a table of the files
// they hold, and Probe() never opens one of those.
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
  // Whether process `pid` (as this process numbers processes) holds a
  // record lock on the file with this device and inode, as the system's
  // lock table lists it: a file that was removed still counts while its
  // holder keeps the lock. 1 yes, 0 no, -1 it cannot be told. The table
  // leaves out the locks of processes this one cannot see (another pid
  // namespace that is not below its own).
  static int HeldBy(pid_t pid, dev_t device, ino_t inode);

  // What the file at a path tells about its lock, for a holder that the
  // lock table does not show (fcntl F_GETLK on the file itself).
  struct Probe {
    enum State {
      kMissing,     // no file there
      kUnknown,     // it cannot be opened or asked
      kFree,        // nobody holds a record lock on it
      kLocked,      // another process holds one
      kLockedHere,  // this process holds it (so nobody else does)
    };
    State state = kUnknown;
    dev_t device = 0;  // the file probed, unless kMissing or kUnknown
    ino_t inode = 0;
    // kLocked: the holder's pid as this process sees it; 0 when it cannot
    // be seen, -1 for a lock of an open file description (no process's).
    pid_t holder = 0;
  };
  // Never opens a file that a lock object of this process holds, and no
  // lock of this process is taken while a probe has the file open.
  static Probe ProbeLock(const std::string& path);
  // The device and inode of the locked file; false while nothing is locked.
  bool Identity(dev_t* device, ino_t* inode) const;
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
  dev_t m_device = 0;
  ino_t m_inode = 0;
};
