// Whether the host that a directory's record or a sidecar's stamp names is
// alive, judged from the running system, wherever the reader runs.
//
// A host names itself by its pid and start time in its own pid namespace
// (a container has its own: its first process is pid 1 there, and another
// number outside). A pid is only ever compared within the namespace it was
// taken in:
// - the reader's own namespace: the pid must have the start time, and be
//   no zombie;
// - a namespace below the reader's, which it can see into: the process of
//   that namespace that calls itself by the pid, with the start time;
// - a namespace it cannot see (the reader runs in a container and the host
//   outside it, or in a sibling container): the pid says nothing here, and
//   only the lock file can tell.
// A live owner always holds the record lock on the directory's lock file,
// from its claim until it gives the directory up; a host that exec'd
// another program keeps its pid and start time but lost the lock with its
// descriptors, and is dead as an owner. A host whose record names no lock
// (written before the lock was recorded) is judged by its pid and start
// time alone.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace ZbCassandra {

// A host as a record or a sidecar's stamp names it.
struct HostIdentity {
  pid_t pid = 0;              // in its own pid namespace
  uint64_t startTime = 0;     // clock ticks since boot; 0 when not known
  uint64_t pidNamespace = 0;  // its pid namespace; 0 when not known: the reader's
};

// The lock file a live owner holds, by its device and inode; 0 and 0 when
// none is named.
struct LockIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  bool named() const { return inode != 0; }
};

struct Liveness {
  bool alive = false;
  bool elsewhere = false;  // in another pid namespace than this process
  // Its pid as this process sees it (the one to signal or wait for); 0
  // when it cannot be seen from here, or was not found.
  pid_t pidHere = 0;
};

// The pid namespace of this process; 0 when it cannot be told.
uint64_t OwnPidNamespace();

// `host` is alive, holding `lock` when one is named. `lockPath` is the
// directory's lock file: asked (without opening one that this process
// holds) only about a host that cannot be seen from here, and then `lock`,
// when named, must still be the file there for a free lock to tell that
// the host is dead; otherwise such a host is taken for alive.
Liveness JudgeHost(const HostIdentity& host, const LockIdentity& lock, const std::string& lockPath);

// The process that calls itself `pid` in namespace `pidNamespace` and
// started at `startTime`, as this process sees it; 0 when it does not run
// or cannot be seen from here, and for a start time of 0 (not recorded).
pid_t PidHere(pid_t pid, uint64_t startTime, uint64_t pidNamespace);

// `host` is this very process (in this process's namespace).
bool IsThisProcess(const HostIdentity& host);

// Both name the same process: pids compared within one namespace.
bool SameHost(const HostIdentity& a, const HostIdentity& b);

}  // namespace ZbCassandra
