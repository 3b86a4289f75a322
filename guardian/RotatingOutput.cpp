#include "guardian/RotatingOutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

namespace ZbCassandra {

namespace {

constexpr uint64_t kCheckEvery = 256 * 1024;
constexpr std::chrono::seconds kCheckAtLeastEvery(1);
// The output never takes the last tenth of its filesystem: the node's own
// files, the secret removal and the next launch need it more.
constexpr uint64_t kKeptFreeDivisor = 10;
// Blocks kept in hand between two checks: the last block of the file is
// partly filled, and the filesystem may need one for its own bookkeeping.
constexpr uint64_t kSpareBlocks = 2;
// Whatever the filesystem tells of itself, nothing is known about its space.
constexpr uint64_t kUnknownRoom = std::numeric_limits<uint64_t>::max();
constexpr size_t kLongestNote = 256;

constexpr char kNearlyFull[] = "the filesystem was nearly full";
constexpr char kNotCreated[] = "the file could not be created";
constexpr char kWriteFailed[] = "a write failed";

}  // namespace

RotatingOutput::RotatingOutput(const std::string& path, uint64_t limit)
    : m_path(path),
      m_previous(path + ".1"),
      m_oldest(path + ".2"),
      m_limit(std::max(limit, kSmallestOutputLimit)) {}

RotatingOutput::~RotatingOutput() {
  if (m_fd >= 0) close(m_fd);
}

bool RotatingOutput::Open(std::string* error) {
  const int code = StartFile();
  m_checkNow = true;
  if (code == 0) return true;
  *error = "cannot create " + m_path + ": " + strerror(code);
  return false;
}

bool RotatingOutput::Continue(std::string* error) {
  if (m_fd >= 0) close(m_fd);
  m_checkNow = true;
  m_fd = open(m_path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  struct stat info;
  if (m_fd >= 0 && (fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode))) {
    close(m_fd);
    m_fd = -1;
    errno = EINVAL;
  }
  if (m_fd < 0) {
    m_fileError = errno;
    *error = "cannot open " + m_path + ": " + strerror(m_fileError);
    return false;
  }
  fchmod(m_fd, 0600);
  m_fileError = 0;
  m_size = static_cast<uint64_t>(info.st_size);
  char last = '\n';
  m_midLine = m_size > 0 && pread(m_fd, &last, 1, info.st_size - 1) == 1 && last != '\n';
  return true;
}

void RotatingOutput::Write(const char* data, size_t length) noexcept {
  // A piece never exceeds the limit, so no file does.
  while (length > 0) {
    const size_t piece = static_cast<size_t>(std::min<uint64_t>(length, m_limit));
    WritePiece(data, piece);
    data += piece;
    length -= piece;
  }
}

void RotatingOutput::WritePiece(const char* data, size_t length) {
  const uint64_t noteSpace = m_droppedUnnoted > 0 ? kLongestNote : 0;
  if (m_fd >= 0 && m_size > 0 && m_size + noteSpace + length > m_limit) {
    // A failure leaves no file: the checks try again.
    if (StartFile() == 0) m_checkNow = true;
  }
  const auto now = std::chrono::steady_clock::now();
  if (CheckIsDue(now)) CheckSpace(now);
  m_sinceCheck += length;
  if (m_fd < 0) return Drop(length, kNotCreated, m_fileError);

  char note[kLongestNote];
  const size_t noteLength = FormatNote(note, sizeof(note));
  if (!Fits(noteLength + length)) return Drop(length, kNearlyFull, 0);
  size_t written = 0;
  if (noteLength > 0) {
    const int code = WriteOut(note, noteLength, &written);
    if (code != 0) return Drop(length, kWriteFailed, code);
    m_droppedUnnoted = 0;
  }
  const int code = WriteOut(data, length, &written);
  if (code != 0) Drop(length - written, kWriteFailed, code);
}

size_t RotatingOutput::FormatNote(char* note, size_t size) const {
  if (m_droppedUnnoted == 0) return 0;
  // On a line of its own, even after a write that stopped mid-line.
  const int length =
      snprintf(note, size, "%s[zbPriam: %llu bytes of the sidecar's output dropped: %s]\n",
               m_midLine ? "\n" : "", static_cast<unsigned long long>(m_droppedUnnoted), m_reason);
  return std::min(static_cast<size_t>(std::max(length, 0)), size - 1);
}

bool RotatingOutput::CheckIsDue(std::chrono::steady_clock::time_point now) const {
  return m_checkNow || m_sinceCheck >= kCheckEvery || now - m_lastCheck >= kCheckAtLeastEvery;
}

void RotatingOutput::CheckSpace(std::chrono::steady_clock::time_point now) {
  m_checkNow = false;
  m_sinceCheck = 0;
  m_lastCheck = now;
  if (m_fd < 0 && StartFile() != 0) return;
  struct statvfs filesystem;
  if (fstatvfs(m_fd, &filesystem) != 0 || filesystem.f_blocks == 0) {
    // Only the writes themselves can tell.
    m_room = kUnknownRoom;
    m_block = 0;
    return;
  }
  m_block = filesystem.f_frsize != 0 ? filesystem.f_frsize : filesystem.f_bsize;
  const uint64_t keep = (filesystem.f_blocks + kKeptFreeDivisor - 1) / kKeptFreeDivisor;
  // What an unprivileged user may still use: the node runs as one.
  const uint64_t available = filesystem.f_bavail;
  m_room = available > keep ? (available - keep) * m_block : 0;
}

bool RotatingOutput::Fits(uint64_t length) const {
  return m_room == kUnknownRoom || length + kSpareBlocks * m_block <= m_room;
}

int RotatingOutput::StartFile() {
  if (m_fd >= 0) close(m_fd);
  m_fd = -1;
  m_size = 0;
  m_midLine = false;
  m_fileError = 0;
  struct stat existing;
  // rename moves a symbolic link itself, never what it points at.
  if (lstat(m_path.c_str(), &existing) == 0) {
    rename(m_previous.c_str(), m_oldest.c_str());
    if (rename(m_path.c_str(), m_previous.c_str()) != 0) m_fileError = errno;
  }
  if (m_fileError == 0) {
    m_fd = open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (m_fd < 0) m_fileError = errno;
  }
  if (m_fd >= 0) fchmod(m_fd, 0600);  // the umask may have taken more
  return m_fileError;
}

int RotatingOutput::WriteOut(const char* data, size_t length, size_t* written) {
  size_t done = 0;
  int code = 0;
  while (done < length) {
    const ssize_t n = write(m_fd, data + done, length - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      code = n < 0 ? errno : EIO;
      break;
    }
  }
  m_size += done;
  if (m_room != kUnknownRoom) m_room -= std::min<uint64_t>(done, m_room);
  if (done > 0) m_midLine = data[done - 1] != '\n';
  // The filesystem may be fuller than the last look said.
  if (code != 0) m_checkNow = true;
  *written = done;
  return code;
}

void RotatingOutput::Drop(uint64_t length, const char* reason, int code) {
  m_droppedTotal += length;
  m_droppedUnnoted += length;
  if (code != 0) {
    snprintf(m_reason, sizeof(m_reason), "%s: %s", reason, strerror(code));
  } else {
    snprintf(m_reason, sizeof(m_reason), "%s", reason);
  }
}

}  // namespace ZbCassandra
