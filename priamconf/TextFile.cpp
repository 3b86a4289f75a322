#include "priamconf/TextFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>

#include "CYrFile.h"
#include "common/ControllerLog.h"

namespace ZbCassandra {

namespace {

CYrError OverwriteError(const std::string& path, int code) {
  return FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, code, "Cannot overwrite %s: %s", path.c_str(),
                                 strerror(code));
}

// Write all of `text` from the start of the file; errno, or 0.
int WriteFromStart(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = pwrite(fd, text.data() + done, text.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : EIO;
    done += static_cast<size_t>(n);
  }
  return 0;
}

CYrError Overwrite(int fd, const std::string& path, const std::string& text) {
  struct stat info;
  if (fstat(fd, &info) != 0) return OverwriteError(path, errno);
  if (!S_ISREG(info.st_mode)) return OverwriteError(path, EINVAL);
  // Growing the file may need a block the filesystem no longer has, and a
  // write that stops there would leave the new content cut short.
  if (text.size() > static_cast<uint64_t>(info.st_size)) {
    return FXErrorUtil::ErrorErrNo(PRIAM_LOCATION, ENOSPC,
                                   "Cannot overwrite %s: the new content is longer", path.c_str());
  }
  int code = fchmod(fd, CYrFile::kOwnerOnly) == 0 ? 0 : errno;
  if (code == 0) code = WriteFromStart(fd, text);
  if (code == 0 && ftruncate(fd, static_cast<off_t>(text.size())) != 0) code = errno;
  if (code == 0 && fsync(fd) != 0) code = errno;
  return code == 0 ? CYrError::Success() : OverwriteError(path, code);
}

}  // namespace

CYrError ReadTextFile(const std::string& path, std::string& text) {
  char* buffer = nullptr;
  uint64_t size = 0;
  CYrError error = CYrFile::ReadWholeFile(path, &buffer, &size);
  const std::unique_ptr<char[]> owned(buffer);
  if (error.IsError()) return error;
  text.assign(buffer, size);
  return CYrError::Success();
}

CYrError ReplaceTextFile(const std::string& path, const std::string& text) {
  CYrFile file;
  CYrError error = file.Open(path, "w", CYrFile::kOwnerOnly);
  if (error.IsError()) return error;
  // One write takes at most a 32-bit count.
  constexpr size_t kChunk = size_t{1} << 30;
  for (size_t done = 0; done < text.size(); done += kChunk) {
    const size_t length = std::min(kChunk, text.size() - done);
    error = file.Write(text.data() + done, static_cast<uint32_t>(length), nullptr);
    // Returning without Close() drops the temporary file; the old one stays.
    if (error.IsError()) return error;
  }
  return file.Close();
}

CYrError OverwriteTextFile(const std::string& path, const std::string& text) {
  // O_NONBLOCK: a FIFO put in the file's place must not hang the open.
  const int fd = open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return OverwriteError(path, errno);
  CYrError error = Overwrite(fd, path, text);
  if (close(fd) != 0 && !error.IsError()) error = OverwriteError(path, errno);
  return error;
}

}  // namespace ZbCassandra
