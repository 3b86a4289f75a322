// What a controller keeps beside the fields of its class: its share of the
// configuration directory's claim, and what taking it found.
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
};

}  // namespace ZbCassandra
