// Builders and tests of CYrError values.
#pragma once

#include <cstdint>

#include "CYrError.h"

namespace FXErrorUtil {

// A new error of the Win32 family with the code, the formatted message and
// one location.
CYrError ErrorWin32(const FXCodeLocation& location, uint32_t code, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// The same for the errno family.
CYrError ErrorErrNo(const FXCodeLocation& location, int32_t code, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// True only for an error of the Win32 family with that code.
bool IsWin32(const CYrError& error, uint32_t code);

// True only for an error of the errno family with that code.
bool IsErrNo(const CYrError& error, int32_t code);

}  // namespace FXErrorUtil
