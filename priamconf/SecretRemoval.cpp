// STUB: to be replaced.
#include "Boundary.h"
#include "PriamUtil.h"

namespace ZbCassandra {

CYrError PriamUtil::deleteEntries() {
  return FXErrorUtil::ErrorWin32(PRIAM_LOCATION, 120, "not implemented");
}

}  // namespace ZbCassandra
