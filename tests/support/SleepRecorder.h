// Records every requested sleep instead of sleeping (or sleeps a scaled-down
// time), for the life of the object.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "YrSleep.h"

namespace testsupport {

class SleepRecorder {
 public:
  // Each requested sleep really lasts `divisor`-th of its time; 0 skips it.
  explicit SleepRecorder(uint32_t divisor = 0);
  ~SleepRecorder();
  SleepRecorder(const SleepRecorder&) = delete;
  SleepRecorder& operator=(const SleepRecorder&) = delete;

  std::vector<uint32_t> Sleeps() const;
  uint64_t TotalMs() const;

 private:
  mutable std::mutex m_mutex;
  std::vector<uint32_t> m_sleeps;
  YrSleepHandler m_previous;
};

}  // namespace testsupport
