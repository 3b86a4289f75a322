#include "NodeValueChecks.h"

#include <cstdio>

#include "discovery/NodeFiles.h"
#include "discovery/NodeValueJudgement.h"

namespace priamctl {

namespace {

// `text` quoted, its control characters written out: a value read from a
// file with CRLF line ends keeps its "\r", which a terminal would act on.
std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7f) {
      quoted += c;
    } else {
      char escaped[5];
      snprintf(escaped, sizeof(escaped), "\\x%02x", byte);
      quoted += escaped;
    }
  }
  return quoted + "'";
}

void JudgePort(const std::string& key, const std::string& property, const std::string& name,
               const std::string& file, const std::string& port,
               std::vector<NodeValueProblem>* problems) {
  if (port.empty() || ZbCassandra::IsPortNumber(port)) return;
  problems->push_back({key, property, "not a port number",
                       name + " in " + file + " is " + Quoted(port) +
                           ", not a port number from 1 to 65535; correct it in the node's file"});
}

}  // namespace

NodeValues NodeValuesInFiles(const std::string& nodeDir) {
  NodeValues values;
  values.yamlFile = ZbCassandra::NodeYamlFileFromTemplate(nodeDir);
  values.cqlPort = ZbCassandra::CqlPortInYaml(values.yamlFile).value;
  values.envScript = ZbCassandra::NodeEnvScript(nodeDir);
  values.jmxPort = ZbCassandra::JmxPortInEnvScript(values.envScript).value;
  return values;
}

NodeValues NodeValuesOf(const ZbCassandra::PriamUtil& controller, const std::string& nodeDir) {
  return {controller.cassandraYamlFile(), controller.cqlPort(), ZbCassandra::NodeEnvScript(nodeDir),
          controller.jmxPort()};
}

std::vector<NodeValueProblem> JudgeNodeValues(const NodeValues& values) {
  std::vector<NodeValueProblem> problems;
  if (ZbCassandra::IsReadableButNotText(values.yamlFile)) {
    problems.push_back({kYamlFileKey, "", "not text",
                        "the node's YAML file " + values.yamlFile +
                            " is not text; point --cassandra-conf-dir (or sCassandraYamlFile in "
                            "section [Cassandra] of the configuration store) at the node's YAML "
                            "file"});
  } else {
    JudgePort("cql_port", "priam.cqlport", "native_transport_port", values.yamlFile, values.cqlPort,
              &problems);
  }
  JudgePort("jmx_port", "priam.jmx.port", "JMX_PORT", values.envScript, values.jmxPort, &problems);
  return problems;
}

bool CheckNodeValues(const NodeValues& values, const std::map<std::string, std::string>& given,
                     std::string* error) {
  for (const NodeValueProblem& problem : JudgeNodeValues(values)) {
    if (problem.property.empty()) {
      *error = problem.text;
      return false;
    }
    if (given.count(problem.property) == 0) {
      *error = problem.text + ", or give " + problem.property + " with --property";
      return false;
    }
  }
  return true;
}

}  // namespace priamctl
