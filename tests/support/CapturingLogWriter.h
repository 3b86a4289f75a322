// A log writer that keeps every message, installed as g_ptrLogWriter for the
// life of a ScopedLogCapture.
#pragma once

#include <boost/shared_ptr.hpp>
#include <mutex>
#include <string>
#include <vector>

#include "CLogWriterInterface.h"

namespace testsupport {

struct LogEntry {
  int level;
  std::string context;
  int line;
  std::string text;
  bool askedLevelFirst;  // GetLevel() was called since the previous Write()
};

class CapturingLogWriter : public CLogWriterInterface {
 public:
  explicit CapturingLogWriter(int level) : m_level(level) {}

  void Write(int level, const char* context, int line, int reserved1, int reserved2,
             const char* format, ...) override __attribute__((format(printf, 7, 8)));
  int GetLevel() override;

  void SetLevel(int level);
  std::vector<LogEntry> Entries() const;
  // The texts, in order; with a level, only those of that level.
  std::vector<std::string> Texts() const;
  std::vector<std::string> Texts(int level) const;
  // The texts written from inside one of `functions` (matched against the
  // context, the writer's function signature).
  std::vector<std::string> TextsFrom(const std::vector<std::string>& functions) const;
  // How many messages had exactly this text.
  int Count(const std::string& text) const;
  // Everything logged, one message per line (for scanning for secrets).
  std::string AllText() const;
  void Clear();

 private:
  mutable std::mutex m_mutex;
  int m_level;
  bool m_asked = false;
  std::vector<LogEntry> m_entries;
};

class ScopedLogCapture {
 public:
  explicit ScopedLogCapture(int level = 3);
  ~ScopedLogCapture();
  ScopedLogCapture(const ScopedLogCapture&) = delete;
  ScopedLogCapture& operator=(const ScopedLogCapture&) = delete;

  CapturingLogWriter& operator*() const { return *m_writer; }
  CapturingLogWriter* operator->() const { return m_writer.get(); }

 private:
  boost::shared_ptr<CapturingLogWriter> m_writer;
  boost::shared_ptr<CLogWriterInterface> m_previous;
};

}  // namespace testsupport
