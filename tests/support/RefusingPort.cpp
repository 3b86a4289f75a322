#include "RefusingPort.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

namespace testsupport {

RefusingPort::RefusingPort() {
  m_socket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address;
  std::memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (m_socket < 0 || bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (m_socket >= 0) close(m_socket);
    throw std::runtime_error("cannot reserve a port on 127.0.0.1");
  }
  m_port = ntohs(address.sin_port);
}

RefusingPort::~RefusingPort() { close(m_socket); }

std::string RefusingPort::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

}  // namespace testsupport
