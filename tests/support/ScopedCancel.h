// A cancel descriptor like a controller's, announced to the platform's waits
// of the thread that makes the object, for as long as it lives.
#pragma once

#include <sys/types.h>

#include <thread>

#include "YrCancel.h"

namespace testsupport {

class ScopedCancel {
 public:
  // `peer`: the process the thread's HTTP exchanges go to, 0 for none.
  explicit ScopedCancel(pid_t peer = 0);
  // Waits for a cancel still to come from CancelAfter().
  ~ScopedCancel();
  ScopedCancel(const ScopedCancel&) = delete;
  ScopedCancel& operator=(const ScopedCancel&) = delete;

  int descriptor() const { return m_descriptor; }
  // Makes the descriptor readable for good.
  void Cancel();
  // Cancel() from another thread, `milliseconds` from now.
  void CancelAfter(int milliseconds);

 private:
  const int m_descriptor;
  const YrCancelScope m_scope;
  std::thread m_canceller;
};

}  // namespace testsupport
