// When a host ends without stopping its sidecar, its guardian stops the
// sidecar and takes the secrets out: a host forked from the benchmark
// launches the stand-in sidecar for real, writes its credentials again, and
// is killed with SIGKILL, or execs another program; the time runs from the
// kill (or the word to exec) until the directory runs nothing and holds no
// secret, as priamctl status would tell. The guardian's peak resident set is
// read just before. A guardian that dies while its host waits in a request
// is replaced by the host: the time runs from its SIGKILL until another
// guardian runs.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
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

// How the host ends, once its sidecar runs.
enum class End { kKilled, kExec, kGuardianKilledInARequest };

// A request for this operation is never answered by the stand-in.
const std::map<std::string, std::string> kFreeze = {{"standin.hang.operation", "freeze"}};

// In the forked host: launch (the 30-second wait lasting only until the
// sidecar listens), put the secrets back on disk, say the guardian's pid,
// then wait to be killed, exec when told, or wait in a request that is
// never answered.
void Host(const NodeLayout& layout, const std::string& confDir, End end, int say, int hear) {
  ZbCassandra::PriamUtil controller(0, CYrString(PRIAM_STANDIN_JAVA), layout.priamDir(), confDir,
                                    layout.nodeDir(), false);
  const bool ready = !controller.writePriamProperties(kFreeze).IsError() &&
                     !ShortLaunch(controller).IsError() &&
                     !controller.writePriamProperties(kSecrets).IsError();
  const std::string said = std::to_string(ready ? controller.guardianPid() : 0) + "\n";
  if (write(say, said.data(), said.size()) < 0) _exit(1);
  if (end == End::kExec) {
    char word = 0;
    if (read(hear, &word, 1) == 1) execl("/bin/sleep", "sleep", "1000", static_cast<char*>(nullptr));
  } else if (end == End::kGuardianKilledInARequest) {
    CYrString reply;
    controller.get(ZbCassandra::requestType::Get, "freeze", reply, "");
  }
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

// The guardian the record names now, when it runs and is not `old`; else 0.
pid_t OtherGuardian(const std::string& confDir, pid_t old) {
  ZbCassandra::PriamUtil::DirectoryReport report;
  if (ZbCassandra::PriamUtil::reportDirectory(confDir, &report).IsError()) return 0;
  return report.guardian != old ? report.guardian : 0;
}

bool WaitUntil(const std::function<bool()>& condition) {
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(30);
  while (!condition() && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return condition();
}

void HostEndToCleanDirectory(benchmark::State& state, const NodeLayout& layout, End end) {
  // A directory of its own: the benchmark process owns the layout's.
  const std::string confDir = layout.root() + "/conf-of-a-dying-host";
  mkdir(confDir.c_str(), 0700);
  for (auto _ : state) {
    int toBench[2];
    int toHost[2];
    if (pipe(toBench) != 0 || pipe(toHost) != 0) {
      state.SkipWithError("no pipe");
      break;
    }
    fflush(nullptr);
    const pid_t host = fork();
    if (host == 0) {
      close(toBench[0]);
      close(toHost[1]);
      Host(layout, confDir, end, toBench[1], toHost[0]);
    }
    close(toBench[1]);
    close(toHost[0]);
    char said[32] = "";
    const ssize_t got = read(toBench[0], said, sizeof said - 1);
    close(toBench[0]);
    const pid_t guardian = got > 0 ? static_cast<pid_t>(atoi(said)) : 0;
    const auto endHost = [&] {
      close(toHost[1]);
      kill(host, SIGKILL);
      waitpid(host, nullptr, 0);
    };
    if (guardian <= 0) {
      endHost();
      state.SkipWithError("the host could not launch its sidecar");
      break;
    }
    state.counters["peak_rss_KiB"] = static_cast<double>(PeakRssKib(guardian));
    Clock::time_point ended = Clock::now();
    bool done = false;
    if (end == End::kKilled) {
      endHost();
      done = WaitUntil([&] { return NothingLeft(confDir); });
    } else if (end == End::kExec) {
      done = write(toHost[1], "x", 1) == 1 && WaitUntil([&] { return NothingLeft(confDir); });
    } else {
      // Once the host is in its request.
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      ended = Clock::now();
      kill(guardian, SIGKILL);
      done = WaitUntil([&] { return OtherGuardian(confDir, guardian) > 0; });
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - ended).count();
    if (end != End::kKilled) {
      endHost();
      WaitUntil([&] { return NothingLeft(confDir); });
    }
    if (!done) {
      state.SkipWithError(end == End::kGuardianKilledInARequest
                              ? "no guardian took the killed one's place"
                              : "the directory still runs a sidecar or holds a secret");
      break;
    }
    state.SetIterationTime(seconds);
  }
}

}  // namespace

void RegisterHostDeathBenchmarks(const NodeLayout& layout, BenchPlan* plan) {
  const NodeLayout* node = &layout;
  const struct {
    const char* name;
    End end;
  } rows[] = {{"guardian/host_death_to_clean_directory", End::kKilled},
              {"guardian/host_exec_to_clean_directory", End::kExec},
              {"guardian/replaced_within_a_request", End::kGuardianKilledInARequest}};
  for (const auto& row : rows) {
    const End end = row.end;
    benchmark::RegisterBenchmark(row.name,
                                 [node, end](benchmark::State& state) {
                                   HostEndToCleanDirectory(state, *node, end);
                                 })
        ->UseManualTime()
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    plan->order.push_back(row.name);
    plan->targets.push_back({row.name, "", Target::Kind::kSeconds, 1.0, 1});
  }
  plan->targets.push_back(
      {"guardian/host_death_to_clean_directory", "", Target::Kind::kPeakRssKib, 4096, 1});
}

}  // namespace bench
