// Ten thousand requests through one controller against a local server: the
// controller's descriptors and memory stay where they were after warm-up.
#include <gtest/gtest.h>
#include <httplib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "ChildProcess.h"
#include "PriamUtil.h"
#include "PriamUtilTestAccess.h"
#include "ScopedEnvironment.h"

#if defined(__SANITIZE_ADDRESS__)
// Freed memory waits in AddressSanitizer's quarantine (256 MB by default)
// before it is reused, which would read as growth here; a small quarantine
// still catches uses after free of recent allocations.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=1"; }
#endif

namespace {

using ZbCassandra::PriamUtil;
using ZbCassandra::requestType;

constexpr int kWarmUpCalls = 500;
constexpr int kCalls = 10000;
// Generous: a leak of even 100 bytes a call would pass 1 MB.
constexpr long kRssGrowthLimitKb = 4096;

long ResidentKb() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0;
  long resident = 0;
  statm >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// An "info" endpoint that answers at once and keeps connections open, so
// that every call after the first reuses the client's connection.
class InfoServer {
 public:
  InfoServer() {
    m_server.set_keep_alive_max_count(kCalls * 2);
    // Headers and body leave in separate writes; without this, each answer
    // waits for the client's delayed acknowledgement.
    m_server.set_tcp_nodelay(true);
    m_server.Get(".*", [](const httplib::Request&, httplib::Response& response) {
      response.set_content("{\"status\":\"ok\",\"port\":1}", "application/json");
    });
    m_port = m_server.bind_to_any_port("127.0.0.1");
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
  }
  ~InfoServer() {
    m_server.stop();
    m_thread.join();
  }
  int port() const { return m_port; }

 private:
  httplib::Server m_server;
  std::thread m_thread;
  int m_port = 0;
};

TEST(GetSoak, TenThousandCallsKeepDescriptorsAndMemoryFlat) {
  testsupport::ScopedConfigStore store;
  InfoServer server;
  ASSERT_GT(server.port(), 0);
  PriamUtil controller(0, CYrString("/usr/bin/java"), "", "", "", false);
  ASSERT_TRUE(ZbCassandra::PriamUtilTestAccess::MarkStarted(
      controller, "http://127.0.0.1:" + std::to_string(server.port()) + "/REST"));

  CYrString response;
  auto call = [&] {
    const CYrError error = controller.get(requestType::Get, "info", response, "");
    return !error.IsError() && response.str().find("\"ok\"") != std::string::npos;
  };
  for (int i = 0; i < kWarmUpCalls; ++i) ASSERT_TRUE(call()) << "warm-up call " << i;
  const int descriptors = testsupport::OpenDescriptorCount();
  const long residentKb = ResidentKb();
  const auto start = std::chrono::steady_clock::now();

  for (int i = 0; i < kCalls; ++i) {
    ASSERT_TRUE(call()) << "call " << i;
    if (i % 1000 == 0) {
      ASSERT_EQ(testsupport::OpenDescriptorCount(), descriptors) << "call " << i;
    }
  }

  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const long growthKb = ResidentKb() - residentKb;
  std::printf("%d calls in %.2f s; resident memory %ld kB after warm-up, %+ld kB at the end\n",
              kCalls, seconds, residentKb, growthKb);
  EXPECT_EQ(testsupport::OpenDescriptorCount(), descriptors);
  EXPECT_LT(growthKb, kRssGrowthLimitKb);
}

}  // namespace
