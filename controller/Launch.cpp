#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include <cstdio>
#include <cstring>

#include "CYrPath.h"
#include "FXString.h"
#include "PriamUtil.h"
#include "YrCancel.h"
#include "YrNet.h"
#include "YrSleep.h"
#include "ZBLibCurl.h"
#include "ZBPlatformInfo.h"
#include "ZbProcess.h"
#include "common/Boundary.h"
#include "common/ErrorCodes.h"
#include "common/HostControl.h"
#include "controller/Supervision.h"
#include "ownership/SidecarScan.h"
#include "priamconf/PropertiesFile.h"
#include "supervision/SidecarOutput.h"

namespace ZbCassandra {

namespace {

constexpr uint32_t kConnectionCheckDelayMs = 30000;
constexpr const char* kWrongPort = "12345";

// The launch hook that makes the sidecar listen elsewhere than the
// controller thinks, so that the port validation can be seen at work.
bool SimulateWrongPort() {
  ZBPlatformInfo store;
  uint64_t verify = 0;
  return store.getNumber("Cassandra", "nCassandraVerifyPriamPort", &verify) && verify != 0;
}

// Words separated by single blanks, no quoting: the sidecar is started
// without a shell, so no character here is special, and the last word is
// the port, which the port validation reads back from the process table.
std::string LaunchCommand(const std::string& java, const std::string& javaOptions,
                          const std::string& confDir, const std::string& jar,
                          const std::string& port) {
  return java + " " + javaOptions + " " + "-Dzbpriam.config.file=" + confDir + " " + "-cp" + " " +
         jar + " " + "jerseyserve.server" + " " + port;
}

// Marks the launch under way for its whole length, whichever way it ends:
// an exit of the sidecar meanwhile is an exit during its start.
class LaunchUnderWay {
 public:
  explicit LaunchUnderWay(bool& launching) : m_launching(launching) { m_launching = true; }
  ~LaunchUnderWay() { m_launching = false; }
  LaunchUnderWay(const LaunchUnderWay&) = delete;
  LaunchUnderWay& operator=(const LaunchUnderWay&) = delete;

 private:
  bool& m_launching;
};

// Whether another process listens on (or holds) the local TCP port: the
// sidecar's bind would fail there. A socket in TIME_WAIT does not count.
bool PortTaken(int port) {
  const int probe = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (probe < 0) return false;
  const int on = 1;
  setsockopt(probe, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  struct sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool taken =
      bind(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
      errno == EADDRINUSE;
  close(probe);
  return taken;
}

// The output of a sidecar that ended without being asked is what an
// operator needs most: it is kept aside, where the failed starts that may
// follow cannot rotate it away.
void KeepCrashOutput(const std::string& output) {
  if (output.empty()) return;
  rename(output.c_str(), (output + kCrashOutputSuffix).c_str());
}

}  // namespace

CYrError PriamUtil::startPriam() try {
  ZB_TRACE_ENTRY();
  const HostControl::Call call(hostControl());
  CYrError status = CYrError::Success();
  if (copiedByFork()) return forkedChildError();
  const YrWatchScope watching(sidecarSupervision().guardianship.Watch());
  sidecarSupervision().guardianship.Tend();
  // However the launch ends before a sidecar runs, the secrets the host
  // wrote for it leave the disk: nothing else would take them out.
  const auto refused = [this](CYrError error) {
    if (sidecarSupervision().secretsPending) forgetSecrets(&error);
    return error;
  };
  if (interrupted()) return refused(interruptionError(PRIAM_LOCATION));
  const YrCancelScope cancellable = cancelScope();
  if (m_initFailed) {
    // A directory that another host holds is named as such, while it does.
    pid_t holderSidecar = 0;
    const pid_t holder = directoryShare().refusal.IsError() ? directoryHolder(&holderSidecar) : 0;
    if (holder > 0) {
      const CYrError held = heldElsewhereError(holder, holderSidecar, true, false);
      ZB_LOG(-1, "%s", held.Message().c_str());
      return held;
    }
    return refused(noteFailure(
        FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kFunctionFailed, "Failed to initialize Priam"),
        FailureReason::kInitializationFailed));
  }
  ZB_LOG(0, "Port: %d", m_priamPort);
  if (m_priamPort == 0) {
    int port = 0;
    GetFreePort("localhost", port);
    if (port == 0) {
      ZB_LOG(-1, "Failed to locate a free port to start Priam");
      return refused(noteFailure(
          FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kFunctionFailed, "FAILED TO LOCATE FREE PORT"),
          FailureReason::kNoFreePort));
    }
    m_priamPort = port;
    m_supervision->portPicked = true;
  }

