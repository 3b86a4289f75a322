// A log writer for fuzz targets: every message is formatted, so that text
// from the input goes through the real format calls, and then dropped.
#pragma once

#include <cstdarg>
#include <cstdio>

#include "CLogWriterInterface.h"

class FormattingLogWriter : public CLogWriterInterface {
 public:
  void Write(int, const char*, int, int, int, const char* format, ...) override
      __attribute__((format(printf, 7, 8))) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof(buffer), format, args);
    va_end(args);
  }
  int GetLevel() override { return 3; }
};
