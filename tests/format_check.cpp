// Compiled (syntax only) by the format attribute checks: FORMAT_CASE 0 must
// compile; every other case passes an argument of the wrong type to a
// printf-style function and must be rejected under -Werror.
#include "CYrError.h"
#include "FXErrorUtil.h"
#include "FXString.h"
#include "LogMacros.h"
#include "ZBDebugFunction.h"

#ifndef FORMAT_CASE
#error "FORMAT_CASE must be defined"
#endif

void Check() {
  const FXCodeLocation here{"PriamUtil", __PRETTY_FUNCTION__, __LINE__};
#if FORMAT_CASE == 0
  CYrError error = FXErrorUtil::ErrorWin32(here, 87, "%s %d", "text", 1);
  error = FXErrorUtil::ErrorErrNo(here, 1627, "%d", 2);
  error.Push(here, "%s", "pushed");
  ZB_LOG(0, "%s on port %d", "started", 8080);
  ZB_LOG_FAILURE("%s", "failed");
  (void)FXString::Format("%lu", 1ul);
  ZBDebugFunction tracer(g_ptrLogWriter, 2, "f", 1, 1, 0, 0xFFFFFFFFu, "%d", 1);
#elif FORMAT_CASE == 1
  FXErrorUtil::ErrorWin32(here, 87, "%d", "not a number");
#elif FORMAT_CASE == 2
  FXErrorUtil::ErrorErrNo(here, 1627, "%s", 42);
#elif FORMAT_CASE == 3
  ZB_LOG(0, "%s", 42);
#elif FORMAT_CASE == 4
  ZB_LOG_FAILURE("%d", "not a number");
#elif FORMAT_CASE == 5
  CYrError().Push(here, "%s", 42);
#elif FORMAT_CASE == 6
  (void)FXString::Format("%lu", "not a number");
#elif FORMAT_CASE == 7
  ZBDebugFunction tracer(g_ptrLogWriter, 2, "f", 1, 1, 0, 0xFFFFFFFFu, "%s", 42);
#endif
}
