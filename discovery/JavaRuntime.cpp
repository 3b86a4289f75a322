// STUB: to be replaced.
#include "Boundary.h"
#include "PriamUtil.h"

namespace ZbCassandra {

CYrError PriamUtil::initializeJavaPath() {
  return CYrError::Success();
}

}  // namespace ZbCassandra