  // From here the launch takes out its own secrets, and a stop within it
  // leaves them to it.
  const LaunchUnderWay launching(sidecarSupervision().launching);
  const bool crashed = sidecarSupervision().crashed || (m_priamStarted && priamExited());
  // A sidecar of an earlier launch that still runs would be orphaned when
  // its process object is replaced; stop it first.
  if (m_priamStarted) {
    stopPriam();
    sidecarSupervision().exitReported = false;
  }
  if (crashed) KeepCrashOutput(SidecarOutputPath(m_priamConfDir));
  sidecarSupervision().crashed = false;
  // The port picked for an earlier launch may have been taken since.
  if (m_supervision->portPicked && PortTaken(m_priamPort)) {
    int port = 0;
    GetFreePort("localhost", port);
    if (port != 0) {
      ZB_LOG(0, "Port %d, picked for an earlier launch, is taken now; using port %d", m_priamPort,
             port);
      m_priamPort = port;
    }
  }
  const CYrError claimed = claimSidecar();
  if (claimed.IsError()) {
    // Nothing runs on what this process wrote, so nothing may keep it; a
    // directory that another host holds got nothing from us.
    CYrError status = claimed;
    if (directoryShare().claim) forgetSecrets(&status);
    return status;
  }
  m_process.reset(new ZbProcess());
  m_process->SetSilence(true);
  // Its own process group, so that a stop reaches whatever it starts and a
  // terminal's signals for the host do not reach it; and the name of its
  // host, by which any process of it is recognised as whose it is.
  m_process->SetOwnProcessGroup(true);
  m_process->SetExtraEnvironment({std::string(kHostVariable) + "=" + HostStamp(ThisProcess())});
  sidecarSupervision().exitReported = false;  // a new sidecar, a new end to report
  m_process->SetOutputDescriptor(prepareSidecarOutput());

  const CYrString jar = CYrPath::Append(m_priamDir.c_str(), "priam.jar");
  const bool wrongPort = SimulateWrongPort();
  if (wrongPort) ZB_LOG(0, "Simulating wrong port usage by Priam. Using port 12345");
  const std::string command =
      LaunchCommand(m_javaPath.str(), m_javaOptions, m_priamConfDir, jar.str(),
                    wrongPort ? kWrongPort : std::to_string(m_priamPort));
  ZB_LOG(2, " CmdString [%s]", command.c_str());

  std::string startError;
  const bool spawned = m_process->StartProcess(m_javaPath.str(), command, &startError, 0);
  // Recorded at once, for the operator's view; a host that dies before
  // that leaves a sidecar that is found all the same, by what it runs.
  if (spawned) {
    if (sidecarSupervision().afterSpawn) sidecarSupervision().afterSpawn(m_process->GetChildPid());
    startGuardian();
    recordSidecar(true);
  } else {
    endGuardian();
  }
  if (!spawned) {
    ZB_LOG(-1, "FAILED TO START THE PROCESS [%s]", startError.c_str());
    status =
        noteFailure(FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kFunctionFailed,
                                            "FAILED TO START THE PROCESS [%s]", startError.c_str()),
                    FailureReason::kSidecarExitedDuringStart, 0, 0, startError);
  } else if (!m_curl || !m_curl->ZBLibCurlInit(nullptr, false, false, nullptr)) {
    status =
        noteFailure(FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kNotConnected, " Curl Init failed "),
                    FailureReason::kOther);
  } else {
    m_priamStarted = true;
    m_priamUrl = FXString::Format("http://localhost:%d/REST", m_priamPort);
    status = validatePriamPort();
    if (sidecarGone()) {
      // What ps and netstat found of a JVM that refused to start says
      // nothing; its exit says why.
      status = sidecarExitError();
      m_priamStarted = false;
    } else if (status.IsError()) {
      ZB_LOG(-1, "Failed to validate Priam port");
    } else {
      recordSidecar(true);  // now with the port it listens on
      status = checkConnection();
      if (sidecarGone()) {
        // Nothing is left to keep, whatever the host asked.
        status = sidecarExitError();
        m_priamStarted = false;
      } else if (m_ignoreConnectionFailure) {
        status = CYrError::Success();
      } else if (status.IsError()) {
        ZB_LOG(0, "Error: %s", status.AsString().c_str());
        m_priamStarted = false;
      }
    }
  }

  // The sidecar has read its credentials by now (or will never run): they
  // leave the disk whatever the outcome, and the result says when they
  // could not.
  forgetSecrets(&status);
  if (!m_priamStarted) {
    stopPriam();
  } else {
    recordSidecar(false);  // the launch is over
  }
  return endLaunch(status);
}
PRIAM_CATCH_ALL

