#include "CYrFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "FXErrorUtil.h"

namespace {

#define FILE_LOCATION (FXCodeLocation{"CYrFile", __PRETTY_FUNCTION__, __LINE__})

CYrError ErrnoError(const FXCodeLocation& location, int code, const char* what,
                    const std::string& path) {
  return FXErrorUtil::ErrorErrNo(location, code, "%s %s: %s", what, path.c_str(), strerror(code));
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Write everything, carrying on after short writes and interruptions.
int WriteAll(int fd, const char* data, size_t length, size_t* written) {
  size_t done = 0;
  while (done < length) {
    const ssize_t n = ::write(fd, data + done, length - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      *written = done;
      return errno;
    }
    done += static_cast<size_t>(n);
  }
  *written = done;
  return 0;
}

// Whole-file reads and copies take regular files only: a device such as
// /dev/zero never ends, and a directory has no content to copy.
CYrError RequireRegularFile(int fd, const std::string& path, struct stat* info) {
  if (fstat(fd, info) != 0) return ErrnoError(FILE_LOCATION, errno, "Cannot stat", path);
  if (S_ISDIR(info->st_mode)) return ErrnoError(FILE_LOCATION, EISDIR, "Cannot read", path);
  if (!S_ISREG(info->st_mode)) {
    return FXErrorUtil::ErrorErrNo(FILE_LOCATION, EINVAL, "Cannot read %s: not a regular file",
                                   path.c_str());
  }
  return CYrError::Success();
}

}  // namespace

CYrFile::~CYrFile() { Discard(); }

void CYrFile::Discard() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
  if (!m_tempPath.empty()) ::unlink(m_tempPath.c_str());
  m_tempPath.clear();
  m_path.clear();
}

CYrError CYrFile::ReadWholeFile(const std::string& path, char** buffer, uint64_t* size) {
  if (!buffer || !size) {
    return FXErrorUtil::ErrorErrNo(FILE_LOCATION, EINVAL, "Cannot read %s: no place for the data",
                                   path.c_str());
  }
  *buffer = nullptr;
  *size = 0;
  CYrFile file;
  CYrError error = file.Open(path, "r");
  if (error.IsError()) return error;
  struct stat info;
  error = RequireRegularFile(file.m_fd, path, &info);
  if (error.IsError()) return error;
  // Files under /proc report size 0, so the size is only a first guess. The
  // spare byte beyond the NUL lets the read that meets the end find it
  // without growing a buffer that is already big enough.
  size_t capacity = static_cast<size_t>(info.st_size) + 2;
  if (capacity < 4096) capacity = 4096;
  std::unique_ptr<char[]> data(new (std::nothrow) char[capacity]);
  if (!data) return ErrnoError(FILE_LOCATION, ENOMEM, "Cannot read", path);
  size_t used = 0;
  for (;;) {
    if (used + 1 == capacity) {
      std::unique_ptr<char[]> bigger(new (std::nothrow) char[capacity * 2]);
      if (!bigger) return ErrnoError(FILE_LOCATION, ENOMEM, "Cannot read", path);
      memcpy(bigger.get(), data.get(), used);
      data = std::move(bigger);
      capacity *= 2;
    }
    const ssize_t n = ::read(file.m_fd, data.get() + used, capacity - 1 - used);
    if (n < 0) {
      if (errno == EINTR) continue;
      return ErrnoError(FILE_LOCATION, errno, "Cannot read", path);
    }
    if (n == 0) break;
    used += static_cast<size_t>(n);
  }
  data[used] = '\0';
  *buffer = data.release();
  *size = used;
  return CYrError::Success();
}

CYrError CYrFile::Copy(const std::string& source, const std::string& destination, mode_t mode) {
  CYrFile from;
  CYrError error = from.Open(source, "r");
  if (error.IsError()) return error;
  struct stat info;
  error = RequireRegularFile(from.m_fd, source, &info);
  if (error.IsError()) return error;
  CYrFile to;
  error = to.Open(destination, "w", mode);
  if (error.IsError()) return error;
  char chunk[65536];
  for (;;) {
    uint32_t got = 0;
    error = from.Read(chunk, sizeof(chunk), &got);
    if (error.IsError()) return error;
    if (got == 0) break;
    error = to.Write(chunk, got, nullptr);
    if (error.IsError()) return error;
  }
  return to.Close();
}

