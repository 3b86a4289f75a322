#include "OwnerOnlyLogFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace priamctl {

namespace {

std::string WhyNotOpened(int code) {
  if (code == ELOOP) return "is a symbolic link; give the file itself";
  if (code == EISDIR) return "is a directory, not a file";
  if (code == ENXIO) return "is not a regular file";
  return std::string("cannot be opened (") + strerror(code) + ")";
}

}  // namespace

bool OpenOwnerOnlyLogFile(const std::string& path, int level,
                          boost::shared_ptr<StreamLogWriter>* writer, std::string* error) {
  // O_NONBLOCK: a FIFO without a reader must not block here; it is refused
  // below like every other file that is not a regular one.
  const int fd =
      open(path.c_str(),
           O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK, 0600);
  if (fd < 0) {
    *error = "--log-file " + path + " " + WhyNotOpened(errno);
    return false;
  }
  struct stat status;
  std::string why;
  if (fstat(fd, &status) != 0) {
    why = std::string("cannot be examined (") + strerror(errno) + ")";
  } else if (!S_ISREG(status.st_mode)) {
    why = "is not a regular file";
  } else if ((status.st_mode & 077) != 0 && fchmod(fd, S_IRUSR | S_IWUSR) != 0) {
    why = std::string("cannot be made owner-only (") + strerror(errno) + ")";
  }
  FILE* stream = why.empty() ? fdopen(fd, "a") : nullptr;
  if (!stream) {
    if (why.empty()) why = std::string("cannot be opened (") + strerror(errno) + ")";
    close(fd);
    *error = "--log-file " + path + " " + why;
    return false;
  }
  // The writer leaves its stream to its creator: closed with the writer.
  writer->reset(new StreamLogWriter(stream, level), [stream](StreamLogWriter* owned) {
    delete owned;
    fclose(stream);
  });
  return true;
}

}  // namespace priamctl