void PriamUtil::forgetSecrets(CYrError* status) {
  const CYrError removed = deleteEntries();
  if (!removed.IsError()) return;
  ZB_LOG(-1, "Failed to remove the secret entries from the Priam properties file: %s",
         removed.AsString().c_str());
  const std::string file = PriamPropertiesPath(m_priamConfDir);
  if (status->IsError()) {
    status->Push(PRIAM_LOCATION, "the secrets could not be removed from %s: %s", file.c_str(),
                 removed.Message().c_str());
  } else {
    // A launch that left the credentials on disk did not succeed for the
    // host, whose sidecar runs all the same.
    *status = noteFailure(
        FXErrorUtil::ErrorWin32(PRIAM_LOCATION, kInvalidData,
                                "Priam started, but its secrets could not be removed from %s: %s",
                                file.c_str(), removed.Message().c_str()),
        FailureReason::kSecretsNotRemoved);
  }
}

CYrError PriamUtil::GetFreePort(std::string host, int& port) try {
  ZB_TRACE_ENTRY();
  ZB_LOG(0, "Enter");
  char name[1024];
  snprintf(name, sizeof(name), "%s", host.c_str());
  ZB_LOG(0, "Host name [%s]", name);

  YRNET_SOCKADDR address;
  memset(&address, 0, sizeof(address));
  if (YRNET_str2ip(name, &address) != 0) {
    YRNET_HOSTENT found = {0, nullptr};
    if (YRNET_name2ip(name, &found, 0) != 0 || found.count <= 0) {
      YRNET_freehostent(&found);
      ZB_LOG(0, "Name lookup failed");
      return FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kFunctionFailed, "Name lookup failed");
    }
    address = found.addresses[0];
    YRNET_freehostent(&found);
  }

  int socket = -1;
  int rc = YRNET_socket(address.sa.sa_family, &socket);
  if (rc != 0) {
    ZB_LOG(0, "YRNET_socket failed. rc [%d]", rc);
    return FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kFunctionFailed, "YRNET_socket failed. rc [%d]",
                                   rc);
  }
  rc = YRNET_bind(socket, &address);
  if (rc != 0) {
    YRNET_close(socket);
    ZB_LOG(0, "Bind failed rc [%d]", rc);
    return FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kFunctionFailed, "Bind failed rc [%d]", rc);
  }
  // The socket never listens: the port is free again once it is closed,
  // and the sidecar binds it later.
  YRNET_SOCKADDR bound;
  memset(&bound, 0, sizeof(bound));
  rc = YRNET_getsockname(socket, &bound);
  YRNET_close(socket);
  if (rc != 0) {
    // Without the bound address there is no port to offer; 0 tells the
    // caller that none was found.
    port = 0;
    return FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kFunctionFailed,
                                   "YRNET_getsockname failed. rc [%d]", rc);
  }
  port = ntohs(bound.in4.sin_port);  // same offset in IPv4 and IPv6 records
  ZB_LOG(0, "PORT [%d]", port);
  return CYrError::Success();
}
PRIAM_CATCH_ALL

CYrError PriamUtil::checkConnection() try {
  const HostControl::Call call(hostControl());
  if (interrupted()) return interruptionError(PRIAM_LOCATION);
  const YrCancelScope cancellable = cancelScope();
  const YrWatchScope watching(sidecarSupervision().guardianship.Watch());
  // The same wait as ever while the sidecar runs; a sidecar that exits ends
  // it, and the request then reports the exit instead of being sent.
  YRSLEEP_UNTIL_EXIT(kConnectionCheckDelayMs, sidecarExitDescriptor());
  const HostControl::ConnectionCheck shortAttempts(hostControl());
  CYrString response;
  return sendRequestWithErrorHandling(requestType::Get, "info", response, "");
}
PRIAM_CATCH_ALL

}  // namespace ZbCassandra
