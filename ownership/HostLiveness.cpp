#include "ownership/HostLiveness.h"

#include <unistd.h>

#include "ZbFileLock.h"
#include "ZbProcessInfo.h"

namespace ZbCassandra {

namespace {

// The kernel's first pid namespace has this inode everywhere: from it every
// process of the system can be seen, so a namespace with no process in
// sight has ended.
constexpr uint64_t kInitialPidNamespace = 0xEFFFFFFCu;

bool InOwnNamespace(uint64_t pidNamespace) {
  const uint64_t own = OwnPidNamespace();
  return own == 0 || pidNamespace == 0 || pidNamespace == own;
}

uint64_t Normalized(uint64_t pidNamespace) {
  return pidNamespace != 0 ? pidNamespace : OwnPidNamespace();
}

bool Runs(pid_t pid, uint64_t startTime) {
  if (startTime != 0) return ZbProcessInfo::IsRunning(pid, startTime);
  const char state = ZbProcessInfo::State(pid);
  return state != 0 && state != 'Z' && state != 'X';
}

// A lock table that cannot be read tells nothing; the pid and start time
// decide then.
bool HoldsLock(pid_t pidHere, const LockIdentity& lock) {
  return !lock.named() || ZbFileLock::HeldBy(pidHere, static_cast<dev_t>(lock.device),
                                             static_cast<ino_t>(lock.inode)) != 0;
}

struct Search {
  bool seen = false;     // some process of the namespace can be seen
  bool complete = true;  // every process's namespace could be read
  pid_t found = 0;
};

Search FindInNamespace(pid_t pid, uint64_t startTime, uint64_t pidNamespace) {
  Search search;
  for (const pid_t candidate : ZbProcessInfo::AllProcesses()) {
    const uint64_t its = ZbProcessInfo::PidNamespace(candidate);
    if (its == 0 && ZbProcessInfo::State(candidate) != 0) search.complete = false;
    if (its != pidNamespace) continue;
    search.seen = true;
    if (ZbProcessInfo::PidInOwnNamespace(candidate) == pid && Runs(candidate, startTime)) {
      search.found = candidate;
      break;
    }
  }
  return search;
}

// A host that cannot be seen from here holds its lock file's lock, which
// the file itself tells: held by a process that cannot be seen. Whatever
// cannot be told keeps it alive.
Liveness JudgeUnseen(const LockIdentity& lock, const std::string& lockPath) {
  Liveness liveness;
  liveness.elsewhere = true;
  const ZbFileLock::Probe probe = ZbFileLock::ProbeLock(lockPath);
  const bool told = probe.state == ZbFileLock::Probe::kFree ||
                    probe.state == ZbFileLock::Probe::kLocked ||
                    probe.state == ZbFileLock::Probe::kLockedHere;
  const bool recordedFile = !lock.named() || (static_cast<uint64_t>(probe.device) == lock.device &&
                                              static_cast<uint64_t>(probe.inode) == lock.inode);
  liveness.alive =
      !told || !recordedFile || (probe.state == ZbFileLock::Probe::kLocked && probe.holder == 0);
  return liveness;
}

}  // namespace

uint64_t OwnPidNamespace() { return ZbProcessInfo::PidNamespace(0); }

Liveness JudgeHost(const HostIdentity& host, const LockIdentity& lock,
                   const std::string& lockPath) {
  Liveness liveness;
  if (host.pid <= 0) return liveness;
  if (InOwnNamespace(host.pidNamespace)) {
    if (!Runs(host.pid, host.startTime)) return liveness;
    liveness.pidHere = host.pid;
    liveness.alive = HoldsLock(host.pid, lock);
    return liveness;
  }
  liveness.elsewhere = true;
  const Search search = FindInNamespace(host.pid, host.startTime, host.pidNamespace);
  if (search.found != 0) {
    liveness.pidHere = search.found;
    liveness.alive = HoldsLock(search.found, lock);
    return liveness;
  }
  if (search.seen || (search.complete && OwnPidNamespace() == kInitialPidNamespace)) {
    return liveness;
  }
  return JudgeUnseen(lock, lockPath);
}

pid_t PidHere(pid_t pid, uint64_t startTime, uint64_t pidNamespace) {
  if (pid <= 0 || startTime == 0) return 0;
  if (InOwnNamespace(pidNamespace)) return Runs(pid, startTime) ? pid : 0;
  return FindInNamespace(pid, startTime, pidNamespace).found;
}

bool IsThisProcess(const HostIdentity& host) {
  uint64_t ownStart = 0;
  return host.pid == getpid() && InOwnNamespace(host.pidNamespace) &&
         (host.startTime == 0 ||
          (ZbProcessInfo::StartTime(host.pid, &ownStart) && ownStart == host.startTime));
}

bool SameHost(const HostIdentity& a, const HostIdentity& b) {
  return a.pid == b.pid && a.startTime == b.startTime &&
         Normalized(a.pidNamespace) == Normalized(b.pidNamespace);
}

}  // namespace ZbCassandra
