// The sidecar's output file, bounded in size and kept off the last tenth of
// its filesystem.
//
// A guardian process drains the sidecar's stdout and stderr from a pipe into
// it. A pipe nobody drains stalls the sidecar, so writing here never fails:
// what cannot be written is dropped and counted, and once writing works
// again one line says how much went missing. A JVM logging verbosely writes
// megabytes a second; without the bound it fills the node's filesystem, and
// then the secret removal and every later launch fail with it.
//
// Built on POSIX and the standard library only, so that a small helper
// program can link it without the platform layer or libcurl. Not
// thread-safe: one writer.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "supervision/SidecarOutput.h"

namespace ZbCassandra {

// Smaller limits are raised to this, so that one drained read fits a file.
constexpr uint64_t kSmallestOutputLimit = uint64_t{64} << 10;

class RotatingOutput {
 public:
  // Output to `path`, no file larger than `limit` bytes. Nothing is opened
  // before Open().
  explicit RotatingOutput(const std::string& path, uint64_t limit = kDefaultOutputLimit);
  ~RotatingOutput();
  RotatingOutput(const RotatingOutput&) = delete;
  RotatingOutput& operator=(const RotatingOutput&) = delete;

  // Start a fresh file at `path`, keeping the previous one as "<path>.1"
  // and that one's predecessor as "<path>.2" (an older "<path>.2" goes).
  // The file is created 0600 whatever the umask, close-on-exec, never
  // through a symbolic link (a link at `path` is moved aside like a file).
  // False, with the reason in `*error`, when it cannot be created; Write()
  // then drops and counts its bytes and tries again at its checks (as it
  // does when Open() was never called).
  bool Open(std::string* error);

  // Go on with the file at `path` as it is (a regular file, never through a
  // symbolic link; created as Open() creates it when there is none): what a
  // guardian that replaces an ended one does, so that the sidecar's output
  // stays in one file. False, with the reason, as for Open().
  bool Continue(std::string* error);

  // Append `length` bytes. When they would take the file past the limit,
  // the files rotate first as in Open(). Bytes that would leave less than a
  // tenth of the filesystem free, or that a write refuses (ENOSPC, EIO,
  // ...), are dropped and counted; before the next bytes that go out, one
  // line "[zbPriam: N bytes of the sidecar's output dropped: REASON]" says
  // so. Free space is looked up at most once per 256 KiB passed in or per
  // second, and after a failed write. Never fails, never throws. A file
  // size limit (RLIMIT_FSIZE) raises SIGXFSZ, which ends a process that
  // does not ignore it.
  void Write(const char* data, size_t length) noexcept;

  // Every byte dropped since construction.
  uint64_t DroppedBytes() const { return m_droppedTotal; }

 private:
  void WritePiece(const char* data, size_t length);
  bool CheckIsDue(std::chrono::steady_clock::time_point now) const;
  void CheckSpace(std::chrono::steady_clock::time_point now);
  // Move the files aside and create a fresh one; errno, or 0.
  int StartFile();
  bool Fits(uint64_t length) const;
  // The line on the bytes dropped since the last one; its length, 0 when
  // there is nothing to note.
  size_t FormatNote(char* note, size_t size) const;
  // Write what the filesystem takes; errno, or 0 when all went out.
  int WriteOut(const char* data, size_t length, size_t* written);
  void Drop(uint64_t length, const char* reason, int code);

  const std::string m_path;
  const std::string m_previous;  // "<path>.1"
  const std::string m_oldest;    // "<path>.2"
  const uint64_t m_limit;

  int m_fd = -1;
  int m_fileError = 0;     // why there is no file
  uint64_t m_size = 0;     // of the current file
  bool m_midLine = false;  // the file does not end in a LF
  uint64_t m_room = 0;     // what may still be written before the reserve
  uint64_t m_block = 0;    // the filesystem's block size
  uint64_t m_sinceCheck = 0;
  bool m_checkNow = true;
  std::chrono::steady_clock::time_point m_lastCheck;

  uint64_t m_droppedTotal = 0;
  uint64_t m_droppedUnnoted = 0;
  char m_reason[128] = {};  // why the unnoted bytes went
};

}  // namespace ZbCassandra
