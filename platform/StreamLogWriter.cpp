#include "StreamLogWriter.h"

#include <fcntl.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <ctime>

#include "FXErrorUtil.h"
#include "FXString.h"

StreamLogWriter::StreamLogWriter(FILE* stream, int level) : StreamLogWriter(stream, level, false) {}

StreamLogWriter::StreamLogWriter(FILE* stream, int level, bool owned)
    : m_stream(stream), m_owned(owned), m_level(level) {}

StreamLogWriter::~StreamLogWriter() {
  if (m_owned && m_stream) fclose(m_stream);
}

CYrError StreamLogWriter::OpenFile(const std::string& path, int level,
                                   boost::shared_ptr<StreamLogWriter>* writer) {
  if (!writer) {
    return FXErrorUtil::ErrorErrNo(FXCodeLocation{"StreamLogWriter", __PRETTY_FUNCTION__, __LINE__},
                                   EINVAL, "Cannot open the log file %s: no place for the writer",
                                   path.c_str());
  }
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  FILE* stream = fd >= 0 ? fdopen(fd, "a") : nullptr;
  if (!stream) {
    const int code = errno;
    if (fd >= 0) ::close(fd);
    return FXErrorUtil::ErrorErrNo(FXCodeLocation{"StreamLogWriter", __PRETTY_FUNCTION__, __LINE__},
                                   code, "Cannot open the log file %s: %s", path.c_str(),
                                   strerror(code));
  }
  writer->reset(new StreamLogWriter(stream, level, true));
  return CYrError::Success();
}

void StreamLogWriter::Write(int level, const char* context, int line, int /*reserved1*/,
                            int /*reserved2*/, const char* format, ...) {
  if (level > GetLevel() || !format) return;
  va_list args;
  va_start(args, format);
  const std::string text = FXString::FormatV(format, args);
  va_end(args);

  struct timeval now;
  gettimeofday(&now, nullptr);
  struct tm local;
  localtime_r(&now.tv_sec, &local);
  char stamp[32];
  strftime(stamp, sizeof(stamp), "%Y-%m-%d %H:%M:%S", &local);

  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_stream) return;
  fprintf(m_stream, "%s.%03ld [%d] %s:%d %s\n", stamp, static_cast<long>(now.tv_usec / 1000), level,
          context ? context : "", line, text.c_str());
  fflush(m_stream);
}

int StreamLogWriter::GetLevel() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_level;
}

void StreamLogWriter::SetLevel(int level) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_level = level;
}
