// One launch cycle of the stand-in sidecar, as a host runs it: construct,
// write the connection properties, launch, ask "info", stop. The 30 s wait
// before the first request lasts only until the sidecar listens. Prints its
// own peak memory (the sidecar's JVM not included), how long the launch
// took (all of it, and its own work before that wait), and how long the
// first write of the credentials took (the guardian of the secrets starts
// there).
//   priam_bench_launch_cycle NODE_DIR PRIAM_DIR PRIAM_CONF_DIR
// PRIAM_DIR must hold priam.jar (the stand-in) and zblog4j.properties.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <thread>

#include "LocalPort.h"
#include "PriamUtil.h"
#include "YrSleep.h"

namespace {

using Clock = std::chrono::steady_clock;

ZbCassandra::PriamUtil* g_controller = nullptr;
Clock::time_point g_firstWait;

// Wait until the sidecar accepts connections, at most `milliseconds`.
void WaitForSidecar(uint32_t milliseconds, const char*, int) {
  const Clock::time_point now = Clock::now();
  if (g_firstWait == Clock::time_point()) g_firstWait = now;
  const auto deadline = now + std::chrono::milliseconds(milliseconds);
  while (Clock::now() < deadline) {
    if (g_controller && testsupport::PortAcceptsConnections(g_controller->priamPort())) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s NODE_DIR PRIAM_DIR PRIAM_CONF_DIR\n", argv[0]);
    return 2;
  }
  YRSLEEP_SetHandler(&WaitForSidecar);
  ZbCassandra::PriamUtil controller(0, CYrString(PRIAM_STANDIN_JAVA), argv[2], argv[3], argv[1],
                                    false);
  g_controller = &controller;
  const std::map<std::string, std::string> properties = {{"priam.cqlhost", "127.0.0.1"},
                                                         {"priam.cqlport", controller.cqlPort()},
                                                         {"priam.cqlusername", "cassandra"},
                                                         {"priam.cqluserpassword", "bench-only"},
                                                         {"priam.jmx.port", controller.jmxPort()}};
  const Clock::time_point write = Clock::now();
  CYrError error = controller.writePriamProperties(properties);
  const Clock::time_point launch = Clock::now();
  if (!error.IsError()) error = controller.startPriam();
  const Clock::time_point launched = Clock::now();
  CYrString info;
  if (!error.IsError()) error = controller.get(ZbCassandra::requestType::Get, "info", info, "");
  const CYrError stopped = controller.stopPriam();
  g_controller = nullptr;
  if (error.IsError() || stopped.IsError()) {
    std::fprintf(stderr, "launch cycle failed: %s%s\n", error.AsString().c_str(),
                 stopped.AsString().c_str());
    return 1;
  }
  std::printf("%s\n", info.c_str());
  const auto seconds = [launch](Clock::time_point end) {
    return std::chrono::duration<double>(end - launch).count();
  };
  std::printf("launch_s=%.6f\nlaunch_before_wait_s=%.6f\nwrite_secrets_s=%.6f\n",
              seconds(launched), seconds(g_firstWait),
              std::chrono::duration<double>(launch - write).count());

  struct rusage self = {};
  getrusage(RUSAGE_SELF, &self);
  std::printf("self_peak_rss_kib=%ld\n", self.ru_maxrss);
  return 0;
}
