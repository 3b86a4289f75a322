// How soon the host gets its thread back after cancel(): the stand-in
// sidecar, launched for real, and the platform's own sleep. The time runs
// from cancel(), made on another thread, to the moment the blocking call
// returns the cancel error:
// - during the launch's 30-second wait: the call returns once the launch
//   has stopped its sidecar and taken the secrets out;
// - during a request's transfer to a sidecar that takes it and never
//   answers (standin.hang.operation), whose limit is 300 s.
#include <benchmark/benchmark.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "BenchPlan.h"
#include "LocalPort.h"
#include "PriamUtil.h"
#include "ShortLaunch.h"

namespace bench {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kSettle = std::chrono::milliseconds(300);

bool WaitUntil(const std::function<bool()>& condition) {
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(30);
  while (!condition()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// `call` on this thread; cancel() from another once `waiting` holds and a
// moment has passed. The iteration's time: from the cancel to the return.
void CancelDuring(benchmark::State& state, ZbCassandra::PriamUtil& controller,
                  const std::function<bool()>& waiting, const std::function<CYrError()>& call) {
  Clock::time_point cancelled;
  bool reached = false;
  std::thread canceller([&] {
    reached = WaitUntil(waiting);
    std::this_thread::sleep_for(kSettle);
    cancelled = Clock::now();
    controller.cancel();
  });
  const CYrError error = call();
  const Clock::time_point returned = Clock::now();
  canceller.join();
  if (!reached || error.Code() != ZbCassandra::kCancelled) {
    state.SkipWithError(("not the cancel error: " + error.AsString()).c_str());
    return;
  }
  state.SetIterationTime(std::chrono::duration<double>(returned - cancelled).count());
}

void DuringLaunchWait(benchmark::State& state, const NodeLayout& layout) {
  for (auto _ : state) {
    ZbCassandra::PriamUtil controller(0, CYrString(PRIAM_STANDIN_JAVA), layout.priamDir(),
                                      layout.confDir(), layout.nodeDir(), false);
    CancelDuring(
        state, controller,
        [&controller] { return testsupport::PortAcceptsConnections(controller.priamPort()); },
        [&controller] { return controller.startPriam(); });
  }
}

void DuringTransfer(benchmark::State& state, const NodeLayout& layout) {
  for (auto _ : state) {
    ZbCassandra::PriamUtil controller(0, CYrString(PRIAM_STANDIN_JAVA), layout.priamDir(),
                                      layout.confDir(), layout.nodeDir(), false);
    CYrError error = controller.writePriamProperties({{"standin.hang.operation", "freeze"}});
    if (!error.IsError()) error = ShortLaunch(controller);
    if (error.IsError()) {
      state.SkipWithError(("launch failed: " + error.AsString()).c_str());
      break;
    }
    const std::string sidecarLog = layout.logDir() + "/zbPriam.log";
    CYrString reply;
    CancelDuring(
        state, controller,
        [&sidecarLog] {
          return ReadTextFile(sidecarLog).find("freeze not answered") != std::string::npos;
        },
        [&controller, &reply] {
          return controller.get(ZbCassandra::requestType::Get, "freeze", reply, "");
        });
  }
}

void Register(const char* name, void (*run)(benchmark::State&, const NodeLayout&),
              const NodeLayout& layout, BenchPlan* plan) {
  const NodeLayout* node = &layout;
  benchmark::RegisterBenchmark(name, [node, run](benchmark::State& state) { run(state, *node); })
      ->UseManualTime()
      ->Iterations(1)
      ->Unit(benchmark::kMillisecond);
  plan->order.push_back(name);
  plan->targets.push_back({name, "", Target::Kind::kSeconds, 0.1, 1});
}

}  // namespace

void RegisterCancelBenchmarks(const NodeLayout& layout, BenchPlan* plan) {
  Register("cancel/cancel_to_return_in_launch_wait", DuringLaunchWait, layout, plan);
  Register("cancel/cancel_to_return_in_transfer", DuringTransfer, layout, plan);
}

}  // namespace bench
