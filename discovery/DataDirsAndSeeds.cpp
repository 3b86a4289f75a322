// STUB: to be replaced.
#include "Boundary.h"
#include "PriamUtil.h"

namespace ZbCassandra {

CYrError PriamUtil::getCassandraDataDir(std::vector<std::string>& /*directories*/) {
  return FXErrorUtil::ErrorWin32(PRIAM_LOCATION, 120, "not implemented");
}

CYrError PriamUtil::getCassandraSeeds(std::vector<std::string>* /*seeds*/) {
  return FXErrorUtil::ErrorWin32(PRIAM_LOCATION, 120, "not implemented");
}

}  // namespace ZbCassandra
