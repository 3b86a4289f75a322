// The steps of a sidecar's life that run and demo share: the launch with
// its progress line, and requests, both cut short by Ctrl-C / SIGTERM: while
// a session lives, a signal cancels its controller.
#pragma once

#include <cstdio>
#include <string>

#include "CYrError.h"
#include "PriamUtil.h"
#include "SignalWatcher.h"

namespace priamctl {

struct SidecarRequest {
  ZbCassandra::requestType type = ZbCassandra::requestType::Get;
  std::string operation;
  std::string body;
};

class SidecarSession {
 public:
  // `progress` receives the progress line; `shortWaits` only for tests.
  SidecarSession(ZbCassandra::PriamUtil& controller, SignalWatcher& signals, bool shortWaits,
                 FILE* progress);
  ~SidecarSession();
  SidecarSession(const SidecarSession&) = delete;
  SidecarSession& operator=(const SidecarSession&) = delete;

  // startPriam, with a progress line while it blocks and a line for each
  // retry of its first request.
  CYrError Launch();
  // get(), with a line for each retry.
  CYrError Send(const SidecarRequest& request, std::string* reply);
  // Stops the sidecar when one runs. A signal may already have ended it.
  CYrError Stop();
  // Wait until a signal arrives or the sidecar exits by itself; returns the
  // signal, or 0 when the sidecar is gone.
  int WaitWhileRunning();

  int Interrupted() const { return m_signals.Received(); }

  // What went wrong with a launch, for an operator: the sidecar exited (and
  // how), started but refused the credentials or did not answer, or did not
  // start at all (the controller's first cause).
  std::string DescribeLaunchFailure(const CYrError& error) const;

 private:
  ZbCassandra::PriamUtil& m_controller;
  SignalWatcher& m_signals;
  const bool m_shortWaits;
  FILE* m_progress;
};

// "GET info", "POST operation".
std::string RequestName(const SidecarRequest& request);

// What went wrong with a request: the sidecar's answer, or the first cause.
std::string DescribeRequestFailure(const CYrError& error);

// A sidecar that ended while it was kept running, `how` as its controller
// tells it (priamExited()): ended by someone who said so ("killed by signal
// 9 (SIGKILL), stopped by an operator (priamctl stop --force)"), or exited
// by itself.
std::string DescribeUnaskedEnd(const std::string& how);

}  // namespace priamctl
