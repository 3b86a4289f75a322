// What a controller keeps beside the fields of its class: its share of the
// configuration directory's claim, what taking it found, and what it knows
// of its sidecar's end.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

#include "CYrError.h"
#include "DirectoryClaim.h"
#include "PriamUtil.h"

namespace ZbCassandra {

struct PriamUtil::Supervision {
  std::shared_ptr<DirectoryClaim> directory;
  std::string claimedDir;  // the directory `directory` was claimed for
  // Why construction left the directory alone (another process held it).
  CYrError refusal;
  pid_t stoppedOrphan = 0;
  // The launched sidecar's output file; empty when it goes to /dev/null.
  std::string outputPath;
  // A launch is under way: an exit now is an exit during its start.
  bool launching = false;
  // The sidecar's exit has been logged.
  bool exitReported = false;
};

}  // namespace ZbCassandra
