// How soon a host hears that its sidecar died: the stand-in sidecar, launched
// for real, is killed with SIGKILL (as the OOM killer does) while the host's
// request waits between its retries with the platform's own sleep; the time
// runs from the kill to the host's error. A host that bounds its calls to
// 2 s is not blinded for longer by a frozen sidecar (SIGSTOP): the time runs
// over the whole get(), and the call after SIGCONT must succeed.
#include <benchmark/benchmark.h>
#include <signal.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "BenchPlan.h"
#include "PriamUtil.h"
#include "ShortLaunch.h"

namespace bench {

namespace {

using Clock = std::chrono::steady_clock;

// The stand-in sidecar, launched for real; a failed launch ends the row.
bool Launched(benchmark::State& state, ZbCassandra::PriamUtil& controller) {
  const CYrError launched = ShortLaunch(controller);
  if (launched.IsError()) state.SkipWithError(("launch failed: " + launched.AsString()).c_str());
  return !launched.IsError();
}

void ExitToError(benchmark::State& state, const NodeLayout& layout) {
  for (auto _ : state) {
    ZbCassandra::PriamUtil controller(0, CYrString(PRIAM_STANDIN_JAVA), layout.priamDir(),
                                      layout.confDir(), layout.nodeDir(), false);
    if (!Launched(state, controller)) break;
    // An unknown operation is answered 404: the request sleeps 30 seconds
    // before its next attempt.
    CYrError answer;
    Clock::time_point answered;
    std::thread host([&] {
      CYrString reply;
      answer = controller.get(ZbCassandra::requestType::Get, "no-such-operation", reply, "");
      answered = Clock::now();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const Clock::time_point killed = Clock::now();
    kill(controller.priamPid(), SIGKILL);
    host.join();
    if (answer.Code() != 2250) {
      state.SkipWithError(("not the sidecar's exit: " + answer.AsString()).c_str());
      break;
    }
    state.SetIterationTime(std::chrono::duration<double>(answered - killed).count());
  }
}

bool Stopped(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  const size_t name = line.rfind(')');
  return name != std::string::npos && line.compare(name, 3, ") T") == 0;
}

void DeadlineOnAFrozenSidecar(benchmark::State& state, const NodeLayout& layout) {
  for (auto _ : state) {
    ZbCassandra::PriamUtil controller(0, CYrString(PRIAM_STANDIN_JAVA), layout.priamDir(),
                                      layout.confDir(), layout.nodeDir(), false);
    if (!Launched(state, controller)) break;
    const pid_t sidecar = controller.priamPid();
    kill(sidecar, SIGSTOP);
    for (int i = 0; i < 1000 && !Stopped(sidecar); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    controller.setCallTimeLimit(2000);
    CYrString reply;
    const Clock::time_point asked = Clock::now();
    const CYrError late = controller.get(ZbCassandra::requestType::Get, "info", reply, "");
    const double seconds = std::chrono::duration<double>(Clock::now() - asked).count();
    kill(sidecar, SIGCONT);
    if (controller.failureOf(late).reason != ZbCassandra::FailureReason::kDeadlinePassed) {
      state.SkipWithError(("not the deadline: " + late.AsString()).c_str());
      break;
    }
    const CYrError next = controller.get(ZbCassandra::requestType::Get, "info", reply, "");
    if (next.IsError()) {
      state.SkipWithError(("the call after SIGCONT failed: " + next.AsString()).c_str());
      break;
    }
    state.SetIterationTime(seconds);
  }
}

}  // namespace

void RegisterExitBenchmarks(const NodeLayout& layout, BenchPlan* plan) {
  const NodeLayout* node = &layout;
  benchmark::RegisterBenchmark("exit/sidecar_exit_to_host_error",
                               [node](benchmark::State& state) { ExitToError(state, *node); })
      ->UseManualTime()
      ->Iterations(1)
      ->Unit(benchmark::kMillisecond);
  plan->order.push_back("exit/sidecar_exit_to_host_error");
  plan->targets.push_back({"exit/sidecar_exit_to_host_error", "", Target::Kind::kSeconds, 1.0, 1});
  benchmark::RegisterBenchmark(
      "exit/call_deadline_2s_on_stopped_sidecar",
      [node](benchmark::State& state) { DeadlineOnAFrozenSidecar(state, *node); })
      ->UseManualTime()
      ->Iterations(1)
      ->Unit(benchmark::kMillisecond);
  plan->order.push_back("exit/call_deadline_2s_on_stopped_sidecar");
  plan->targets.push_back(
      {"exit/call_deadline_2s_on_stopped_sidecar", "", Target::Kind::kSeconds, 2.1, 1});
}

}  // namespace bench
