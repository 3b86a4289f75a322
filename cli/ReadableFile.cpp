#include "ReadableFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace priamctl {

std::string WhyNotReadable(const std::string& path) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) {
    if (errno == ENOENT) return "does not exist";
    return std::string("cannot be read (") + strerror(errno) + ")";
  }
  if (S_ISDIR(status.st_mode)) return "is a directory, not a file";
  if (!S_ISREG(status.st_mode)) return "is not a regular file";
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::string("cannot be read (") + strerror(errno) + ")";
  close(fd);
  return std::string();
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace priamctl
