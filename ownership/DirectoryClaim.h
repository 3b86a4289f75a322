// A host process owns each Priam configuration directory it writes into.
//
// The first write by any controller of the process takes the directory's
// lock (SidecarRecord.h). Every controller of the process that uses the
// directory shares that one claim, found in a process-wide table by the
// directory's identity (device and inode), not by its spelling; the lock is
// given up when the last of them lets go. A host that replaces its controller
// with ptr.reset(new PriamUtil(...)) constructs the new one first, so it
// keeps the directory throughout.
//
// The owner is who is alive: the lock says who holds the directory now, but
// a host whose record or sidecar says it is alive is never taken for dead,
// whatever happened to the lock file; alive means holding the lock that its
// record names (HostLiveness.h). The record names the lock it is written
// under, and is only written while that lock is held. Taking the lock stops
// every sidecar of the directory that no live host owns (SidecarScan.h),
// before anything is written.
//
// A claim belongs to the process that made it. A child forked from that
// process (without exec) holds no part of the lock and may not use the
// claim: it writes nothing, never touches the record, never signals the
// sidecar, and letting go of its copy changes nothing.
#pragma once

#include <sys/types.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "CYrError.h"
#include "ZbFileLock.h"
#include "ownership/SidecarRecord.h"
#include "ownership/SidecarScan.h"
#include "supervision/SidecarEnd.h"

namespace ZbCassandra {

class DirectoryClaim;

// What an attempt to claim a directory found.
struct ClaimResult {
  enum Outcome { kClaimed, kHeldElsewhere, kFailed };
  Outcome outcome = kFailed;
  std::shared_ptr<DirectoryClaim> claim;  // kClaimed only
  // kHeldElsewhere: the live host that holds the directory (0 when the
  // system cannot name it), and the sidecar it runs there (0 for none).
  pid_t holder = 0;
  pid_t holderSidecar = 0;
  // The holder runs in a pid namespace that cannot be seen from here:
  // `holder` is its pid there.
  bool holderUnseen = false;
  // kHeldElsewhere: set when the lock was free all the same: its file was
  // removed or replaced, or the directory moved, while that host owns it.
  bool lockLost = false;
  // Sidecars that hosts that died left running from the directory, stopped
  // when the lock was taken, and whether they have all ended.
  std::vector<pid_t> stoppedOrphans;
  bool orphansEnded = true;
  // kFailed: why, in a sentence for the log. kClaimed: a record that could
  // not be written (the lock is held all the same).
  std::string failure;
};

// Why a claim may not be written under now.
struct ClaimCheck {
  enum Outcome { kOwned, kForked, kMoved, kTaken };
  Outcome outcome = kOwned;
  pid_t other = 0;  // kForked: the owning process; kTaken: the new holder
};

class DirectoryClaim {
 public:
  // Claim `confDir` for this process, or share the claim that one of its
  // controllers already holds. The sidecars that dead hosts left are
  // stopped in the name of `stopper` (a host that takes the directory, or
  // an operator).
  static ClaimResult Acquire(const std::string& confDir, EndedBy stopper = EndedBy::kNextHost);

  // Who holds `confDir` now, without taking anything: the live host (else
  // 0) as this process sees it, or by its own pid when it runs in a pid
  // namespace that cannot be seen from here; and the sidecar it runs there
  // (else 0).
  static void Holder(const std::string& confDir, pid_t* host, pid_t* sidecar);

  ~DirectoryClaim();
  DirectoryClaim(const DirectoryClaim&) = delete;
  DirectoryClaim& operator=(const DirectoryClaim&) = delete;

  // The process that made the claim.
  pid_t Owner() const { return m_owner.pid; }
  // Whether this process may still write under the claim: it is the owner,
  // the path still leads to the directory it locked, and that directory is
  // still locked (a lock file that was removed is made and locked again).
  ClaimCheck Check();

  // `owner` (a controller) is about to launch a sidecar. False, with the
  // host and the sidecar that run there, while a sidecar of another
  // controller of the process or of another live host runs from the
  // directory. Sidecars that nobody alive owns are stopped first and named
  // in `*stopped`.
  bool BeginLaunch(const void* owner, pid_t* runningHost, pid_t* runningSidecar,
                   std::vector<pid_t>* stopped);
  // The sidecar `owner` runs, recorded at once, and again once its port is
  // known and once it answered (`starting` false).
  CYrError RecordSidecar(const void* owner, pid_t sidecar, int port, const std::string& output,
                         bool starting, pid_t guardian);
  // `owner`'s sidecar has ended (`end`, whose sidecar, host and time this
  // fills in): the record names the host alone again and says how it ended,
  // and so does the directory's last end, which outlives the record.
  // Nothing happens when the record is another controller's.
  CYrError ClearSidecar(const void* owner, SidecarEnd end);
  // Stop whatever still runs of this process's sidecars of the directory,
  // and of sidecars nobody alive owns; true when none is left.
  bool StopStrays(std::string* failure);

 private:
  DirectoryClaim(const std::string& confDir, int directory, std::unique_ptr<ZbFileLock> lock);
  CYrError WriteRecord();
  bool IsOwner() const;
  // The path still leads to the directory that was locked.
  bool StillAtItsPath() const;
  // The record names this process, and the lock it holds now.
  void NameOwner();
  // The record found when the directory was taken, of a host that is dead,
  // goes when ours cannot be written in its place (a full filesystem).
  void RemoveDeadRecord(const SidecarRecord& dead);

  const std::string m_confDir;
  const int m_directory;  // the locked directory, open, wherever it moves
  std::unique_ptr<ZbFileLock> m_lock;
  // The lock file that the record on disk still names, after the file was
  // removed and locked anew, until a record naming the new one is written:
  // no reader may see this host without the lock its record names.
  std::unique_ptr<ZbFileLock> m_recordedLock;
  const ProcessId m_owner;
  std::mutex m_mutex;
  const void* m_launcher = nullptr;  // the controller whose sidecar is recorded
  SidecarRecord m_record;
};

}  // namespace ZbCassandra
