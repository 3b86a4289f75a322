// The sidecar's port as ps or netstat print it.
#pragma once

#include <string>

namespace ZbCassandra {

// The output without blanks, tabs, line feeds and double quotes at either
// end.
std::string TrimToolOutput(std::string output);

// The first number of trimmed output, read as atoi reads it (leading white
// space and a sign allowed, digits up to the first other character).
// Anything that is not a TCP port (no digits, 0, out of range) gives 0: the
// sidecar cannot be listening there, so that source has told us nothing.
int PortFromToolOutput(const std::string& trimmed);

}  // namespace ZbCassandra
