// When a host dies, its sidecar's guardian stops the sidecar and takes the
// secrets out: a host forked from the benchmark launches the stand-in
// sidecar for real, writes its credentials again, and is killed with
// SIGKILL; the time runs from the kill until the directory runs nothing and
// holds no secret, as priamctl status would tell. The guardian's peak
// resident set is read just before.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <thread>

#include "BenchPlan.h"
#include "PriamUtil.h"
#include "ShortLaunch.h"

namespace bench {

namespace {

using Clock = std::chrono::steady_clock;

const std::map<std::string, std::string> kSecrets = {{"priam.cqluserpassword", "bench-S3cret"},
                                                     {"priam.jmx.token", "bench-T0ken"}};

// In the forked host: launch (the 30-second wait lasting only until the
// sidecar listens), put the secrets back on disk, say the guardian's pid,
// then wait to be killed.
void Host(const NodeLayout& layout, const std::string& confDir, int say) {
  ZbCassandra::PriamUtil controller(0, CYrString(PRIAM_STANDIN_JAVA), layout.priamDir(), confDir,
                                    layout.nodeDir(), false);
  const bool ready =
      !ShortLaunch(controller).IsError() && !controller.writePriamProperties(kSecrets).IsError();
  const std::string said = std::to_string(ready ? controller.guardianPid() : 0) + "\n";
  if (write(say, said.data(), said.size()) < 0) _exit(1);
  pause();
  _exit(0);
}

long PeakRssKib(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

bool NothingLeft(const std::string& confDir) {
  ZbCassandra::PriamUtil::DirectoryReport report;
  return !ZbCassandra::PriamUtil::reportDirectory(confDir, &report).IsError() &&
         report.sidecars.empty() && report.guardian == 0 && !report.secretsLeft;
}

void HostDeathToCleanDirectory(benchmark::State& state, const NodeLayout& layout) {
  // A directory of its own: the benchmark process owns the layout's.
  const std::string confDir = layout.root() + "/conf-of-a-dying-host";
  mkdir(confDir.c_str(), 0700);
  for (auto _ : state) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
      state.SkipWithError("no pipe");
      break;
    }
    fflush(nullptr);
    const pid_t host = fork();
    if (host == 0) {
      close(pipeEnds[0]);
      Host(layout, confDir, pipeEnds[1]);
    }
    close(pipeEnds[1]);
    char said[32] = "";
    const ssize_t got = read(pipeEnds[0], said, sizeof said - 1);
    close(pipeEnds[0]);
    const pid_t guardian = got > 0 ? static_cast<pid_t>(atoi(said)) : 0;
    if (guardian <= 0) {
      kill(host, SIGKILL);
      waitpid(host, nullptr, 0);
      state.SkipWithError("the host could not launch its sidecar");
      break;
    }
    state.counters["peak_rss_KiB"] = static_cast<double>(PeakRssKib(guardian));
    const Clock::time_point killed = Clock::now();
    kill(host, SIGKILL);
    waitpid(host, nullptr, 0);
    const Clock::time_point deadline = killed + std::chrono::seconds(30);
    while (!NothingLeft(confDir) && Clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (!NothingLeft(confDir)) {
      state.SkipWithError("the directory still runs a sidecar or holds a secret");
      break;
    }
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - killed).count());
  }
}

}  // namespace

void RegisterHostDeathBenchmarks(const NodeLayout& layout, BenchPlan* plan) {
  const NodeLayout* node = &layout;
  benchmark::RegisterBenchmark(
      "guardian/host_death_to_clean_directory",
      [node](benchmark::State& state) { HostDeathToCleanDirectory(state, *node); })
      ->UseManualTime()
      ->Iterations(1)
      ->Unit(benchmark::kMillisecond);
  plan->order.push_back("guardian/host_death_to_clean_directory");
  plan->targets.push_back(
      {"guardian/host_death_to_clean_directory", "", Target::Kind::kSeconds, 1.0, 1});
  plan->targets.push_back(
      {"guardian/host_death_to_clean_directory", "", Target::Kind::kPeakRssKib, 4096, 1});
}

}  // namespace bench
