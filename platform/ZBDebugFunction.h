// Function-entry tracer: writes an entry line when created and an exit line
// when destroyed, both at level 1, with the traced function as context.
#pragma once

#include <cstdint>
#include <string>

#include "CLogWriterInterface.h"

class ZBDebugFunction {
 public:
  // `category`, `flags`, `context` and `mask` are kept for the host's
  // tracer; this one does not use them. `format` may be null; otherwise its
  // text follows the function name on the entry line.
  ZBDebugFunction(boost::shared_ptr<CLogWriterInterface> logger, int category, const char* function,
                  int line, int flags, uint64_t context, uint32_t mask, const char* format, ...)
      __attribute__((format(printf, 9, 10)));
  ~ZBDebugFunction();
  ZBDebugFunction(const ZBDebugFunction&) = delete;
  ZBDebugFunction& operator=(const ZBDebugFunction&) = delete;

 private:
  boost::shared_ptr<CLogWriterInterface> m_logger;
  std::string m_function;
  int m_line;
};
