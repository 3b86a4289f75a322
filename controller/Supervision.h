// What a controller keeps beside the fields of its class: its share of the
// configuration directory's claim, what taking it found, and what it knows
// of its sidecar's end.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <string>

#include "CYrError.h"
#include "DirectoryClaim.h"
#include "Guardianship.h"
#include "HostControl.h"
#include "PriamUtil.h"
#include "ZbProcess.h"

namespace ZbCassandra {

struct PriamUtil::Supervision {
  // The process that made the controller; a child forked from it (without
  // exec) holds a copy of the object that owns nothing.
  pid_t ownerPid = getpid();
  std::shared_ptr<DirectoryClaim> directory;
  // cancel() and the request time limit; kept here, not in the class, whose
  // size hosts built against the header rely on.
  std::unique_ptr<HostControl> control;
  std::string claimedDir;  // the directory `directory` was claimed for
  // Why construction left the directory alone (another process held it).
  CYrError refusal;
  pid_t stoppedOrphan = 0;
  // The launched sidecar's output file; empty when it goes to /dev/null.
  std::string outputPath;
  // The guardian that runs while secrets are on disk or the sidecar runs.
  // Declared after the claim: it is released before the claim is let go.
  Guardianship guardianship;
  // Secrets this controller wrote are in the properties file, and no launch
  // took them out yet.
  bool secretsPending = false;
  // A launch is under way: an exit now is an exit during its start.
  bool launching = false;
  // The library has seen the sidecar exit and logged it; requests report
  // that exit until the next launch or a stop by the host.
  bool exitReported = false;
  // Called between the sidecar's start and its guardian's and record, for
  // tests that kill the host in that moment.
  std::function<void(pid_t)> afterSpawn;
};

}  // namespace ZbCassandra
