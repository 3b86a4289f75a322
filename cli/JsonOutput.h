// JSON for scripts: the node facts, and the sidecar's replies.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "NodeFacts.h"

namespace priamctl {

// Every fact under its own key; an unknown CQL host is null; failed queries
// are listed under "errors".
nlohmann::json NodeFactsJson(const NodeFacts& facts);

// A reply indented when it is JSON, as it came otherwise.
std::string PrettyReply(const std::string& reply);

}  // namespace priamctl
