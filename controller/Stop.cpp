#include <signal.h>

#include "PriamUtil.h"
#include "YrCancel.h"
#include "ZbProcess.h"
#include "common/Boundary.h"
#include "common/ErrorCodes.h"
#include "controller/Supervision.h"

namespace ZbCassandra {

namespace {

// SIGKILL ends a process within moments; a few seconds cover a loaded host.
constexpr int kEndWaitMs = 5000;

}  // namespace

CYrError PriamUtil::stopPriam() try {
  ZB_TRACE_ENTRY();
  // A forked child's copy of the controller never signals its parent's
  // sidecar.
  if (copiedByFork()) return forkedChildError();
  // A stop waits for what it killed, cancelled or not: nothing of the
  // directory may outlive it.
  const YrCancelScope uncancellable(-1, 0);
  sidecarSupervision().guardianship.Tend();
  // Asked for by the host, it ends the report of an exit the library saw.
  if (!sidecarSupervision().launching) sidecarSupervision().exitReported = false;
  bool stopped = false;
  if (m_process && m_process->GetChildPid() > 0) {
    // The signals go through the child's own handle: a pid that the host
    // reaped and the system handed out again is never signalled. The
    // sidecar leads its own process group, which holds whatever it started
    // (a wrapper's JVM, a launcher's); the group goes first, while the
    // child is not yet reaped and its id cannot be anyone else's.
    if (m_process->Signal(0) == 0) {
      m_process->SignalGroup(SIGKILL);
      const int code = m_process->Signal(SIGKILL);
      if (code != 0 && code != ESRCH) {
        return FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kInternalError,
                                       " Unable to stop the process errno [%d] ", code);
      }
      stopped = true;
    } else {
      m_process->SignalGroup(SIGKILL);  // what an exited child left behind
      // It had ended by itself after its launch: its output is kept.
      if (m_priamStarted && !sidecarSupervision().launching) sidecarSupervision().crashed = true;
    }
    // Reaped at once, so that no zombie is left behind and the pid, which
    // the system may hand out again, is never signalled a second time.
    if (!m_process->ReapWithin(kEndWaitMs)) {
      ZB_LOG(-1, "The Priam sidecar (process %d) has not ended %d ms after SIGKILL",
             m_process->GetChildPid(), kEndWaitMs);
    }
  }
  // Secrets written for a launch that has not come are not left behind by a
  // stop; a launch under way takes out its own.
  if (!sidecarSupervision().launching && sidecarSupervision().secretsPending) {
    CYrError ignored = CYrError::Success();
    forgetSecrets(&ignored);
  }
  // Its guardian ends once the sidecar's last output is written; one stays
  // while secrets are still on disk.
  endGuardian();
  if (!sidecarSupervision().launching && !sidecarSupervision().secretsPending) {
    sidecarSupervision().guardianship.Release();
  }
  m_priamStarted = false;
  releaseSidecar(stopped);
  // Whatever of the directory's sidecars is still found (one that left its
  // process group, one nobody alive owns) goes too.
  std::string failure;
  if (directoryShare().claim && !directoryShare().claim->StopStrays(&failure)) {
    ZB_LOG(-1, "%s", failure.c_str());
  }
  return CYrError::Success();
}
PRIAM_CATCH_ALL

}  // namespace ZbCassandra
