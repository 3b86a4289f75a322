#include "LocalPort.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace priamctl {

namespace {

sockaddr_in Loopback(int port) {
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  return address;
}

// Whether `use` succeeds on a fresh socket for 127.0.0.1:port.
template <typename Use>
bool WithSocket(int port, Use use) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const sockaddr_in address = Loopback(port);
  const bool ok = use(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
  close(fd);
  return ok;
}

}  // namespace

bool PortAcceptsConnections(int port) { return port > 0 && WithSocket(port, connect); }

bool PortIsFree(int port) {
  // As a server binds: a connection of an earlier run in TIME_WAIT does not
  // hold the port, a listener does.
  return WithSocket(port, [](int fd, const sockaddr* address, socklen_t length) {
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    return bind(fd, address, length);
  });
}

}  // namespace priamctl
