// A port on 127.0.0.1 where every connection is refused, for as long as the
// object lives: a socket is bound to it but never listens, so no other
// program can take the port meanwhile.
#pragma once

#include <string>

namespace testsupport {

class RefusingPort {
 public:
  RefusingPort();
  ~RefusingPort();
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;

  int port() const { return m_port; }
  // "http://127.0.0.1:PORT" followed by `path`.
  std::string Url(const std::string& path = std::string()) const;

 private:
  int m_socket = -1;
  int m_port = 0;
};

}  // namespace testsupport
