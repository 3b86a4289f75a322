#include "ZBDebugFunction.h"

#include <cstdarg>

#include "FXString.h"

ZBDebugFunction::ZBDebugFunction(boost::shared_ptr<CLogWriterInterface> logger, int /*category*/,
                                 const char* function, int line, int /*flags*/,
                                 uint64_t /*context*/, uint32_t /*mask*/, const char* format, ...)
    : m_logger(std::move(logger)), m_function(function ? function : ""), m_line(line) {
  if (!m_logger) return;
  std::string detail;
  if (format) {
    va_list args;
    va_start(args, format);
    detail = " " + FXString::FormatV(format, args);
    va_end(args);
  }
  m_logger->Write(1, m_function.c_str(), m_line, 0, 0, "Enter%s", detail.c_str());
}

ZBDebugFunction::~ZBDebugFunction() {
  if (m_logger) m_logger->Write(1, m_function.c_str(), m_line, 0, 0, "%s", "Exit");
}
