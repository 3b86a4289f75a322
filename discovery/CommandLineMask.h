// Hiding secrets that a node's command line may carry, before it is logged.
#pragma once

#include <string>

namespace ZbCassandra {

// `text` with the value of every "name=value" word whose name speaks of a
// secret (it holds "pass", "pwd", "secret" or "token", in any case) replaced
// by "********", e.g. "-Djavax.net.ssl.keyStorePassword=x" becomes
// "-Djavax.net.ssl.keyStorePassword=********". Words are separated by
// blanks, tabs and line feeds, which are kept as they are.
std::string MaskCommandLineSecrets(const std::string& text);

}  // namespace ZbCassandra
