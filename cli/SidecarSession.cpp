#include "SidecarSession.h"

#include "FailureText.h"
#include "LaunchSleeps.h"
#include "ProgressIndicator.h"
#include "RetryReporter.h"

namespace priamctl {

namespace {

constexpr std::chrono::milliseconds kLivenessTick(500);
constexpr int kHttpUnauthorized = 401;
constexpr const char kExitedDuringItsStart[] = "The Priam sidecar exited during its start";
// How the library names whoever ended a sidecar, and where the sidecar's own
// words begin.
constexpr const char kStoppedBy[] = ", stopped by ";
constexpr const char kLastOutputLine[] = ", its last output line: ";
// The request every launch makes before it counts as answered.
const SidecarRequest kLaunchRequest = {ZbCassandra::requestType::Get, "info", ""};

}  // namespace

SidecarSession::SidecarSession(ZbCassandra::PriamUtil& controller, SignalWatcher& signals,
                               bool shortWaits, FILE* progress)
    : m_controller(controller), m_signals(signals), m_shortWaits(shortWaits), m_progress(progress) {
  m_signals.CancelOnSignal(&m_controller);
}

SidecarSession::~SidecarSession() { m_signals.CancelOnSignal(nullptr); }

CYrError SidecarSession::Launch() {
  RetryReporter retries(RequestName(kLaunchRequest));
  LaunchSleeps sleeps(m_controller, m_shortWaits,
                      [&retries](uint32_t milliseconds) { retries.BeforeWait(milliseconds); });
  ProgressIndicator progress(m_progress, "Waiting for the sidecar to answer");
  const CYrError result = m_controller.startPriam();
  progress.Stop();
  return result;
}

std::string SidecarSession::DescribeLaunchFailure(const CYrError& error) const {
  // The library says how the sidecar ended, in the JVM's own words.
  std::string how;
  if (FirstCause(error).rfind(kExitedDuringItsStart, 0) == 0 && m_controller.priamExited(&how)) {
    return "the sidecar exited (" + how + ") before it answered";
  }
  const int status = HttpStatusOf(error.AsString());
  if (status == kHttpUnauthorized) {
    return "the sidecar started but refused the credentials (HTTP 401); check the user names and "
           "passwords given for the node";
  }
  if (status > 0) {
    return "the sidecar started but answered " + RequestName(kLaunchRequest) + " with " +
           DescribeHttpStatus(status);
  }
  if (status == 0) {
    return "the sidecar started but never answered on port " +
           std::to_string(m_controller.priamPort());
  }
  const std::string cause = FirstCause(error);
  if (cause.rfind("Priam is already running for ", 0) == 0) {
    // Another host owns this configuration directory's sidecar.
    return "the sidecar did not start: " + cause +
           "; stop that process first, or give another --priam-conf-dir";
  }
  return "the sidecar did not start: " + cause;
}

CYrError SidecarSession::Send(const SidecarRequest& request, std::string* reply) {
  RetryReporter retries(RequestName(request));
  LaunchSleeps sleeps(m_controller, m_shortWaits,
                      [&retries](uint32_t milliseconds) { retries.BeforeWait(milliseconds); });
  CYrString response;
  const CYrError result =
      m_controller.get(request.type, request.operation.c_str(), response, request.body.c_str());
  *reply = response.str();
  return result;
}

CYrError SidecarSession::Stop() { return m_controller.stopPriam(); }

int SidecarSession::WaitWhileRunning() {
  while (!m_controller.priamExited()) {
    if (m_signals.WaitFor(kLivenessTick)) return m_signals.Received();
  }
  return m_signals.Received();
}

std::string RequestName(const SidecarRequest& request) {
  return std::string(request.type == ZbCassandra::requestType::Post ? "POST " : "GET ") +
         request.operation;
}

std::string DescribeRequestFailure(const CYrError& error) {
  const int status = HttpStatusOf(error.AsString());
  return status >= 0 ? DescribeAnswer(status) : FirstCause(error);
}

std::string DescribeUnaskedEnd(const std::string& how) {
  const std::string exit = how.substr(0, how.find(kLastOutputLine));
  if (exit.find(kStoppedBy) != std::string::npos) return "the sidecar ended: " + how;
  return "the sidecar exited by itself" + (how.empty() ? "" : " (" + how + ")");
}

}  // namespace priamctl
