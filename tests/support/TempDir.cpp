#include "TempDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace testsupport {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/priamtest.XXXXXX";
  if (!mkdtemp(&pattern[0])) ADD_FAILURE() << "cannot create a temporary directory";
  m_path = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(m_path, ignored);
}

std::string TempDir::file(const std::string& name) const { return m_path + "/" + name; }

std::string TempDir::write(const std::string& name, const std::string& content) const {
  const std::string path = file(name);
  WriteFile(path, content);
  return path;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in.good()) {
    ADD_FAILURE() << "cannot read " << path;
    return std::string();
  }
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void WriteFile(const std::string& path, const std::string& content, int mode) {
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out.good()) ADD_FAILURE() << "cannot write " << path;
  }
  chmod(path.c_str(), static_cast<mode_t>(mode));
}

int FileMode(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return -1;
  return static_cast<int>(info.st_mode & 07777);
}

bool PathExists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

std::string DirectorySnapshot(const std::string& path) {
  std::map<std::string, std::string> entries;
  for (const auto& entry : std::filesystem::directory_iterator(path)) {
    struct stat info;
    const std::string name = entry.path().string();
    if (lstat(name.c_str(), &info) != 0) continue;
    std::string text = std::to_string(info.st_mode) + "\n";
    // Its size stands for a lock file's content: opening and closing it
    // would drop a record lock that this process holds.
    if (S_ISREG(info.st_mode) && entry.path().filename() == "zbPriam.lock") {
      text += std::to_string(info.st_size);
    } else if (S_ISREG(info.st_mode)) {
      text += ReadFile(name);
    }
    entries[entry.path().filename().string()] = text;
  }
  std::string snapshot;
  for (const auto& entry : entries) snapshot += "== " + entry.first + " " + entry.second + "\n";
  return snapshot;
}

}  // namespace testsupport
