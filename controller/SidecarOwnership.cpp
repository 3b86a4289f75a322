// A launch owns its configuration directory's sidecar: the lock and the
// record of SidecarRecord.h, taken before the sidecar starts and given up
// once it is stopped.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "Boundary.h"
#include "CYrPath.h"
#include "ErrorCodes.h"
#include "PriamUtil.h"
#include "SidecarRecord.h"
#include "ZbFileLock.h"
#include "ZbProcessInfo.h"

namespace ZbCassandra {

namespace {

// SIGKILL ends a process within moments; a few seconds cover a loaded host.
constexpr auto kOrphanEndWait = std::chrono::seconds(5);
// The holder of a lock writes its record right after taking it.
constexpr auto kHolderRecordWait = std::chrono::seconds(1);
constexpr auto kPollInterval = std::chrono::milliseconds(20);

bool IsAlive(pid_t pid) { return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM); }

// The host named by the record of a lock that is held elsewhere; 0 when the
// record names no live host (yet).
pid_t LockHolder(const std::string& recordPath) {
  const auto deadline = std::chrono::steady_clock::now() + kHolderRecordWait;
  for (;;) {
    SidecarRecord record;
    if (ReadSidecarRecord(recordPath, &record) && IsAlive(record.host)) return record.host;
    if (std::chrono::steady_clock::now() >= deadline) return 0;
    std::this_thread::sleep_for(kPollInterval);
  }
}

bool WaitForEnd(const SidecarRecord& sidecar, const std::string& confDir) {
  const auto deadline = std::chrono::steady_clock::now() + kOrphanEndWait;
  // A zombie no longer counts: its new parent collects it in its own time.
  while (IsRecordedSidecarRunning(sidecar, confDir)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kPollInterval);
  }
  return true;
}

std::string RecordPath(const std::string& confDir) {
  return CYrPath::Append(confDir.c_str(), kSidecarRecordFileName).str();
}

}  // namespace

CYrError PriamUtil::claimSidecar() {
  if (m_priamConfDir.empty()) return CYrError::Success();
  const std::string lockPath = CYrPath::Append(m_priamConfDir.c_str(), kSidecarLockFileName).str();
  const std::string recordPath = RecordPath(m_priamConfDir);
  std::unique_ptr<ZbFileLock> lock(new ZbFileLock());
  bool heldElsewhere = false;
  CYrError error = lock->TryLock(lockPath, &heldElsewhere);
  if (heldElsewhere) {
    const pid_t holder = LockHolder(recordPath);
    ZB_LOG(-1, "Priam is already running for %s (process %d)", m_priamConfDir.c_str(), holder);
    return FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kFunctionFailed,
                                   "Priam is already running for %s (process %d)",
                                   m_priamConfDir.c_str(), holder);
  }
  if (error.IsError()) {
    // Without the lock nothing would keep a second sidecar from starting.
    ZB_LOG(-1, "Failed to lock the Priam configuration directory: %s", error.Message().c_str());
    return FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kFunctionFailed,
                                   "Failed to lock the Priam configuration directory: %s",
                                   error.Message().c_str());
  }

  // Nobody holds the directory, so a sidecar still running from it was left
  // by a host that died.
  SidecarRecord orphan;
  const bool orphaned =
      ReadSidecarRecord(recordPath, &orphan) && IsRecordedSidecarRunning(orphan, m_priamConfDir);
  if (orphaned && kill(orphan.sidecar, SIGKILL) != 0) {
    const int code = errno;
    ZB_LOG(-1, "Failed to stop the Priam sidecar left running by a host that died (process %d): %s",
           orphan.sidecar, strerror(code));
    return FXErrorUtil::ErrorErrNo(
        PRIAM_LOCATION, kFunctionFailed,
        "Failed to stop the Priam sidecar left running by a host that died (process %d): %s",
        orphan.sidecar, strerror(code));
  }
  SidecarRecord mine;
  mine.host = getpid();
  const CYrError recorded = WriteSidecarRecord(recordPath, mine);
  if (recorded.IsError()) {
    ZB_LOG(-1, "Failed to write the Priam sidecar record: %s", recorded.AsString().c_str());
  }
  m_sidecarLock = std::move(lock);
  if (orphaned) {
    if (WaitForEnd(orphan, m_priamConfDir)) {
      ZB_LOG(0, "Stopped the Priam sidecar left running by a host that died (process %d)",
             orphan.sidecar);
    } else {
      ZB_LOG(-1, "The Priam sidecar left running by a host that died (process %d) has not ended",
             orphan.sidecar);
    }
  }
  return CYrError::Success();
}

void PriamUtil::recordSidecar(pid_t sidecar) {
  if (!m_sidecarLock) return;
  SidecarRecord record;
  record.sidecar = sidecar;
  record.host = getpid();
  ZbProcessInfo::StartTime(sidecar, &record.startTime);
  const CYrError error = WriteSidecarRecord(RecordPath(m_priamConfDir), record);
  if (error.IsError()) {
    ZB_LOG(-1, "Failed to write the Priam sidecar record: %s", error.AsString().c_str());
  }
}

void PriamUtil::releaseSidecar() {
  if (!m_sidecarLock) return;
  // The record goes while the lock is still held: it never names a sidecar
  // that another launch has started meanwhile.
  unlink(RecordPath(m_priamConfDir).c_str());
  m_sidecarLock.reset();
}

}  // namespace ZbCassandra
