#include <signal.h>

#include "Boundary.h"
#include "ErrorCodes.h"
#include "PriamUtil.h"
#include "ZbProcess.h"

namespace ZbCassandra {

CYrError PriamUtil::stopPriam() try {
  ZB_TRACE_ENTRY();
  if (m_process) {
    // A child that has exited by itself is collected, not signalled. The
    // signals go through the child's own handle: a pid that the host reaped
    // and the system handed out again is never signalled.
    m_process->Reap(false);
    if (m_process->GetChildPid() > 0 && m_process->Signal(0) == 0) {
      const int code = m_process->Signal(SIGKILL);
      if (code != 0) {
        return FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kInternalError,
                                       " Unable to stop the process errno [%d] ", code);
      }
      // Reaped at once, so that no zombie is left behind and the pid, which
      // the system may hand out again, is never signalled a second time.
      m_process->Reap(true);
    }
  }
  m_priamStarted = false;
  releaseSidecar();
  return CYrError::Success();
}
PRIAM_CATCH_ALL

}  // namespace ZbCassandra
