// Questions about a TCP port on 127.0.0.1, where the sidecar listens.
#pragma once

namespace priamctl {

// True when something accepts connections on 127.0.0.1:port now.
bool PortAcceptsConnections(int port);
// True when the port can be bound on 127.0.0.1 now (nobody else holds it).
bool PortIsFree(int port);

}  // namespace priamctl
