#include "SmallFilesystem.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace testsupport {

SmallFilesystem::SmallFilesystem(uint64_t bytes) {
  const std::string options = "size=" + std::to_string(bytes) + ",mode=0700";
  m_mounted = mount("tmpfs", path().c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
  if (!m_mounted) m_refusal = std::string("cannot mount a tmpfs: ") + strerror(errno);
}

SmallFilesystem::~SmallFilesystem() {
  // A descriptor still open in the test keeps it busy: detach it then.
  if (m_mounted && umount(path().c_str()) != 0) umount2(path().c_str(), MNT_DETACH);
}

void SmallFilesystem::FillUp(const std::string& name) const {
  const int fd = open(file(name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0) << strerror(errno);
  const std::string block(4096, 'f');
  while (write(fd, block.data(), block.size()) > 0) {
  }
  // Then whatever a partly used block still takes.
  while (write(fd, "f", 1) > 0) {
  }
  close(fd);
  EXPECT_EQ(FreeBytes(), 0u);
}

uint64_t SmallFilesystem::FreeBytes() const {
  struct statvfs info {};
  if (statvfs(path().c_str(), &info) != 0) ADD_FAILURE() << strerror(errno);
  return static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
}

uint64_t SmallFilesystem::TotalBytes() const {
  struct statvfs info {};
  if (statvfs(path().c_str(), &info) != 0) ADD_FAILURE() << strerror(errno);
  return static_cast<uint64_t>(info.f_blocks) * info.f_frsize;
}

}  // namespace testsupport
