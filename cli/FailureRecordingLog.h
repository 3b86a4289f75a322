// The log writer priamctl installs: it hands every message to the log the
// user asked for (if any) and keeps the latest failure message, so that a
// failed initialization, which the controller only logs, can be reported,
// and a failed attempt of a request, which the controller retries, shown.
#pragma once

#include <boost/shared_ptr.hpp>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "CLogWriterInterface.h"
#include "StreamLogWriter.h"

namespace priamctl {

class FailureRecordingLog : public CLogWriterInterface {
 public:
  // `sink` may be null: nothing is written, failures are still kept.
  // `sinkStream`: the console stream the sink writes to (its lines then
  // make way for the progress line), or null for a file.
  FailureRecordingLog(boost::shared_ptr<StreamLogWriter> sink, FILE* sinkStream);

  void Write(int level, const char* context, int line, int reserved1, int reserved2,
             const char* format, ...) override __attribute__((format(printf, 7, 8)));
  // At least -1, so that failure messages always arrive here.
  int GetLevel() override;

  std::string LastFailure();
  // How many failure messages have arrived so far.
  uint64_t FailureCount();

  // A file sink in place of the one written to so far (the log file opened
  // anew after logrotate moved it away). A line being written meanwhile
  // goes whole to one of the two; the old sink closes once that line is out.
  void ReplaceSink(boost::shared_ptr<StreamLogWriter> sink);

 private:
  boost::shared_ptr<StreamLogWriter> Sink();

  FILE* const m_sinkStream;
  std::mutex m_mutex;
  boost::shared_ptr<StreamLogWriter> m_sink;  // guarded by m_mutex
  std::string m_lastFailure;
  uint64_t m_failures = 0;
};

// The latest failure message of the installed writer; "" when there is none
// or priamctl's writer is not installed.
std::string LastLoggedFailure();
// The number of failure messages the installed writer has seen; 0 as above.
uint64_t LoggedFailureCount();

}  // namespace priamctl
