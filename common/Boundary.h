// No exception leaves the library: every exported operation ends in
// PRIAM_CATCH_ALL, which turns whatever escaped into an error.
//
//   CYrError PriamUtil::get(...) try {
//     ...
//   }
//   PRIAM_CATCH_ALL
#pragma once

#include "common/ControllerLog.h"

namespace ZbCassandra {

// The error for the exception being handled: Win32 14 (out of memory) for
// std::bad_alloc, Win32 1359 (internal error) with its text otherwise.
CYrError CurrentExceptionAsError(const FXCodeLocation& location);

}  // namespace ZbCassandra

#define PRIAM_CATCH_ALL                                            \
  catch (...) {                                                    \
    return ::ZbCassandra::CurrentExceptionAsError(PRIAM_LOCATION); \
  }
