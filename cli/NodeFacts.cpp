#include "NodeFacts.h"

#include <fstream>

#include "FailureText.h"
#include "ReadableFile.h"

namespace priamctl {

namespace {

// Whether the YAML file gives the CQL port the way the controller reads it:
// the first line that names native_transport_port before any "#" has a
// value after its ":". Otherwise the controller takes 9042.
bool YamlSetsCqlPort(const std::string& yamlFile) {
  std::ifstream in(yamlFile);
  const std::string key = "native_transport_port";
  for (std::string line; std::getline(in, line);) {
    const size_t at = line.find(key);
    if (at == std::string::npos || at > line.find('#')) continue;
    const size_t colon = line.find(':');
    if (colon == std::string::npos) return false;
    const std::string value = line.substr(colon + 1, line.find(':', colon + 1) - colon - 1);
    return value.find_first_not_of(" \t\n\"") != std::string::npos;
  }
  return false;
}

// The code the controller gives a YAML file it cannot use for a query.
constexpr long kInvalidParameter = 87;

}  // namespace

NodeFacts GatherNodeFacts(ZbCassandra::PriamUtil& controller, const std::string& nodeDir) {
  NodeFacts facts;
  facts.javaPath = controller.javaPath().str();
  controller.getConfFileNameCassFlavor(facts.yamlFile, facts.flavor);
  facts.cqlPort = controller.cqlPort();
  facts.cqlHost = controller.cqlHost();
  facts.jmxPort = controller.jmxPort();

  const std::string yamlProblem = WhyNotReadable(facts.yamlFile);
  facts.cqlPortIsDefault = !yamlProblem.empty() || !YamlSetsCqlPort(facts.yamlFile);
  // The controller takes 7199 when it cannot read the environment script.
  facts.jmxPortIsDefault = !WhyNotReadable(nodeDir + "/cassandra-env.sh").empty();
  if (!yamlProblem.empty()) {
    facts.errors.push_back("the YAML file " + facts.yamlFile + " " + yamlProblem +
                           "; the data directories and seeds are unknown");
    return facts;
  }
  // With the file readable, the query's own failure means a file that does
  // not set them: for an operator an answer, not a failure.
  CYrError error = controller.getCassandraDataDir(facts.dataDirectories);
  if (error.IsError() && ErrorCodeOf(error.AsString()) == kInvalidParameter) {
    facts.dataDirectoriesSet = false;
  } else if (error.IsError()) {
    facts.errors.push_back("data directories: " + FirstCause(error));
  }
  error = controller.getCassandraSeeds(&facts.seeds);
  if (error.IsError()) facts.errors.push_back("seeds: " + FirstCause(error));
  return facts;
}

}  // namespace priamctl
