#include "FailureRecordingLog.h"

#include <algorithm>
#include <cstdarg>

#include "FXString.h"
#include "StatusLine.h"

namespace priamctl {

FailureRecordingLog::FailureRecordingLog(boost::shared_ptr<StreamLogWriter> sink, FILE* sinkStream)
    : m_sinkStream(sinkStream), m_sink(std::move(sink)) {}

void FailureRecordingLog::Write(int level, const char* context, int line, int, int,
                                const char* format, ...) {
  if (!format) return;
  va_list args;
  va_start(args, format);
  const std::string text = FXString::FormatV(format, args);
  va_end(args);
  boost::shared_ptr<StreamLogWriter> sink;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (level <= -1) {
      m_lastFailure = text;
      ++m_failures;
    }
    sink = m_sink;
  }
  if (!sink || level > sink->GetLevel()) return;
  const auto write = [&] { sink->Write(level, context, line, 0, 0, "%s", text.c_str()); };
  if (m_sinkStream) {
    StatusLine::Console().Around(m_sinkStream, write);
  } else {
    write();
  }
}

int FailureRecordingLog::GetLevel() {
  const boost::shared_ptr<StreamLogWriter> sink = Sink();
  return sink ? std::max(sink->GetLevel(), -1) : -1;
}

void FailureRecordingLog::ReplaceSink(boost::shared_ptr<StreamLogWriter> sink) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_sink.swap(sink);
}

boost::shared_ptr<StreamLogWriter> FailureRecordingLog::Sink() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_sink;
}

std::string FailureRecordingLog::LastFailure() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_lastFailure;
}

uint64_t FailureRecordingLog::FailureCount() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_failures;
}

namespace {

FailureRecordingLog* InstalledLog() {
  return dynamic_cast<FailureRecordingLog*>(g_ptrLogWriter.get());
}

}  // namespace

uint64_t LoggedFailureCount() {
  FailureRecordingLog* log = InstalledLog();
  return log ? log->FailureCount() : 0;
}

std::string LastLoggedFailure() {
  FailureRecordingLog* log = InstalledLog();
  return log ? log->LastFailure() : std::string();
}

}  // namespace priamctl
