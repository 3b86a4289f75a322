#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "YrNet.h"

namespace {

int OpenDescriptors() {
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  while (dir && readdir(dir)) ++count;
  if (dir) closedir(dir);
  return count;
}

YRNET_SOCKADDR Filled() {
  YRNET_SOCKADDR address;
  memset(&address, 0xAB, sizeof(address));
  return address;
}

// The free-port sequence a launch uses: parse or resolve the address, bind
// port 0, read back the port the system chose.
int BindAnyPort(const YRNET_SOCKADDR& address, int* port) {
  int fd = -1;
  int rc = YRNET_socket(address.sa.sa_family, &fd);
  if (rc != 0) return rc;
  rc = YRNET_bind(fd, &address);
  if (rc == 0) {
    YRNET_SOCKADDR bound = Filled();
    rc = YRNET_getsockname(fd, &bound);
    *port = ntohs(bound.in4.sin_port);
  }
  YRNET_close(fd);
  return rc;
}

TEST(YrNet, Str2ipParsesNumericAddressesWithPortZero) {
  YRNET_SOCKADDR address = Filled();
  ASSERT_EQ(YRNET_str2ip("127.0.0.1", &address), 0);
  EXPECT_EQ(address.sa.sa_family, AF_INET);
  EXPECT_EQ(address.in4.sin_port, 0);
  EXPECT_EQ(ntohl(address.in4.sin_addr.s_addr), 0x7F000001u);

  address = Filled();
  ASSERT_EQ(YRNET_str2ip("::1", &address), 0);
  EXPECT_EQ(address.sa.sa_family, AF_INET6);
  EXPECT_EQ(address.in6.sin6_port, 0);
  EXPECT_TRUE(IN6_IS_ADDR_LOOPBACK(&address.in6.sin6_addr));
  EXPECT_EQ(address.in6.sin6_scope_id, 0u);
}

TEST(YrNet, Str2ipRefusesWhatIsNotANumericAddress) {
  for (const char* text : {"localhost", "", "10.0.0.300", "1.2.3.4.5", " 127.0.0.1",
                           "127.0.0.1:8080", "::1::2", "garbage"}) {
    YRNET_SOCKADDR address = Filled();
    EXPECT_NE(YRNET_str2ip(text, &address), 0) << text;
    const YRNET_SOCKADDR untouched = Filled();
    EXPECT_EQ(memcmp(&address, &untouched, sizeof(address)), 0) << text;
  }
  YRNET_SOCKADDR address;
  EXPECT_NE(YRNET_str2ip(nullptr, &address), 0);
  EXPECT_NE(YRNET_str2ip("127.0.0.1", nullptr), 0);
}

TEST(YrNet, Name2ipResolvesLocalhostWithPortZero) {
  YRNET_HOSTENT found{-1, nullptr};
  ASSERT_EQ(YRNET_name2ip("localhost", &found, 0), 0);
  ASSERT_GE(found.count, 1);
  ASSERT_NE(found.addresses, nullptr);
  EXPECT_EQ(found.addresses[0].sa.sa_family, AF_INET);  // IPv4 comes first
  for (int i = 0; i < found.count; ++i) {
    EXPECT_EQ(found.addresses[i].in4.sin_port, 0) << i;
  }
  YRNET_freehostent(&found);
  EXPECT_EQ(found.count, 0);
  EXPECT_EQ(found.addresses, nullptr);
  YRNET_freehostent(&found);  // a second release is harmless
  YRNET_freehostent(nullptr);
}

TEST(YrNet, Name2ipOfAnUnknownNameFails) {
  YRNET_HOSTENT found{7, reinterpret_cast<YRNET_SOCKADDR*>(0x1)};
  EXPECT_NE(YRNET_name2ip("no-such-host.invalid", &found, 0), 0);
  EXPECT_EQ(found.count, 0);
  EXPECT_EQ(found.addresses, nullptr);
  EXPECT_NE(YRNET_name2ip(nullptr, &found, 0), 0);
  EXPECT_NE(YRNET_name2ip("localhost", nullptr, 0), 0);
}

TEST(YrNet, BindingPortZeroGivesAFreePortThatCanBeBoundAgain) {
  YRNET_HOSTENT found{0, nullptr};
  ASSERT_EQ(YRNET_name2ip("localhost", &found, 0), 0);
  const YRNET_SOCKADDR address = found.addresses[0];
  YRNET_freehostent(&found);

  int port = 0;
  ASSERT_EQ(BindAnyPort(address, &port), 0);
  EXPECT_GE(port, 1);
  EXPECT_LE(port, 65535);

  // The port is free again once the socket is closed: the sidecar can take it.
  YRNET_SOCKADDR again = address;
  again.in4.sin_port = htons(static_cast<uint16_t>(port));
  int fd = -1;
  ASSERT_EQ(YRNET_socket(AF_INET, &fd), 0);
  EXPECT_EQ(YRNET_bind(fd, &again), 0);
  EXPECT_EQ(YRNET_close(fd), 0);
}

TEST(YrNet, BindsIPv6WhenTheHostHasIt) {
  YRNET_SOCKADDR address;
  ASSERT_EQ(YRNET_str2ip("::1", &address), 0);
  int port = 0;
  const int rc = BindAnyPort(address, &port);
  if (rc == EAFNOSUPPORT || rc == EADDRNOTAVAIL) GTEST_SKIP() << "no IPv6 loopback here";
  ASSERT_EQ(rc, 0) << strerror(rc);
  EXPECT_GE(port, 1);
  EXPECT_LE(port, 65535);
}

TEST(YrNet, SocketsAreClosedOnExec) {
  int fd = -1;
  ASSERT_EQ(YRNET_socket(AF_INET, &fd), 0);
  EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
  EXPECT_EQ(YRNET_close(fd), 0);
}

TEST(YrNet, BadDescriptorsAndArgumentsFailWithoutHarm) {
  YRNET_SOCKADDR address;
  ASSERT_EQ(YRNET_str2ip("127.0.0.1", &address), 0);
  EXPECT_NE(YRNET_close(-1), 0);
  EXPECT_NE(YRNET_bind(-1, &address), 0);
  EXPECT_NE(YRNET_getsockname(-1, &address), 0);
  int fd = -1;
  EXPECT_NE(YRNET_socket(AF_INET, nullptr), 0);
  EXPECT_NE(YRNET_socket(-5, &fd), 0);
  ASSERT_EQ(YRNET_socket(AF_INET, &fd), 0);
  EXPECT_NE(YRNET_bind(fd, nullptr), 0);
  EXPECT_NE(YRNET_getsockname(fd, nullptr), 0);
  EXPECT_EQ(YRNET_close(fd), 0);
}

TEST(YrNet, LeaksNoDescriptor) {
  YRNET_HOSTENT found{0, nullptr};
  // The first lookups load the resolver's modules; count after them.
  YRNET_name2ip("no-such-host.invalid", &found, 0);
  ASSERT_EQ(YRNET_name2ip("localhost", &found, 0), 0);
  YRNET_freehostent(&found);
  const int before = OpenDescriptors();
  for (int i = 0; i < 30; ++i) {
    ASSERT_EQ(YRNET_name2ip("localhost", &found, 0), 0);
    int port = 0;
    EXPECT_EQ(BindAnyPort(found.addresses[0], &port), 0);
    YRNET_freehostent(&found);
  }
  for (int i = 0; i < 3; ++i) YRNET_name2ip("no-such-host.invalid", &found, 0);
  EXPECT_EQ(OpenDescriptors(), before);
}

}  // namespace
