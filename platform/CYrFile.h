// POSIX files.
//
// Files written through this class are replaced atomically: "w" writes a
// temporary file next to the target and Close() renames it over the target,
// so a reader never sees a half-written file and a failed write leaves the
// old file whole. New files are owner-only (0600) unless asked otherwise,
// because the files this platform writes may hold credentials.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "CYrError.h"

class CYrFile {
 public:
  static constexpr mode_t kOwnerOnly = 0600;

  CYrFile() = default;
  ~CYrFile();  // an open file is closed; an unfinished "w" leaves the target untouched
  CYrFile(const CYrFile&) = delete;
  CYrFile& operator=(const CYrFile&) = delete;

  // Read the whole regular file at `path` into a new buffer followed by a
  // NUL (a directory, device or FIFO is refused).
  // `*buffer` is owned by the caller and released with delete[]; it is null
  // after a failure. `*size` receives the byte count without the NUL.
  static CYrError ReadWholeFile(const std::string& path, char** buffer, uint64_t* size);

  // Replace `destination` with a copy of the regular file `source`,
  // atomically, with the permission bits `mode`. A failure leaves
  // `destination` as it was.
  static CYrError Copy(const std::string& source, const std::string& destination,
                       mode_t mode = kOwnerOnly);

  // Modes: "r" read, "w" atomic replace (see above), "a" append. `mode_bits`
  // applies to a file that "w" or "a" creates.
  CYrError Open(const std::string& path, const char* mode, mode_t mode_bits = kOwnerOnly);
  // Write `length` bytes; `written` (may be null) receives the count written.
  CYrError Write(const void* data, uint32_t length, uint32_t* written);
  // Read up to `length` bytes; `read` (may be null) receives the count (0
  // at the end).
  CYrError Read(void* data, uint32_t length, uint32_t* read);
  // Flush and close; for "w", make the new content the file's.
  CYrError Close();
  bool IsOpen() const { return m_fd >= 0; }

 private:
  void Discard();

  int m_fd = -1;
  std::string m_path;      // the file the caller named
  std::string m_tempPath;  // for "w": the file being written
};
