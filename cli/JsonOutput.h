// JSON for scripts: the node facts, and the sidecar's replies.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "NodeFacts.h"

namespace priamctl {

// Every fact under its own key, every key always there; an unknown CQL host
// is null; "defaults" lists the keys whose value the node's files did not
// give (the library's default; for data_directories, the node's own);
// "invalid" lists the keys whose value the sidecar cannot use (a port that
// is no port, a YAML file that is not text); failed queries are listed
// under "errors".
nlohmann::json NodeFactsJson(const NodeFacts& facts);

// A reply indented when it is a JSON object or array, its keys in the order
// they came; as it came otherwise.
std::string PrettyReply(const std::string& reply);

}  // namespace priamctl
