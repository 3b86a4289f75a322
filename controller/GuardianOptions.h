// What a guardian is told when a host starts it beside a sidecar.
#pragma once

#include <cstdint>
#include <string>

#include "SidecarScan.h"

namespace ZbCassandra {

struct GuardianOptions {
  ProcessId host;
  ProcessId sidecar;    // leads its own process group
  std::string confDir;  // empty when the sidecar has none
  std::string output;   // the file the sidecar's output goes to; empty: dropped
  uint64_t outputLimit = 16u << 20;
};

// "--host=PID:START --sidecar=PID:START --conf-dir=DIR --output=FILE
// --output-limit=BYTES", each word whole (a path may hold blanks). False,
// with the reason, for anything else.
bool ParseGuardianOptions(int argc, const char* const* argv, GuardianOptions* options,
                          std::string* error);
// The words that ParseGuardianOptions reads back, after the program's path.
std::vector<std::string> GuardianArguments(const GuardianOptions& options);

}  // namespace ZbCassandra
