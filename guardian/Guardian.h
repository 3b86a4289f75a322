// The guardian: a small process that a host starts beside its sidecar, and
// already before, from the first secret it writes into a Priam
// configuration directory, as a supervisor runs beside its child.
//
// It drains the sidecar's standard output and error (its standard input)
// into a sink, continuously, so that the JVM never blocks on them. It
// watches the host through its lifeline (the read end of a pipe whose write
// end only the host holds, close-on-exec) and its pidfd, and the sidecar
// through its pidfd, each checked against its start time. When the host
// ends in any way without having released it (exit, SIGKILL, exec), or when
// the guardian is sent SIGTERM, SIGINT or SIGHUP (a service manager stopping
// everything at once), it kills the sidecar's process group; once the host
// has ended it takes the directory as priamctl stop does (every sidecar
// nobody alive owns stopped, the secrets taken out of zbPriam.properties,
// the record cleared) and exits. A host that has nothing left to guard
// releases it ("release" on the lifeline): it then leaves once the
// sidecar's output is written, touching nothing. While the host lives, the
// guardian writes nothing into the directory.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

#include "supervision/GuardianProtocol.h"

namespace ZbCassandra {

class Guardian {
 public:
  // Where the sidecar's output goes, and the guardian's own notes.
  using Sink = std::function<void(const char* data, size_t size)>;

  // `signals` is a signalfd of SIGTERM, SIGINT and SIGHUP, already blocked.
  Guardian(const GuardianOptions& options, int signals, Sink sink);
  ~Guardian();
  Guardian(const Guardian&) = delete;
  Guardian& operator=(const Guardian&) = delete;

  // Watch until the work is done; the process's exit status.
  int Run();

 private:
  using Clock = std::chrono::steady_clock;

  bool Done(Clock::time_point now);
  int PollTimeout() const;
  void Poll(int timeoutMs);
  void Drain();
  void ReadLifeline();
  void Note(const std::string& text);
  void StopSidecar(const char* why);
  void TakeTheDirectory();

  const GuardianOptions m_options;
  const int m_signals;
  const Sink m_sink;
  int m_hostFd = -1;
  int m_sidecarFd = -1;
  bool m_hostEnded = false;
  bool m_sidecarEnded = false;
  bool m_outputClosed = false;
  int m_lifeline;
  bool m_released = false;
  std::string m_lifelineText;
  bool m_stopAsked = false;
  bool m_sidecarKilled = false;
  bool m_killSent = false;  // its SIGKILL went to a sidecar that still ran
  bool m_tookDirectory = false;
  Clock::time_point m_hostDeadline = Clock::time_point::max();
  Clock::time_point m_outputDeadline = Clock::time_point::max();
};

}  // namespace ZbCassandra
