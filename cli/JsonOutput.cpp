#include "JsonOutput.h"

namespace priamctl {

nlohmann::json NodeFactsJson(const NodeFacts& facts) {
  nlohmann::json json;
  json["java"] = facts.javaPath;
  json["yaml_file"] = facts.yamlFile;
  json["flavor"] = facts.flavor;
  json["cql_port"] = facts.cqlPort;
  json["cql_host"] = facts.cqlHost.empty() ? nlohmann::json() : nlohmann::json(facts.cqlHost);
  json["jmx_port"] = facts.jmxPort;
  json["data_directories"] = facts.dataDirectories;
  json["seeds"] = facts.seeds;
  json["defaults"] = nlohmann::json::array();
  if (facts.cqlPortIsDefault) json["defaults"].push_back("cql_port");
  if (facts.jmxPortIsDefault) json["defaults"].push_back("jmx_port");
  if (!facts.dataDirectoriesSet) json["defaults"].push_back("data_directories");
  json["invalid"] = nlohmann::json::array();
  for (const NodeValueProblem& problem : facts.invalid) json["invalid"].push_back(problem.key);
  json["errors"] = facts.errors;
  return json;
}

std::string PrettyReply(const std::string& reply) {
  // Ordered: the keys stay in the order the sidecar sent them.
  const nlohmann::ordered_json parsed = nlohmann::ordered_json::parse(reply, nullptr, false);
  if (parsed.is_discarded() || !(parsed.is_object() || parsed.is_array())) return reply;
  return parsed.dump(2);
}

}  // namespace priamctl
