// Status value returned by every platform and controller operation.
//
// A CYrError is either success or an error carrying a family (Win32 or
// errno), a numeric code, a formatted message and a stack of code locations.
// Copies share their detail; Push() copies it first when it is shared, so a
// push never changes another holder's view of the error.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Where an error was built or passed through: the source file name, the
// function's signature and the line.
struct FXCodeLocation {
  const char* file;
  const char* function;
  int32_t line;
};

class CYrError {
 public:
  enum class Family { kNone, kWin32, kErrNo };

  // One pushed location and the message that came with it (may be empty).
  struct Frame {
    std::string file;
    std::string function;
    int32_t line;
    std::string message;
  };

  CYrError() = default;  // success
  static CYrError Success() { return CYrError(); }

  bool IsError() const { return (m_status & kErrorBit) != 0; }
  uint32_t Status() const { return m_status; }
  Family GetFamily() const;
  int64_t Code() const;               // 0 for success
  std::string Message() const;        // the message the error was built with
  std::vector<Frame> Frames() const;  // pushed locations, newest first

  // Family, code, message and locations (newest first) on one line.
  std::string AsString() const;

  CYrError& Push(const FXCodeLocation& location);
  CYrError& Push(const FXCodeLocation& location, const char* format, ...)
      __attribute__((format(printf, 3, 4)));

  // An error of the family with the code, the message and one location.
  // FXErrorUtil is the usual way in; this is the one it uses.
  static CYrError Make(Family family, int64_t code, const FXCodeLocation& location,
                       std::string message);

 private:
  struct Detail;

  static constexpr uint32_t kErrorBit = 0x80000000u;

  void PushFrame(const FXCodeLocation& location, std::string message);

  uint32_t m_status = 0;
  std::shared_ptr<Detail> m_detail;
};
