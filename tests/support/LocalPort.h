// Ports on 127.0.0.1, for tests that start servers.
#pragma once

namespace testsupport {

// A port that was free a moment ago on 127.0.0.1, or 0.
int FreeLocalPort();
// True when something accepts connections on 127.0.0.1:port now.
bool PortAcceptsConnections(int port);

}  // namespace testsupport
