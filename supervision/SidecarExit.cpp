// The sidecar is our child: once it has exited, the controller says so in
// its own words instead of retrying a process that is gone.
#include "PriamUtil.h"
#include "ZbProcess.h"
#include "common/Boundary.h"
#include "common/ErrorCodes.h"
#include "supervision/SidecarEnd.h"
#include "supervision/SidecarOutput.h"
#include "supervision/SidecarSupervision.h"

namespace ZbCassandra {

bool PriamUtil::priamExited(std::string* how) const {
  int status = 0;
  bool known = false;
  if (!m_process || !m_process->HasExited(&status, &known)) return false;
  if (how) {
    // Its last words are in the file once its guardian has written them.
    const_cast<PriamUtil*>(this)->endGuardian();
    *how = DescribeEnd(SeenEnd(m_priamConfDir, sidecarSupervision().sidecar, status, known));
    const std::string& output = sidecarSupervision().outputPath;
    const std::string line = output.empty() ? std::string() : LastOutputLine(output);
    if (!line.empty()) *how += ", its last output line: \"" + line + "\"";
  }
  return true;
}

// A launch whose sidecar exited is over and no longer counts as started, but
// what it saw stays the answer to requests.
bool PriamUtil::sidecarGone() const {
  return (m_priamStarted || sidecarSupervision().exitReported) && priamExited();
}

CYrError PriamUtil::sidecarExitError() {
  std::string how;
  priamExited(&how);
  const CYrError error =
      sidecarSupervision().launching
          ? FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kFunctionFailed,
                                    "The Priam sidecar exited during its start (%s)", how.c_str())
          : FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kNotConnected,
                                    "The Priam sidecar is not running (%s)", how.c_str());
  if (!sidecarSupervision().exitReported) {
    sidecarSupervision().exitReported = true;
    ZB_LOG(-1, "%s", error.Message().c_str());
    releaseSidecar(false);
  }
  return noteFailure(error,
                     sidecarSupervision().launching ? FailureReason::kSidecarExitedDuringStart
                                                    : FailureReason::kSidecarNotRunning,
                     0, 0, how);
}

int PriamUtil::sidecarExitDescriptor() const {
  return m_priamStarted && m_process ? m_process->ExitDescriptor() : -1;
}

}  // namespace ZbCassandra
