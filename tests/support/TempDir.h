// A fresh directory under $TMPDIR (or /tmp), removed with its content.
#pragma once

#include <string>

namespace testsupport {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return m_path; }
  // path() + "/" + name
  std::string file(const std::string& name) const;
  // Write `content` to path()/name (mode 0644) and return the full path.
  std::string write(const std::string& name, const std::string& content) const;

 private:
  std::string m_path;
};

// The whole content of a file; "" (and a failed expectation) when unreadable.
std::string ReadFile(const std::string& path);
// Write a file, replacing it, and give it `mode`.
void WriteFile(const std::string& path, const std::string& content, int mode = 0644);
// The permission bits of a file, or -1.
int FileMode(const std::string& path);
bool PathExists(const std::string& path);
// Every entry of a directory with its type, mode and (for a file) content,
// in name order: two snapshots are equal when nothing there changed.
std::string DirectorySnapshot(const std::string& path);

}  // namespace testsupport
