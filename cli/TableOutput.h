// Plain-text tables for a terminal.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "NodeFacts.h"

namespace priamctl {

using TableRow = std::pair<std::string, std::string>;

// Two columns, the first padded to its widest cell; a value with line feeds
// continues under the value column.
std::string FormatTable(const std::vector<TableRow>& rows);

// The node facts, one row each; lists joined with ", ", "-" for nothing,
// the library's defaults marked "(default)", unusable values with what is
// wrong ("(not a port number)").
std::string NodeFactsTable(const NodeFacts& facts);

}  // namespace priamctl
