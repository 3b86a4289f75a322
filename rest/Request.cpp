// STUB: to be replaced.
#include "Boundary.h"
#include "PriamUtil.h"

namespace ZbCassandra {

CYrError PriamUtil::get(requestType /*type*/, const CYrString& /*path*/, CYrString& /*response*/, const CYrString& /*request*/) {
  return FXErrorUtil::ErrorWin32(PRIAM_LOCATION, 120, "not implemented");
}

CYrError PriamUtil::sendRequest(requestType /*type*/, const CYrString& /*path*/, CYrString& /*response*/, const CYrString& /*request*/) {
  return FXErrorUtil::ErrorWin32(PRIAM_LOCATION, 120, "not implemented");
}

CYrError PriamUtil::setCommonCurlHeaders() {
  return FXErrorUtil::ErrorWin32(PRIAM_LOCATION, 120, "not implemented");
}

CYrError PriamUtil::post(const std::string& /*request*/, std::string& /*response*/) {
  return FXErrorUtil::ErrorWin32(PRIAM_LOCATION, 120, "not implemented");
}

CYrError PriamUtil::sendReq() {
  return FXErrorUtil::ErrorWin32(PRIAM_LOCATION, 120, "not implemented");
}

}  // namespace ZbCassandra
