// STUB: to be replaced.
#include "Boundary.h"
#include "PriamUtil.h"

namespace ZbCassandra {

CYrError PriamUtil::initializeCassandraConfFilePath() {
  return CYrError::Success();
}

void PriamUtil::getConfFileNameCassFlavor(std::string& /*file*/, std::string& /*flavor*/) {}

}  // namespace ZbCassandra
