// A real filesystem of a few megabytes (tmpfs), mounted for one test, to
// fill up for real: a full disk cannot be faked with permissions as root.
#pragma once

#include <cstdint>
#include <string>

#include "TempDir.h"

namespace testsupport {

class SmallFilesystem {
 public:
  // Mount a tmpfs of `bytes` on a fresh directory; when the system refuses
  // (no privilege, no mount namespace), refusal() says why.
  explicit SmallFilesystem(uint64_t bytes);
  ~SmallFilesystem();  // unmounted whatever the test left open
  SmallFilesystem(const SmallFilesystem&) = delete;
  SmallFilesystem& operator=(const SmallFilesystem&) = delete;

  bool mounted() const { return m_mounted; }
  const std::string& refusal() const { return m_refusal; }
  const std::string& path() const { return m_mountPoint.path(); }
  std::string file(const std::string& name) const { return m_mountPoint.file(name); }

  // Write the file `name` until the filesystem has no block left.
  void FillUp(const std::string& name) const;
  // Free and total bytes, as an unprivileged user sees them.
  uint64_t FreeBytes() const;
  uint64_t TotalBytes() const;

 private:
  TempDir m_mountPoint;
  bool m_mounted = false;
  std::string m_refusal;
};

}  // namespace testsupport
