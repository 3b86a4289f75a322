#include "controller/ToolOutputPort.h"

#include <cerrno>
#include <cstdlib>

#include "FXString.h"

namespace ZbCassandra {

namespace {

constexpr const char* kOutputTrimSet = " \t\n\"";

}  // namespace

std::string TrimToolOutput(std::string output) {
  FXString::Trim(output, kOutputTrimSet);
  return output;
}

int PortFromToolOutput(const std::string& trimmed) {
  errno = 0;
  const long number = strtol(trimmed.c_str(), nullptr, 10);
  if (errno != 0 || number < 1 || number > 65535) return 0;
  return static_cast<int>(number);
}

}  // namespace ZbCassandra
