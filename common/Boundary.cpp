#include "common/Boundary.h"

#include <exception>
#include <new>

#include "common/ErrorCodes.h"

namespace ZbCassandra {

CYrError CurrentExceptionAsError(const FXCodeLocation& location) {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return FXErrorUtil::ErrorWin32(location, kOutOfMemory, "Not enough memory");
  } catch (const std::exception& e) {
    return FXErrorUtil::ErrorWin32(location, kInternalError, "Unexpected failure: %s", e.what());
  } catch (...) {
    return FXErrorUtil::ErrorWin32(location, kInternalError, "Unexpected failure");
  }
}

}  // namespace ZbCassandra
