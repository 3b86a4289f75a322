// What a controller keeps beside the fields of its class (whose size hosts
// built against the header rely on): the host's controls, its share of the
// configuration directory, and what it keeps on its sidecar.
#pragma once

#include <memory>

#include "PriamUtil.h"
#include "common/HostControl.h"
#include "ownership/DirectoryShare.h"
#include "supervision/SidecarSupervision.h"

namespace ZbCassandra {

struct PriamUtil::Supervision {
  // cancel() and the request time limit.
  std::unique_ptr<HostControl> control;
  DirectoryShare directory;
  // Declared after the directory: the guardian is released before the
  // claim is let go.
  SidecarSupervision sidecar;
};

}  // namespace ZbCassandra
