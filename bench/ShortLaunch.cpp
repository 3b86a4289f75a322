#include "ShortLaunch.h"

#include <chrono>
#include <thread>

#include "LocalPort.h"
#include "YrSleep.h"

namespace bench {

CYrError ShortLaunch(ZbCassandra::PriamUtil& controller) {
  using Clock = std::chrono::steady_clock;
  YRSLEEP_SetHandler([&controller](uint32_t milliseconds, const char*, int) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (Clock::now() < deadline &&
           !testsupport::PortAcceptsConnections(controller.priamPort())) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  const CYrError launched = controller.startPriam();
  YRSLEEP_SetHandler(nullptr);
  return launched;
}

}  // namespace bench
