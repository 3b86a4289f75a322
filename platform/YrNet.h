// BSD sockets behind the YRNET_ functions. Each returns 0 on success and an
// errno value (or -1) otherwise, unless stated.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>

// A socket address, large enough for IPv6: family, port (network byte
// order), then the address.
union YRNET_SOCKADDR {
  sockaddr sa;
  sockaddr_in in4;
  sockaddr_in6 in6;
};
static_assert(sizeof(YRNET_SOCKADDR) == 28, "the socket address record is 28 bytes");

// The addresses a name resolves to.
struct YRNET_HOSTENT {
  int32_t count;
  YRNET_SOCKADDR* addresses;
};

// Parse a numeric IPv4 or IPv6 address; the record carries port 0.
int YRNET_str2ip(const char* text, YRNET_SOCKADDR* address);
// Resolve a host name. IPv4 addresses come first, then IPv6, each with
// port 0. A name without any address is a failure.
int YRNET_name2ip(const char* name, YRNET_HOSTENT* result, int flags);
// Release what YRNET_name2ip allocated; the record is then empty.
void YRNET_freehostent(YRNET_HOSTENT* result);
// A TCP socket of the family, closed on exec.
int YRNET_socket(int family, int* descriptor);
int YRNET_bind(int descriptor, const YRNET_SOCKADDR* address);
int YRNET_getsockname(int descriptor, YRNET_SOCKADDR* address);
int YRNET_close(int descriptor);
