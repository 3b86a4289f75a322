// STUB: to be replaced.
#include "Boundary.h"
#include "PriamUtil.h"

namespace ZbCassandra {

CYrError PriamUtil::writePriamProperty(std::string /*cqlHost*/) {
  return FXErrorUtil::ErrorWin32(PRIAM_LOCATION, 120, "not implemented");
}

CYrError PriamUtil::writePriamProperties(std::map<std::string, std::string> /*properties*/) {
  return FXErrorUtil::ErrorWin32(PRIAM_LOCATION, 120, "not implemented");
}

}  // namespace ZbCassandra
