// The options that say where the sidecar and the node live, and the
// controller made from them.
#pragma once

#include <CLI/CLI.hpp>
#include <memory>
#include <string>

#include "PriamUtil.h"

namespace priamctl {

struct NodeOptions {
  std::string priamDir;
  std::string priamConfDir;
  std::string cassandraConfDir;
  std::string java;  // empty: discover it
};

void AddNodeOptions(CLI::App& command, NodeOptions& options);

// A controller for the node. Null when its initialization failed, with the
// first cause and what to do in `*error` and the library's whole error in
// `*chain`. When another process holds the Priam configuration directory,
// the controller is returned all the same (it discovered the node, wrote
// nothing there and cannot launch) and `*error` names the holder.
std::unique_ptr<ZbCassandra::PriamUtil> MakeController(const NodeOptions& options, int port,
                                                       bool ignoreConnectionFailure,
                                                       std::string* error, std::string* chain);

}  // namespace priamctl
