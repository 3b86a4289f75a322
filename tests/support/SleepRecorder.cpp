#include "SleepRecorder.h"

#include <chrono>
#include <thread>

namespace testsupport {

SleepRecorder::SleepRecorder(uint32_t divisor) {
  m_previous = YRSLEEP_SetHandler([this, divisor](uint32_t milliseconds, const char*, int) {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_sleeps.push_back(milliseconds);
    }
    if (divisor > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds / divisor));
  });
}

SleepRecorder::~SleepRecorder() { YRSLEEP_SetHandler(m_previous); }

std::vector<uint32_t> SleepRecorder::Sleeps() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_sleeps;
}

uint64_t SleepRecorder::TotalMs() const {
  uint64_t total = 0;
  for (uint32_t sleep : Sleeps()) total += sleep;
  return total;
}

}  // namespace testsupport
