#include "YrNet.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

socklen_t LengthOf(const YRNET_SOCKADDR* address) {
  return address->sa.sa_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
}

}  // namespace

int YRNET_str2ip(const char* text, YRNET_SOCKADDR* address) {
  if (!text || !address) return EINVAL;
  YRNET_SOCKADDR parsed;
  memset(&parsed, 0, sizeof(parsed));
  if (inet_pton(AF_INET, text, &parsed.in4.sin_addr) == 1) {
    parsed.in4.sin_family = AF_INET;
  } else if (inet_pton(AF_INET6, text, &parsed.in6.sin6_addr) == 1) {
    parsed.in6.sin6_family = AF_INET6;
  } else {
    return EINVAL;
  }
  *address = parsed;
  return 0;
}

int YRNET_name2ip(const char* name, YRNET_HOSTENT* result, int /*flags*/) {
  if (!name || !result) return EINVAL;
  result->count = 0;
  result->addresses = nullptr;
  struct addrinfo hints;
  memset(&hints, 0, sizeof(hints));
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  struct addrinfo* found = nullptr;
  const int rc = getaddrinfo(name, nullptr, &hints, &found);
  if (rc != 0) return rc == EAI_SYSTEM ? errno : -1;

  // IPv4 first: the local services this platform starts listen there.
  std::vector<YRNET_SOCKADDR> addresses;
  for (int family : {AF_INET, AF_INET6}) {
    for (const struct addrinfo* it = found; it; it = it->ai_next) {
      if (it->ai_family != family || it->ai_addrlen > sizeof(YRNET_SOCKADDR)) continue;
      YRNET_SOCKADDR address;
      memset(&address, 0, sizeof(address));
      memcpy(&address, it->ai_addr, it->ai_addrlen);
      address.in4.sin_port = 0;  // same offset for IPv6
      addresses.push_back(address);
    }
  }
  freeaddrinfo(found);
  if (addresses.empty()) return -1;
  result->addresses = new YRNET_SOCKADDR[addresses.size()];
  std::copy(addresses.begin(), addresses.end(), result->addresses);
  result->count = static_cast<int32_t>(addresses.size());
  return 0;
}

void YRNET_freehostent(YRNET_HOSTENT* result) {
  if (!result) return;
  delete[] result->addresses;
  result->addresses = nullptr;
  result->count = 0;
}

int YRNET_socket(int family, int* descriptor) {
  if (!descriptor) return EINVAL;
  const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return errno;
  *descriptor = fd;
  return 0;
}

int YRNET_bind(int descriptor, const YRNET_SOCKADDR* address) {
  if (!address) return EINVAL;
  return ::bind(descriptor, &address->sa, LengthOf(address)) == 0 ? 0 : errno;
}

int YRNET_getsockname(int descriptor, YRNET_SOCKADDR* address) {
  if (!address) return EINVAL;
  socklen_t length = sizeof(*address);
  return ::getsockname(descriptor, &address->sa, &length) == 0 ? 0 : errno;
}

int YRNET_close(int descriptor) { return ::close(descriptor) == 0 ? 0 : errno; }
