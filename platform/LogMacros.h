// Logging and error-location macros for code that runs inside a host.
//
// Code never calls the writer directly: these macros ask for the level,
// copy the shared writer pointer (so a host that swaps it meanwhile cannot
// pull it away) and pass the calling function's signature and line.
#pragma once

#include <memory>

#include "CLogWriterInterface.h"
#include "CYrError.h"
#include "ZBDebugFunction.h"

// The code location of the current line, for errors built or pushed here.
#define ZB_CODE_LOCATION(file) (FXCodeLocation{(file), __PRETTY_FUNCTION__, __LINE__})

// Write a message of `level` when the writer's level is `level` or more.
#define ZB_LOG(level, ...)                                                            \
  do {                                                                                \
    ::boost::shared_ptr<CLogWriterInterface> zbLogWriter_ = g_ptrLogWriter;           \
    if (zbLogWriter_ && zbLogWriter_->GetLevel() >= (level)) {                        \
      zbLogWriter_->Write((level), __PRETTY_FUNCTION__, __LINE__, 0, 0, __VA_ARGS__); \
    }                                                                                 \
  } while (0)

// Write a failure message (level -1) without asking for the level.
#define ZB_LOG_FAILURE(...)                                                      \
  do {                                                                           \
    ::boost::shared_ptr<CLogWriterInterface> zbLogWriter_ = g_ptrLogWriter;      \
    if (zbLogWriter_) {                                                          \
      zbLogWriter_->Write(-1, __PRETTY_FUNCTION__, __LINE__, 0, 0, __VA_ARGS__); \
    }                                                                            \
  } while (0)

// Trace the enclosing function's entry and exit when the level is 1 or more.
#define ZB_TRACE_ENTRY() \
  const ::std::unique_ptr<ZBDebugFunction> zbTracer_ = ZbOpenTracer(__PRETTY_FUNCTION__, __LINE__)

inline std::unique_ptr<ZBDebugFunction> ZbOpenTracer(const char* function, int line) {
  boost::shared_ptr<CLogWriterInterface> writer = g_ptrLogWriter;
  if (!writer || writer->GetLevel() < 1) return nullptr;
  return std::unique_ptr<ZBDebugFunction>(
      new ZBDebugFunction(writer, 2, function, line, 1, 0, 0xFFFFFFFFu, nullptr));
}
