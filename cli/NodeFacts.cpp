#include "NodeFacts.h"

namespace priamctl {

NodeFacts GatherNodeFacts(ZbCassandra::PriamUtil& controller) {
  NodeFacts facts;
  facts.javaPath = controller.javaPath().str();
  controller.getConfFileNameCassFlavor(facts.yamlFile, facts.flavor);
  facts.cqlPort = controller.cqlPort();
  facts.cqlHost = controller.cqlHost();
  facts.jmxPort = controller.jmxPort();
  CYrError error = controller.getCassandraDataDir(facts.dataDirectories);
  if (error.IsError()) facts.errors.push_back("data directories: " + error.Message());
  error = controller.getCassandraSeeds(&facts.seeds);
  if (error.IsError()) facts.errors.push_back("seeds: " + error.Message());
  return facts;
}

}  // namespace priamctl
