// How long one attempt of a host's request may take: the host knows its
// calls, and a long one may legitimately need hours.
#include "PriamUtil.h"
#include "common/Boundary.h"
#include "common/ErrorCodes.h"
#include "common/HostControl.h"

namespace ZbCassandra {

CYrError PriamUtil::setRequestTimeLimit(uint32_t seconds) try {
  // No limit at all would let a sidecar that never answers hold the host.
  if (seconds == 0) {
    return FXErrorUtil::ErrorWin32(PRIAM_LOCATION, kInvalidParameter,
                                   "Invalid request time limit: 0 s");
  }
  HostControl* control = hostControl();
  if (!control) {
    return FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, kFunctionFailed, "Failed to initialize Priam");
  }
  control->SetRequestLimitMs(static_cast<long>(seconds) * 1000);
  return CYrError::Success();
}
PRIAM_CATCH_ALL

uint32_t PriamUtil::requestTimeLimit() const {
  const HostControl* control = hostControl();
  const long milliseconds =
      control ? control->RequestLimitMs() : HostControl::kDefaultRequestLimitMs;
  return static_cast<uint32_t>(milliseconds / 1000);
}

}  // namespace ZbCassandra
