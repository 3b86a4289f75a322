#include "CapturingLogWriter.h"

#include <cstdarg>

#include "FXString.h"

namespace testsupport {

void CapturingLogWriter::Write(int level, const char* context, int line, int, int,
                               const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = format ? FXString::FormatV(format, args) : std::string();
  va_end(args);
  std::lock_guard<std::mutex> lock(m_mutex);
  m_entries.push_back(LogEntry{level, context ? context : "", line, std::move(text), m_asked});
  m_asked = false;
}

int CapturingLogWriter::GetLevel() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_asked = true;
  return m_level;
}

void CapturingLogWriter::SetLevel(int level) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_level = level;
}

std::vector<LogEntry> CapturingLogWriter::Entries() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_entries;
}

std::vector<std::string> CapturingLogWriter::Texts() const {
  std::vector<std::string> texts;
  for (const LogEntry& entry : Entries()) texts.push_back(entry.text);
  return texts;
}

std::vector<std::string> CapturingLogWriter::Texts(int level) const {
  std::vector<std::string> texts;
  for (const LogEntry& entry : Entries()) {
    if (entry.level == level) texts.push_back(entry.text);
  }
  return texts;
}

std::vector<std::string> CapturingLogWriter::TextsFrom(
    const std::vector<std::string>& functions) const {
  std::vector<std::string> texts;
  for (const LogEntry& entry : Entries()) {
    for (const std::string& function : functions) {
      if (entry.context.find(function) != std::string::npos) {
        texts.push_back(entry.text);
        break;
      }
    }
  }
  return texts;
}

int CapturingLogWriter::Count(const std::string& text) const {
  int count = 0;
  for (const LogEntry& entry : Entries()) count += entry.text == text ? 1 : 0;
  return count;
}

std::string CapturingLogWriter::AllText() const {
  std::string all;
  for (const LogEntry& entry : Entries()) all += entry.text + "\n";
  return all;
}

void CapturingLogWriter::Clear() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_entries.clear();
  m_asked = false;
}

ScopedLogCapture::ScopedLogCapture(int level)
    : m_writer(new CapturingLogWriter(level)), m_previous(g_ptrLogWriter) {
  g_ptrLogWriter = m_writer;
}

ScopedLogCapture::~ScopedLogCapture() { g_ptrLogWriter = m_previous; }

}  // namespace testsupport
