#include "FXString.h"
#include "PriamUtil.h"
#include "YrCancel.h"
#include "ZbProcess.h"
#include "common/Boundary.h"
#include "common/ErrorCodes.h"
#include "common/HostControl.h"
#include "controller/ToolOutputPort.h"

namespace ZbCassandra {

CYrError PriamUtil::validatePriamPort() try {
  const HostControl::Call call(hostControl());
  if (interrupted()) return interruptionError(PRIAM_LOCATION);
  const YrCancelScope cancellable = cancelScope();
  const pid_t pid = m_process ? m_process->GetChildPid() : 0;
  ZB_LOG(0, "Priam PID: %d", pid);
  if (pid <= 0) {
    return FXErrorUtil::ErrorWin32(PRIAM_LOCATION, kInternalError,
                                   "Priam port validation failed: %s", "no sidecar process");
  }

  // The sidecar's own command line ends with the port it was told to use.
  const std::string psCommand =
      "ps --no-headers -f -p " + std::to_string(pid) + " | awk '{print $NF}'";
  ZB_LOG(2, "ps cmd: %s", psCommand.c_str());
  std::string output;
  std::string error;
  if (ZbProcess::system(psCommand, &output, &error, 0, true) != 0) {
    ZB_LOG(2, "Failed to retrieve Priam port from ps: %s", error.c_str());
    if (interrupted()) return interruptionError(PRIAM_LOCATION);
  } else {
    ZB_LOG(2, "Cmd output: %s", output.c_str());
    if (!output.empty()) {
      const std::string text = TrimToolOutput(output);
      ZB_LOG(2, "Priam port from ps output: %s", text.c_str());
      const int port = PortFromToolOutput(text);
      if (port != 0) {
        adoptPriamPort(port);
        ZB_LOG(2, "Port validation/update successful");
        return CYrError::Success();
      }
    }
  }

  // Otherwise the sockets the child listens on.
  const std::string netstatCommand =
      "netstat -npl | grep -w \"" + std::to_string(pid) + "/*\" | cut -d: -f2";
  ZB_LOG(2, "Netstat Cmd: %s", netstatCommand.c_str());
  // A JVM that refused to start has no port; its exit says why, not this.
  if (ZbProcess::system(netstatCommand, &output, &error, 0, true) != 0) {
    if (interrupted()) return interruptionError(PRIAM_LOCATION);
    if (sidecarGone()) return sidecarExitError();
    const std::string text =
        FXString::Format("Execution of netstat command failed: %s", error.c_str());
    ZB_LOG(-1, "%s", text.c_str());
    return FXErrorUtil::ErrorWin32(PRIAM_LOCATION, kInternalError,
                                   "Priam port validation failed: %s", text.c_str());
  }
  ZB_LOG(2, "Cmd output: %s", output.c_str());
  int port = 0;
  if (!output.empty()) {
    const std::string text = TrimToolOutput(output);
    ZB_LOG(2, "Priam port from netstat output: %s", text.c_str());
    port = PortFromToolOutput(text);
  }
  if (port == 0) {
    if (sidecarGone()) return sidecarExitError();
    const std::string text = "Failed to retrieve Priam port from netstat.";
    ZB_LOG(-1, "%s", text.c_str());
    return FXErrorUtil::ErrorWin32(PRIAM_LOCATION, kInternalError,
                                   "Priam port validation failed: %s", text.c_str());
  }
  adoptPriamPort(port);
  return CYrError::Success();
}
PRIAM_CATCH_ALL

void PriamUtil::adoptPriamPort(int port) {
  if (port == m_priamPort) return;
  ZB_LOG(0, "Updating Priam port and url with port number %d", port);
  m_priamPort = port;
  m_priamUrl = FXString::Format("http://localhost:%d/REST", port);
}

}  // namespace ZbCassandra
