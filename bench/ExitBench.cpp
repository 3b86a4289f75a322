// How soon a host hears that its sidecar died: the stand-in sidecar, launched
// for real, is killed with SIGKILL (as the OOM killer does) while the host's
// request waits between its retries with the platform's own sleep; the time
// runs from the kill to the host's error.
#include <benchmark/benchmark.h>
#include <signal.h>

#include <chrono>
#include <string>
#include <thread>

#include "BenchPlan.h"
#include "PriamUtil.h"
#include "ShortLaunch.h"

namespace bench {

namespace {

using Clock = std::chrono::steady_clock;

void ExitToError(benchmark::State& state, const NodeLayout& layout) {
  for (auto _ : state) {
    ZbCassandra::PriamUtil controller(0, CYrString(PRIAM_STANDIN_JAVA), layout.priamDir(),
                                      layout.confDir(), layout.nodeDir(), false);
    const CYrError launched = ShortLaunch(controller);
    if (launched.IsError()) {
      state.SkipWithError(("launch failed: " + launched.AsString()).c_str());
      break;
    }
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
}

}  // namespace bench
