// What a controller keeps of its Priam configuration directory: its share
// of the process's claim on it (DirectoryClaim.h), and what taking it found.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "CYrError.h"
#include "ownership/DirectoryClaim.h"

namespace ZbCassandra {

struct DirectoryShare {
  // The process that made the controller; a child forked from it (without
  // exec) holds a copy of the object that owns nothing.
  pid_t ownerPid = getpid();
  std::shared_ptr<DirectoryClaim> claim;
  std::string claimedDir;  // the directory `claim` was made for
  // Why construction left the directory alone (another process held it).
  CYrError refusal;
  // The sidecar a dead host had left running, stopped when it was taken.
  pid_t stoppedOrphan = 0;
};

}  // namespace ZbCassandra
