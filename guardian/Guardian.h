// The guardian of one sidecar: a small process that a launch starts beside
// the sidecar, as a supervisor would run beside its child.
//
// It drains the sidecar's standard output and error (its standard input)
// into a sink, continuously, so that the JVM never blocks on them. It
// watches the host process as a whole and the sidecar, through their pidfds,
// checked against their start times. When the host ends in any way without
// having stopped the sidecar, or when the guardian is sent SIGTERM, SIGINT or
// SIGHUP (a service manager stopping everything at once), it kills the
// sidecar's process group; once the host has ended it takes the directory as
// priamctl stop does (every sidecar nobody alive owns stopped, the secrets
// taken out of zbPriam.properties, the record cleared) and exits. It exits
// by itself once the sidecar has ended and its output is written. While the
// host lives, the guardian writes nothing into the directory.
#pragma once

#include <cstddef>
#include <functional>

#include "GuardianOptions.h"

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
  void Poll(int timeoutMs);
  void Drain();
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
  bool m_stopAsked = false;
  bool m_sidecarKilled = false;
};

}  // namespace ZbCassandra