CYrError CYrFile::Open(const std::string& path, const char* mode, mode_t mode_bits) {
  if (m_fd >= 0) {
    return FXErrorUtil::ErrorErrNo(FILE_LOCATION, EBUSY, "Cannot open %s: %s is still open",
                                   path.c_str(), m_path.c_str());
  }
  const std::string how = mode ? mode : "";
  if (path.empty())
    return FXErrorUtil::ErrorErrNo(FILE_LOCATION, ENOENT, "Cannot open a file without a name");
  if (how == "r") {
    // Without O_NONBLOCK, opening a FIFO would wait for a writer forever.
    m_fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd >= 0 && ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK) != 0) {
      const int code = errno;
      Discard();
      return ErrnoError(FILE_LOCATION, code, "Cannot open", path);
    }
  } else if (how == "a") {
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, mode_bits);
  } else if (how == "w") {
    std::string temp = DirectoryOf(path) + "/." + BaseNameOf(path) + ".XXXXXX";
    m_fd = ::mkostemp(&temp[0], O_CLOEXEC);
    if (m_fd >= 0) {
      m_tempPath = temp;
      // mkostemp creates 0600; widen or narrow to what the caller asked for.
      if (::fchmod(m_fd, mode_bits) != 0) {
        const int code = errno;
        Discard();
        return ErrnoError(FILE_LOCATION, code, "Cannot set the mode of", path);
      }
    }
  } else {
    return FXErrorUtil::ErrorErrNo(FILE_LOCATION, EINVAL, "Unknown mode \"%s\" for %s", how.c_str(),
                                   path.c_str());
  }
  if (m_fd < 0) return ErrnoError(FILE_LOCATION, errno, "Cannot open", path);
  m_path = path;
  return CYrError::Success();
}

CYrError CYrFile::Write(const void* data, uint32_t length, uint32_t* written) {
  if (written) *written = 0;
  if (m_fd < 0) return FXErrorUtil::ErrorErrNo(FILE_LOCATION, EBADF, "Write on a closed file");
  size_t done = 0;
  const int code = WriteAll(m_fd, static_cast<const char*>(data), length, &done);
  if (written) *written = static_cast<uint32_t>(done);
  if (code != 0) return ErrnoError(FILE_LOCATION, code, "Cannot write", m_path);
  return CYrError::Success();
}

CYrError CYrFile::Read(void* data, uint32_t length, uint32_t* read) {
  uint32_t ignored = 0;
  if (!read) read = &ignored;
  *read = 0;
  if (m_fd < 0) return FXErrorUtil::ErrorErrNo(FILE_LOCATION, EBADF, "Read on a closed file");
  for (;;) {
    const ssize_t n = ::read(m_fd, data, length);
    if (n >= 0) {
      *read = static_cast<uint32_t>(n);
      return CYrError::Success();
    }
    if (errno != EINTR) return ErrnoError(FILE_LOCATION, errno, "Cannot read", m_path);
  }
}

CYrError CYrFile::Close() {
  if (m_fd < 0) return CYrError::Success();
  const std::string path = m_path;
  if (!m_tempPath.empty()) {
    // The new content must be on disk before it takes the old one's name.
    if (::fsync(m_fd) != 0) {
      const int code = errno;
      Discard();
      return ErrnoError(FILE_LOCATION, code, "Cannot flush", path);
    }
  }
  const int closed = ::close(m_fd);
  const int closeCode = errno;
  m_fd = -1;
  if (closed != 0) {
    Discard();
    return ErrnoError(FILE_LOCATION, closeCode, "Cannot close", path);
  }
  if (!m_tempPath.empty()) {
    if (::rename(m_tempPath.c_str(), path.c_str()) != 0) {
      const int code = errno;
      Discard();
      return ErrnoError(FILE_LOCATION, code, "Cannot replace", path);
    }
    m_tempPath.clear();
  }
  m_path.clear();
  return CYrError::Success();
}
