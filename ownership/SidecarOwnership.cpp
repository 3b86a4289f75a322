// A controller writes into its configuration directory only as (a sharer of)
// the process that owns it, only from that process, and only while the
// directory is still the one it locked; it launches only when no other
// sidecar of a live host runs from it.
#include <unistd.h>

#include <ctime>

#include "PriamUtil.h"
#include "ZbProcess.h"
#include "ZbProcessInfo.h"
#include "common/Boundary.h"
#include "common/ErrorCodes.h"
#include "common/HostControl.h"
#include "ownership/DirectoryShare.h"
#include "supervision/SidecarEnd.h"
#include "supervision/SidecarSupervision.h"

namespace ZbCassandra {

namespace {

std::string ProcessText(pid_t pid) {
  return pid > 0 ? "process " + std::to_string(pid) : "process unknown";
}

}  // namespace

bool PriamUtil::copiedByFork() const {
  return m_supervision && directoryShare().ownerPid != getpid();
}

CYrError PriamUtil::forkedChildError() const {
  return noteFailure(
      FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kFunctionFailed,
                              "This Priam controller belongs to process %d (it was copied into "
                              "process %d by fork); nothing was done",
                              directoryShare().ownerPid, getpid()),
      FailureReason::kForkCopy);
}

CYrError PriamUtil::ownDirectory(bool launch) {
  if (copiedByFork()) return forkedChildError();
  if (m_priamConfDir.empty()) return CYrError::Success();
  DirectoryShare& share = directoryShare();
  if (share.claim && share.claimedDir == m_priamConfDir) {
    const CYrError lost = claimLostError(share.claim->Check());
    if (lost.IsError() && launch) ZB_LOG(-1, "%s", lost.Message().c_str());
    return lost;
  }
  ClaimResult claimed = DirectoryClaim::Acquire(m_priamConfDir);
  for (const pid_t orphan : claimed.stoppedOrphans) {
    if (share.stoppedOrphan == 0) share.stoppedOrphan = orphan;
    if (claimed.orphansEnded) {
      ZB_LOG(0, "Stopped the Priam sidecar left running by a host that died (process %d)", orphan);
    }
  }
  switch (claimed.outcome) {
    case ClaimResult::kClaimed:
      // The lock keeps other hosts out even when the record could not be
      // written; they just cannot name us.
      if (!claimed.failure.empty()) ZB_LOG(-1, "%s", claimed.failure.c_str());
      share.claim = std::move(claimed.claim);
      share.claimedDir = m_priamConfDir;
      return CYrError::Success();
    case ClaimResult::kHeldElsewhere: {
      const CYrError held =
          heldElsewhereError(claimed.holder, claimed.holderSidecar, launch, claimed.lockLost);
      if (launch) ZB_LOG(-1, "%s", held.Message().c_str());
      return held;
    }
    case ClaimResult::kFailed:
      break;
  }
  // Without the lock nothing would keep another host from writing here.
  if (launch) ZB_LOG(-1, "%s", claimed.failure.c_str());
  return noteFailure(
      FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kFunctionFailed, "%s", claimed.failure.c_str()),
      FailureReason::kFileError);
}

void PriamUtil::rememberRefusal(const CYrError& refusal) { directoryShare().refusal = refusal; }

CYrError PriamUtil::claimLostError(const ClaimCheck& check) const {
  switch (check.outcome) {
    case ClaimCheck::kOwned:
      return CYrError::Success();
    case ClaimCheck::kForked:
      return forkedChildError();
    case ClaimCheck::kMoved:
      return noteFailure(
          FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kFunctionFailed,
                                  "The Priam configuration directory %s was moved or replaced "
                                  "while this host owned it; nothing was written there",
                                  m_priamConfDir.c_str()),
          FailureReason::kDirectoryMoved);
    case ClaimCheck::kTaken:
      break;
  }
  return noteFailure(
      FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kFunctionFailed,
                              "The lock file of the Priam configuration directory %s was "
                              "removed, and the directory was taken by another host (%s); "
                              "nothing was written there",
                              m_priamConfDir.c_str(), ProcessText(check.other).c_str()),
      FailureReason::kDirectoryHeld, check.other);
}

