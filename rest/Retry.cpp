// STUB: to be replaced.
#include "Boundary.h"
#include "PriamUtil.h"

namespace ZbCassandra {

CYrError PriamUtil::sendRequestWithErrorHandling(requestType /*type*/, const CYrString& /*path*/, CYrString& /*response*/, const CYrString& /*request*/) {
  return FXErrorUtil::ErrorWin32(PRIAM_LOCATION, 120, "not implemented");
}

}  // namespace ZbCassandra
