// Reading the node's ports and its CQL address out of the text that holds
// them: YAML key lines, netstat output and the node's environment script.
#pragma once

#include <string>

namespace ZbCassandra {

// True for a non-empty run of decimal digits and nothing else: the only
// port text that may go into a shell command line.
bool IsDecimalNumber(const std::string& text);

// The CQL port that a "native_transport_port" key line gives: its scalar
// value, trimmed. Empty when the line has no ":" or no value.
std::string CqlPortFromKeyLine(const std::string& keyLine);

// The local address column of the netstat lines listening on the CQL port
// must hold exactly one "address:port": `*host` receives the address. False
// for no listener, several listeners or an IPv6 address.
bool CqlHostFromNetstatOutput(const std::string& output, std::string* host);

// The port that a line of the environment script assigns, when the line is
// a "JMX_PORT=..." assignment that starts the line and is not commented
// out. The value is the text between the quotes of a single quoted value,
// else the whole right-hand side (up to any further "="), then trimmed like
// a YAML value.
bool JmxPortAssignment(const std::string& line, std::string* port);

}  // namespace ZbCassandra
