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
  json["errors"] = facts.errors;
  return json;
}

std::string PrettyReply(const std::string& reply) {
  const nlohmann::json parsed = nlohmann::json::parse(reply, nullptr, false);
  if (parsed.is_discarded() || !(parsed.is_object() || parsed.is_array())) return reply;
  return parsed.dump(2);
}

}  // namespace priamctl
