// What the controller found out about the node, gathered for printing, and
// which of it the node's files did not say.
#pragma once

#include <string>
#include <vector>

#include "NodeValueChecks.h"
#include "PriamUtil.h"

namespace priamctl {

struct NodeFacts {
  std::string javaPath;
  std::string yamlFile;
  std::string flavor;
  std::string cqlPort;
  std::string cqlHost;  // empty when nothing listens on the CQL port
  std::string jmxPort;
  std::vector<std::string> dataDirectories;
  std::vector<std::string> seeds;
  // The library's defaults, not read from the node's files.
  bool cqlPortIsDefault = false;
  bool jmxPortIsDefault = false;
  // False when the YAML file does not set them: the node uses its own
  // default, which only the node knows.
  bool dataDirectoriesSet = true;
  // The values the sidecar cannot use; empty when all are sound.
  std::vector<NodeValueProblem> invalid;
  // One text per failed query; empty when all succeeded.
  std::vector<std::string> errors;
};

// `nodeDir`: the node's configuration directory the controller was given.
NodeFacts GatherNodeFacts(ZbCassandra::PriamUtil& controller, const std::string& nodeDir);

}  // namespace priamctl
