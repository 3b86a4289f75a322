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
// While the claim stands, the record beside the lock names this process, and
// the sidecar that one of its controllers runs from the directory.
#pragma once

#include <sys/types.h>

#include <memory>
#include <mutex>
#include <string>

#include "SidecarRecord.h"
#include "ZbFileLock.h"

namespace ZbCassandra {

class DirectoryClaim;

// What an attempt to claim a directory found.
struct ClaimResult {
  enum Outcome { kClaimed, kHeldElsewhere, kFailed };
  Outcome outcome = kFailed;
  std::shared_ptr<DirectoryClaim> claim;  // kClaimed only
  // kHeldElsewhere: the holding host and its running sidecar, as its record
  // names them (0 when the record does not name one).
  pid_t holder = 0;
  pid_t holderSidecar = 0;
  // A sidecar that a host that died left running from the directory, stopped
  // when the lock was taken (0 when there was none), and whether it ended.
  pid_t stoppedOrphan = 0;
  bool orphanEnded = false;
  // kFailed: why, in a sentence for the log. kClaimed: a record that could
  // not be written (the lock is held all the same).
  std::string failure;
};

class DirectoryClaim {
 public:
  // Claim `confDir` for this process, or share the claim that one of its
  // controllers already holds. Taking the lock stops, before anything is
  // written, a sidecar that a host that died left running from the
  // directory.
  static ClaimResult Acquire(const std::string& confDir);

  // Who holds `confDir` now, from its record, without taking anything: the
  // host when it is alive (else 0), and its sidecar when that runs.
  static void Holder(const std::string& confDir, pid_t* host, pid_t* sidecar);

  // Kill the recorded sidecar of `confDir` with SIGKILL and wait (a few
  // seconds at most) until it is gone; `*ended` tells whether it is. False,
  // with the reason in `*failure`, when it cannot be signalled.
  static bool StopSidecar(const SidecarRecord& sidecar, const std::string& confDir, bool* ended,
                          std::string* failure);

  ~DirectoryClaim();
  DirectoryClaim(const DirectoryClaim&) = delete;
  DirectoryClaim& operator=(const DirectoryClaim&) = delete;

  // `owner` (a controller) is about to launch a sidecar. False while the
  // sidecar of another controller of the process runs from the directory.
  bool BeginLaunch(const void* owner);
  // The sidecar `owner` runs: recorded at once, so that a host that dies
  // from here on leaves a sidecar the next owner recognises.
  CYrError RecordSidecar(const void* owner, pid_t sidecar, int port, const std::string& output);
  // `owner`'s sidecar is stopped: the record names the host alone again.
  // Nothing happens when the record is another controller's.
  CYrError ClearSidecar(const void* owner);

 private:
  DirectoryClaim(const std::string& confDir, std::unique_ptr<ZbFileLock> lock);
  CYrError WriteRecord();

  const std::string m_confDir;
  const std::string m_recordPath;
  const std::unique_ptr<ZbFileLock> m_lock;
  std::mutex m_mutex;
  const void* m_launcher = nullptr;  // the controller whose sidecar is recorded
  SidecarRecord m_record;
};

}  // namespace ZbCassandra
