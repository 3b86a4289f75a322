// The values the node's files give the sidecar, judged as the library
// judges them, and each problem put in words for the user.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "PriamUtil.h"

namespace priamctl {

struct NodeValues {
  std::string yamlFile;
  std::string cqlPort;  // empty: the files give none
  std::string envScript;
  std::string jmxPort;  // empty: the files give none
};

// The key of a problem with the YAML file itself.
constexpr const char kYamlFileKey[] = "yaml_file";

struct NodeValueProblem {
  std::string key;       // the fact it concerns: "yaml_file", "cql_port" or "jmx_port"
  std::string property;  // the sidecar property it would become; empty for the YAML file
  std::string mark;      // a few words for a table: "not text", "not a port number"
  std::string text;      // a sentence: what is wrong, where, and what to do
};

// What a controller for the node in `nodeDir` will find, read from the
// node's files before one exists.
NodeValues NodeValuesInFiles(const std::string& nodeDir);

// What `controller`, made for the node in `nodeDir`, found.
NodeValues NodeValuesOf(const ZbCassandra::PriamUtil& controller, const std::string& nodeDir);

// A YAML file that is not text (its port is then not judged), a port that
// is not a number from 1 to 65535; none when all is well.
std::vector<NodeValueProblem> JudgeNodeValues(const NodeValues& values);

// False, with the first problem and what to do in `*error`, when `values`
// would give the sidecar something it cannot use. A port that `given` (the
// properties the user gave) overrides does not reach the sidecar.
bool CheckNodeValues(const NodeValues& values, const std::map<std::string, std::string>& given,
                     std::string* error);

}  // namespace priamctl
