// A controller writes into its configuration directory only as (a sharer of)
// the process that owns it, and launches only when no other controller's
// sidecar runs from it.
#include <unistd.h>

#include "Boundary.h"
#include "ErrorCodes.h"
#include "PriamUtil.h"
#include "Supervision.h"

namespace ZbCassandra {

CYrError PriamUtil::ownDirectory(bool launch) {
  if (m_priamConfDir.empty()) return CYrError::Success();
  Supervision& supervision = *m_supervision;
  if (supervision.directory && supervision.claimedDir == m_priamConfDir) {
    return CYrError::Success();
  }
  ClaimResult claimed = DirectoryClaim::Acquire(m_priamConfDir);
  if (claimed.stoppedOrphan != 0 && claimed.orphanEnded) {
    supervision.stoppedOrphan = claimed.stoppedOrphan;
    ZB_LOG(0, "Stopped the Priam sidecar left running by a host that died (process %d)",
           claimed.stoppedOrphan);
  } else if (claimed.stoppedOrphan != 0 && claimed.outcome == ClaimResult::kClaimed) {
    ZB_LOG(-1, "The Priam sidecar left running by a host that died (process %d) has not ended",
           claimed.stoppedOrphan);
  }
  switch (claimed.outcome) {
    case ClaimResult::kClaimed:
      // The lock keeps other hosts out even when the record could not be
      // written; they just cannot name us.
      if (!claimed.failure.empty()) ZB_LOG(-1, "%s", claimed.failure.c_str());
      supervision.directory = std::move(claimed.claim);
      supervision.claimedDir = m_priamConfDir;
      return CYrError::Success();
    case ClaimResult::kHeldElsewhere: {
      const CYrError held = heldElsewhereError(claimed.holder, claimed.holderSidecar, launch);
      if (launch) ZB_LOG(-1, "%s", held.Message().c_str());
      return held;
    }
    case ClaimResult::kFailed:
      break;
  }
  // Without the lock nothing would keep another host from writing here.
  if (launch) ZB_LOG(-1, "%s", claimed.failure.c_str());
  return FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kFunctionFailed, "%s", claimed.failure.c_str());
}

CYrError PriamUtil::heldElsewhereError(pid_t holder, pid_t holderSidecar, bool launch) const {
  if (launch && holder > 0 && holderSidecar > 0) {
    return FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kFunctionFailed,
                                   "Priam is already running for %s (process %d)",
                                   m_priamConfDir.c_str(), holder);
  }
  const std::string process = holder > 0 ? "process " + std::to_string(holder) : "process unknown";
  return FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kFunctionFailed,
                                 "The Priam configuration directory %s belongs to another host "
                                 "(%s); nothing was written there",
                                 m_priamConfDir.c_str(), process.c_str());
}

CYrError PriamUtil::claimSidecar() {
  if (m_priamConfDir.empty()) return CYrError::Success();
  const CYrError owned = ownDirectory(true);
  if (owned.IsError()) return owned;
  if (!m_supervision->directory->BeginLaunch(this)) {
    ZB_LOG(-1, "Priam is already running for %s (process %d)", m_priamConfDir.c_str(), getpid());
    return FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kFunctionFailed,
                                   "Priam is already running for %s (process %d)",
                                   m_priamConfDir.c_str(), getpid());
  }
  return CYrError::Success();
}

void PriamUtil::recordSidecar(pid_t sidecar) {
  if (!m_supervision->directory) return;
  const CYrError error = m_supervision->directory->RecordSidecar(this, sidecar, m_priamPort,
                                                                 m_supervision->outputPath);
  if (error.IsError()) {
    ZB_LOG(-1, "Failed to write the Priam sidecar record: %s", error.AsString().c_str());
  }
}

void PriamUtil::releaseSidecar() {
  if (!m_supervision->directory) return;
  const CYrError error = m_supervision->directory->ClearSidecar(this);
  if (error.IsError()) {
    ZB_LOG(-1, "Failed to write the Priam sidecar record: %s", error.AsString().c_str());
  }
}

pid_t PriamUtil::directoryHolder(pid_t* sidecar) const {
  pid_t host = 0;
  pid_t running = 0;
  if (!m_priamConfDir.empty() && !(m_supervision && m_supervision->directory)) {
    DirectoryClaim::Holder(m_priamConfDir, &host, &running);
    if (host == getpid()) host = running = 0;
  }
  if (sidecar) *sidecar = running;
  return host;
}

pid_t PriamUtil::stoppedOrphanPid() const {
  return m_supervision ? m_supervision->stoppedOrphan : 0;
}

}  // namespace ZbCassandra
