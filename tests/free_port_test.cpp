#include <gtest/gtest.h>

#include "CapturingLogWriter.h"
#include "ChildProcess.h"
#include "PriamUtil.h"
#include "YrNet.h"

namespace {

using ZbCassandra::PriamUtil;

// A port is free when a socket can be bound to it again.
bool CanBind(int port) {
  YRNET_SOCKADDR address;
  if (YRNET_str2ip("127.0.0.1", &address) != 0) return false;
  address.in4.sin_port = htons(static_cast<uint16_t>(port));
  int fd = -1;
  if (YRNET_socket(AF_INET, &fd) != 0) return false;
  const bool bound = YRNET_bind(fd, &address) == 0;
  YRNET_close(fd);
  return bound;
}

TEST(GetFreePort, LocalhostGivesABindablePortAndLeavesNoSocketOpen) {
  testsupport::ScopedLogCapture log(0);
  PriamUtil controller(0, "/usr/bin/java", "", "", "", false);
  log->Clear();
  const int descriptors = testsupport::OpenDescriptorCount();
  int port = 0;
  ASSERT_FALSE(controller.GetFreePort("localhost", port).IsError());
  EXPECT_GE(port, 1);
  EXPECT_LE(port, 65535);
  EXPECT_EQ(testsupport::OpenDescriptorCount(), descriptors);
  EXPECT_TRUE(CanBind(port));
  EXPECT_EQ(log->Texts(0), (std::vector<std::string>{"Enter", "Host name [localhost]",
                                                     "PORT [" + std::to_string(port) + "]"}));
}

TEST(GetFreePort, NumericAddressNeedsNoLookup) {
  PriamUtil controller(0, "/usr/bin/java", "", "", "", false);
  int port = 0;
  ASSERT_FALSE(controller.GetFreePort("127.0.0.1", port).IsError());
  EXPECT_GT(port, 0);
}

TEST(GetFreePort, UnresolvableNameLeavesThePortUntouched) {
  testsupport::ScopedLogCapture log(0);
  PriamUtil controller(0, "/usr/bin/java", "", "", "", false);
  int port = 4711;
  const CYrError error = controller.GetFreePort("no-such-host.invalid", port);
  EXPECT_TRUE(error.IsError());
  EXPECT_EQ(error.Code(), 1627);
  EXPECT_EQ(error.Message(), "Name lookup failed");
  EXPECT_EQ(port, 4711);
  EXPECT_EQ(log->Count("Name lookup failed"), 1);
}

TEST(GetFreePort, AddressThatIsNotLocalCannotBeBound) {
  PriamUtil controller(0, "/usr/bin/java", "", "", "", false);
  int port = 0;
  // TEST-NET-1 is never assigned to this host.
  const CYrError error = controller.GetFreePort("192.0.2.1", port);
  EXPECT_TRUE(error.IsError());
  EXPECT_EQ(error.Message().rfind("Bind failed rc [", 0), 0u) << error.Message();
  EXPECT_EQ(port, 0);
}

TEST(GetFreePort, OverlongHostNameIsCutNotOverrun) {
  PriamUtil controller(0, "/usr/bin/java", "", "", "", false);
  int port = 0;
  EXPECT_TRUE(controller.GetFreePort(std::string(5000, 'a'), port).IsError());
  EXPECT_EQ(port, 0);
}

}  // namespace
