#include "FailureRecordingLog.h"

#include <algorithm>
#include <cstdarg>

#include "FXString.h"
#include "StatusLine.h"

namespace priamctl {

FailureRecordingLog::FailureRecordingLog(boost::shared_ptr<StreamLogWriter> sink, FILE* sinkStream)
    : m_sink(std::move(sink)), m_sinkStream(sinkStream) {}

void FailureRecordingLog::Write(int level, const char* context, int line, int, int,
                                const char* format, ...) {
  if (!format) return;
  va_list args;
  va_start(args, format);
  const std::string text = FXString::FormatV(format, args);
  va_end(args);
  if (level <= -1) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lastFailure = text;
  }
  if (!m_sink || level > m_sink->GetLevel()) return;
  const auto write = [&] { m_sink->Write(level, context, line, 0, 0, "%s", text.c_str()); };
  if (m_sinkStream) {
    StatusLine::Console().Around(m_sinkStream, write);
  } else {
    write();
  }
}

int FailureRecordingLog::GetLevel() { return m_sink ? std::max(m_sink->GetLevel(), -1) : -1; }

std::string FailureRecordingLog::LastFailure() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_lastFailure;
}

std::string LastLoggedFailure() {
  auto* log = dynamic_cast<FailureRecordingLog*>(g_ptrLogWriter.get());
  return log ? log->LastFailure() : std::string();
}

}  // namespace priamctl
