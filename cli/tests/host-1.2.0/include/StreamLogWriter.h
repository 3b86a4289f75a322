// The log writer this platform ships: one line per message,
//   2026-12-08 21:50:01.123 [0] <context>:<line> <text>
// to a stdio stream or to a file. Messages above the current level are
// dropped here too, so a caller that forgets to ask cannot flood the log.
// Safe under concurrent writers.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

#include "CLogWriterInterface.h"
#include "CYrError.h"

class StreamLogWriter : public CLogWriterInterface {
 public:
  // Writes to `stream`, which stays the caller's.
  StreamLogWriter(FILE* stream, int level);
  ~StreamLogWriter() override;

  // Appends to the file at `path`, created owner-only when absent.
  static CYrError OpenFile(const std::string& path, int level,
                           boost::shared_ptr<StreamLogWriter>* writer);

  void Write(int level, const char* context, int line, int reserved1, int reserved2,
             const char* format, ...) override __attribute__((format(printf, 7, 8)));
  int GetLevel() override;
  void SetLevel(int level);

 private:
  StreamLogWriter(FILE* stream, int level, bool owned);

  std::mutex m_mutex;
  FILE* m_stream;
  bool m_owned;
  int m_level;
};
