// The host's log writer, reached through the process-wide g_ptrLogWriter.
//
// Levels: -1 failures, 0 progress, 1 function-entry tracing, 2 commands and
// their output, 3 whole file contents. A caller asks GetLevel() first and
// writes a message of level N only when the level is N or more; a few
// failure messages (level -1) are written without asking.
#pragma once

#include <boost/shared_ptr.hpp>

class CLogWriterInterface {
 public:
  virtual ~CLogWriterInterface() = default;

  // One message: its level, the calling function's signature, the source
  // line, two numbers that are always 0, and a printf-style format.
  virtual void Write(int level, const char* context, int line, int reserved1, int reserved2,
                     const char* format, ...) __attribute__((format(printf, 7, 8))) = 0;

  virtual int GetLevel() = 0;
};

// Set by the host before it creates a controller; null logs nothing.
extern boost::shared_ptr<CLogWriterInterface> g_ptrLogWriter;
