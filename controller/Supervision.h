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
  // cancel(), the time limits, and why the last call failed.
  std::unique_ptr<HostControl> control;
  // The host gave port 0: each launch may pick its own.
  bool portPicked = false;
  // Why construction failed, kept for initFailure() and failureOf().
  CYrError initError;
  PriamUtil::Failure initFailure;
  DirectoryShare directory;
  // Declared after the directory: the guardian is released before the
  // claim is let go.
  SidecarSupervision sidecar;
};

}  // namespace ZbCassandra
