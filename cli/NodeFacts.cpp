#include "NodeFacts.h"

#include "FailureText.h"
#include "ReadableFile.h"
#include "discovery/NodeFiles.h"
#include "discovery/NodeValueJudgement.h"

namespace priamctl {

NodeFacts GatherNodeFacts(ZbCassandra::PriamUtil& controller, const std::string& nodeDir) {
  NodeFacts facts;
  facts.javaPath = controller.javaPath().str();
  controller.getConfFileNameCassFlavor(facts.yamlFile, facts.flavor);
  facts.cqlPort = controller.cqlPort();
  facts.cqlHost = controller.cqlHost();
  facts.jmxPort = controller.jmxPort();

  const std::string yamlProblem = WhyNotReadable(facts.yamlFile);
  facts.cqlPortIsDefault =
      ZbCassandra::TakesDefaultCqlPort(ZbCassandra::CqlPortInYaml(facts.yamlFile).value);
  facts.jmxPortIsDefault = ZbCassandra::TakesDefaultJmxPort(
      ZbCassandra::JmxPortInEnvScript(ZbCassandra::NodeEnvScript(nodeDir)));
  facts.invalid = JudgeNodeValues(NodeValuesOf(controller, nodeDir));
  if (!yamlProblem.empty()) {
    facts.errors.push_back("the YAML file " + facts.yamlFile + " " + yamlProblem +
                           "; the data directories and seeds are unknown");
    return facts;
  }
  // What the queries would find in a binary file is noise, not an answer.
  for (const NodeValueProblem& problem : facts.invalid) {
    if (problem.key == kYamlFileKey) return facts;
  }
  // With the file readable, the query's own failure means a file that does
  // not set them: for an operator an answer, not a failure.
  CYrError error = controller.getCassandraDataDir(facts.dataDirectories);
  if (error.IsError() && ErrorCodeOf(error.AsString()) == ZbCassandra::kInvalidParameter) {
    facts.dataDirectoriesSet = false;
  } else if (error.IsError()) {
    facts.errors.push_back("data directories: " + FirstCause(error));
  }
  error = controller.getCassandraSeeds(&facts.seeds);
  if (error.IsError()) facts.errors.push_back("seeds: " + FirstCause(error));
  return facts;
}

}  // namespace priamctl
