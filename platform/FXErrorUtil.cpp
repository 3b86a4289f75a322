#include "FXErrorUtil.h"

#include <cstdarg>
#include <string>

#include "FXString.h"

namespace FXErrorUtil {

CYrError ErrorWin32(const FXCodeLocation& location, uint32_t code, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string message = FXString::FormatV(format, args);
  va_end(args);
  return CYrError::Make(CYrError::Family::kWin32, code, location, std::move(message));
}

CYrError ErrorErrNo(const FXCodeLocation& location, int32_t code, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string message = FXString::FormatV(format, args);
  va_end(args);
  return CYrError::Make(CYrError::Family::kErrNo, code, location, std::move(message));
}

bool IsWin32(const CYrError& error, uint32_t code) {
  return error.IsError() && error.GetFamily() == CYrError::Family::kWin32 &&
         error.Code() == static_cast<int64_t>(code);
}

bool IsErrNo(const CYrError& error, int32_t code) {
  return error.IsError() && error.GetFamily() == CYrError::Family::kErrNo && error.Code() == code;
}

}  // namespace FXErrorUtil