CYrError PriamUtil::heldElsewhereError(pid_t holder, pid_t holderSidecar, bool launch,
                                       bool lockLost) const {
  const auto held = [this, holder](const CYrError& error) {
    return noteFailure(error, FailureReason::kDirectoryHeld, holder);
  };
  if (lockLost) {
    return held(FXErrorUtil::ErrorErrNo(
        PRIAM_LOCATION, kFunctionFailed,
        "The Priam configuration directory %s belongs to another host (%s), although its lock "
        "is free: the lock file was removed, or the directory moved, while that host runs; "
        "nothing was written there",
        m_priamConfDir.c_str(), ProcessText(holder).c_str()));
  }
  if (launch && holder > 0 && holderSidecar > 0) {
    return held(FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kFunctionFailed,
                                        "Priam is already running for %s (process %d)",
                                        m_priamConfDir.c_str(), holder));
  }
  return held(FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kFunctionFailed,
                                      "The Priam configuration directory %s belongs to another "
                                      "host (%s); nothing was written there",
                                      m_priamConfDir.c_str(), ProcessText(holder).c_str()));
}

CYrError PriamUtil::claimSidecar() {
  if (m_priamConfDir.empty()) return CYrError::Success();
  const CYrError owned = ownDirectory(true);
  // Cancelled while it waited for the end of what a dead host left, the
  // launch ends here, whatever the claim came to.
  if (interrupted()) return interruptionError(PRIAM_LOCATION);
  if (owned.IsError()) return owned;
  pid_t host = 0;
  pid_t sidecar = 0;
  std::vector<pid_t> stopped;
  const bool free = directoryShare().claim->BeginLaunch(this, &host, &sidecar, &stopped);
  for (const pid_t orphan : stopped) {
    ZB_LOG(0, "Stopped the Priam sidecar left running by a host that died (process %d)", orphan);
  }
  if (interrupted()) return interruptionError(PRIAM_LOCATION);
  if (!free) {
    ZB_LOG(-1, "Priam is already running for %s (process %d)", m_priamConfDir.c_str(), host);
    return noteFailure(FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kFunctionFailed,
                                               "Priam is already running for %s (process %d)",
                                               m_priamConfDir.c_str(), host),
                       FailureReason::kDirectoryHeld, host);
  }
  return CYrError::Success();
}

void PriamUtil::recordSidecar(bool starting) {
  if (!directoryShare().claim || !m_process) return;
  ProcessId& sidecar = sidecarSupervision().sidecar;
  if (sidecar.pid != m_process->GetChildPid()) {
    sidecar.pid = m_process->GetChildPid();
    sidecar.startTime = 0;
    ZbProcessInfo::StartTime(sidecar.pid, &sidecar.startTime);
  }
  const CYrError error = directoryShare().claim->RecordSidecar(
      this, m_process->GetChildPid(), m_priamPort, sidecarSupervision().outputPath, starting,
      guardianPid());
  if (error.IsError()) {
    ZB_LOG(-1, "Failed to write the Priam sidecar record: %s", error.AsString().c_str());
  }
}

void PriamUtil::releaseSidecar(bool stoppedByHost) {
  if (!directoryShare().claim) return;
  int status = 0;
  bool known = false;
  SidecarEnd end;
  if (m_process && m_process->HasExited(&status, &known)) {
    end = SeenEnd(m_priamConfDir, sidecarSupervision().sidecar, status, known);
    if (stoppedByHost) end.by = EndedBy::kItsHost;
    end.duringStart = sidecarSupervision().launching;
  }
  const CYrError error = directoryShare().claim->ClearSidecar(this, end);
  if (error.IsError()) {
    ZB_LOG(-1, "Failed to write the Priam sidecar record: %s", error.AsString().c_str());
  }
}

pid_t PriamUtil::directoryHolder(pid_t* sidecar) const {
  pid_t host = 0;
  pid_t running = 0;
  if (!m_priamConfDir.empty() && !(m_supervision && directoryShare().claim)) {
    DirectoryClaim::Holder(m_priamConfDir, &host, &running);
    if (host == getpid()) host = running = 0;
  }
  if (sidecar) *sidecar = running;
  return host;
}

pid_t PriamUtil::stoppedOrphanPid() const {
  return m_supervision ? directoryShare().stoppedOrphan : 0;
}

}  // namespace ZbCassandra
