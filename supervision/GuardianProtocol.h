// What a guardian is told when a host starts it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/ProcessIdentity.h"

namespace ZbCassandra {

// The descriptor a guardian finds its lifeline on.
constexpr int kGuardianLifelineDescriptor = 3;
// What a host writes on the lifeline when the guardian has nothing left to
// guard: it leaves once the sidecar's output is written, and touches nothing.
constexpr char kGuardianRelease[] = "release\n";

struct GuardianOptions {
  ProcessId host;
  ProcessId sidecar;    // pid 0: none yet (it guards the directory's secrets)
  std::string confDir;  // empty when the sidecar has none
  std::string output;   // the file the sidecar's output goes to; empty: dropped
  uint64_t outputLimit = 16u << 20;
  // The read end of a pipe whose write end only the host holds
  // (close-on-exec): it ends at the host's exit, SIGKILL and exec alike. -1:
  // none (the host's pidfd alone tells).
  int lifeline = -1;
  // Go on with the output file as it is instead of starting a fresh one:
  // this guardian replaces one that ended.
  bool appendOutput = false;
};

// "--host=PID:START [--sidecar=PID:START] --conf-dir=DIR --output=FILE
// --output-limit=BYTES [--lifeline=FD] [--append]", each word whole (a path
// may hold blanks). False, with the reason, for anything else.
bool ParseGuardianOptions(int argc, const char* const* argv, GuardianOptions* options,
                          std::string* error);
// The words that ParseGuardianOptions reads back, after the program's path.
std::vector<std::string> GuardianArguments(const GuardianOptions& options);

}  // namespace ZbCassandra
