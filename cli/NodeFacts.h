// What the controller found out about the node, gathered for printing.
#pragma once

#include <string>
#include <vector>

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
  // One text per failed query (data directories, seeds); empty when all
  // succeeded.
  std::vector<std::string> errors;
};

NodeFacts GatherNodeFacts(ZbCassandra::PriamUtil& controller);

}  // namespace priamctl
