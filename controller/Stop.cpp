#include <signal.h>

#include <cerrno>

#include "Boundary.h"
#include "ErrorCodes.h"
#include "PriamUtil.h"
#include "ZbProcess.h"

namespace ZbCassandra {

CYrError PriamUtil::stopPriam() try {
  ZB_TRACE_ENTRY();
  if (m_process) {
    // A child that has exited by itself is collected, not signalled.
    m_process->Reap(false);
    const pid_t pid = m_process->GetChildPid();
    if (pid > 0 && kill(pid, 0) == 0) {
      if (kill(pid, SIGKILL) != 0) {
        const int code = errno;
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
