// A pid file's content, as text and as a file on disk.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

#include "FuzzCheck.h"
#include "ScratchDir.h"
#include "discovery/PidFile.h"

namespace {

const std::string& PidFilePath() {
  static const std::string path = [] {
    return MakeScratchDirectory("pid-fuzz") + "/cassandra.pid";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string content(reinterpret_cast<const char*>(data), size);

  std::string pid;
  const bool isPid = ZbCassandra::PidFromPidFileContent(content, &pid);
  if (isPid) {
    // Plain decimal, ready for a command line.
    FUZZ_CHECK(!pid.empty() && pid.size() <= 10 && pid.front() != '0');
    FUZZ_CHECK(pid.find_first_not_of("0123456789") == std::string::npos);
    FUZZ_CHECK(std::stoll(pid) <= INT_MAX);
  }

  {
    std::ofstream out(PidFilePath(), std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
  }
  std::string fromFile;
  std::string why;
  const bool read = ZbCassandra::ReadPidFile(PidFilePath(), &fromFile, &why);
  FUZZ_CHECK(read == isPid);
  if (read)
    FUZZ_CHECK(fromFile == pid);
  else
    FUZZ_CHECK(!why.empty());
  return 0;
}
