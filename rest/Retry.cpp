// The retry loop around one REST request: a sidecar that has just been
// launched, or whose own back end is down, gets a few more chances.
#include <cstdint>

#include "PriamUtil.h"
#include "RequestType.h"
#include "YrCancel.h"
#include "YrSleep.h"
#include "ZBPlatformInfo.h"
#include "common/Boundary.h"
#include "common/ErrorCodes.h"
#include "common/HostControl.h"
#include "supervision/SidecarSupervision.h"

namespace ZbCassandra {

namespace {

// Fixed by design: at most about five minutes of waiting for a sidecar that
// is starting, twenty seconds for one whose back end is unavailable.
constexpr unsigned kFirstAttemptLimit = 2;
constexpr unsigned kUnavailableAttemptLimit = 2;
constexpr uint32_t kUnavailableSleepMs = 10000;
constexpr unsigned kNotReadyAttemptLimit = 10;
constexpr uint32_t kNotReadySleepMs = 30000;
constexpr uint64_t kDefaultWaitTime = 10;

}  // namespace

CYrError PriamUtil::sendRequestWithErrorHandling(requestType type, const CYrString& path,
                                                 CYrString& response,
                                                 const CYrString& request) try {
  ZB_TRACE_ENTRY();
  const HostControl::Call call(hostControl());
  if (copiedByFork()) return forkedChildError();
  if (interrupted()) return interruptionError(PRIAM_LOCATION);
  const YrCancelScope cancellable = cancelScope();
  const YrWatchScope watching(sidecarSupervision().guardianship.Watch());
  sidecarSupervision().guardianship.Tend();
  CYrError error = CYrError::Success();

  // Read and reported at every call; the sleeps and limits do not depend on
  // it.
  ZBPlatformInfo platformInfo;
  uint64_t waitTime = kDefaultWaitTime;
  if (!platformInfo.getNumber("Cassandra", "nPriamWaitTime", &waitTime)) {
    ZB_LOG_FAILURE(" Failed to access the reg key for wait time ");
  }

  // Retrying cannot make an unknown request type valid.
  if (!IsKnownRequestType(type)) {
    return FXErrorUtil::ErrorWin32(PRIAM_LOCATION, kInvalidParameter, " Invalid request type [%d] ",
                                   static_cast<int>(type));
  }

  unsigned attemptLimit = kFirstAttemptLimit;
  unsigned attempts = 0;
  for (;;) {
    // The host has the last word, before and after each attempt and sleep.
    if (interrupted()) return interruptionError(PRIAM_LOCATION);
    // A sidecar that has exited will not answer: no attempt, no sleep.
    if (sidecarGone()) return sidecarExitError();
    if (attempts >= attemptLimit) break;
    error = sendRequest(type, path, response, request);
    if (!error.IsError()) break;
    if (interrupted()) return interruptionError(PRIAM_LOCATION);
    ZB_LOG(-1, "Error: %s", error.AsString().c_str());
    if (FXErrorUtil::IsWin32(error, kAccessDenied)) {
      // The credentials will not get better by waiting.
      return error.Push(PRIAM_LOCATION);
    }
    // A host that knows its operations exist wants a typo told at once.
    const HostControl* control = hostControl();
    if (control && !control->NotFoundRetried() &&
        failureOf(error).reason == FailureReason::kHttpNotFound) {
      return error.Push(PRIAM_LOCATION);
    }
    // The limit follows the latest failure and counts the attempts already
    // made, and the sleep follows the last failed attempt too.
    if (FXErrorUtil::IsWin32(error, kResourceUnavailable)) {
      attemptLimit = kUnavailableAttemptLimit;
      ZB_LOG(0, " Resource unavailable, sleeping ");
      YRSLEEP_UNTIL_EXIT(kUnavailableSleepMs, sidecarExitDescriptor());
    } else {
      attemptLimit = kNotReadyAttemptLimit;
      ZB_LOG(0, " Priam Server not accepting requests yet. Sleeping ");
      YRSLEEP_UNTIL_EXIT(kNotReadySleepMs, sidecarExitDescriptor());
    }
    ++attempts;
  }
  return error;
}
PRIAM_CATCH_ALL

void PriamUtil::setNotFoundRetried(bool retried) {
  if (HostControl* control = hostControl()) control->SetNotFoundRetried(retried);
}

}  // namespace ZbCassandra
