// STUB: to be replaced.
#include "Boundary.h"
#include "PriamUtil.h"

namespace ZbCassandra {

CYrError PriamUtil::initializePriamConfFilePath() {
  return CYrError::Success();
}

CYrError PriamUtil::AddOrUpdateFieldInConfigFile(const std::string& /*file*/, const std::string& /*key*/, const std::string& /*value*/) {
  return FXErrorUtil::ErrorWin32(PRIAM_LOCATION, 120, "not implemented");
}

}  // namespace ZbCassandra
