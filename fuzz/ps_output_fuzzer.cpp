// What ps prints, read the ways the controller reads it: the node's pid
// file option, its command line masked for the log, the first word of a
// process's command line, and the sidecar's port.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "controller/ToolOutputPort.h"
#include "discovery/CommandLineMask.h"
#include "discovery/JavaToolOutput.h"
#include "discovery/PidFile.h"

namespace {

bool NamesASecret(std::string name) {
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const char* word : {"pass", "pwd", "secret", "token"}) {
    if (name.find(word) != std::string::npos) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string output(reinterpret_cast<const char*>(data), size);

  std::string pidFile;
  if (ZbCassandra::PidFilePathFromSearchOutput(output, &pidFile)) {
    FUZZ_CHECK(pidFile.find_first_of(" \t\n\r\v\f") == std::string::npos);
    FUZZ_CHECK(output.find(pidFile) != std::string::npos);
  }

  const std::string masked = ZbCassandra::MaskCommandLineSecrets(output);
  // The mask is idempotent and never lets a password option's value through.
  FUZZ_CHECK(ZbCassandra::MaskCommandLineSecrets(masked) == masked);
  for (size_t start = masked.find_first_not_of(" \t\n"); start != std::string::npos;) {
    const size_t end = std::min(masked.find_first_of(" \t\n", start), masked.size());
    const std::string word = masked.substr(start, end - start);
    const size_t equals = word.find('=');
    if (equals != std::string::npos && NamesASecret(word.substr(0, equals))) {
      FUZZ_CHECK(word.substr(equals + 1) == "********");
    }
    start = masked.find_first_not_of(" \t\n", end);
  }

  std::string java;
  if (ZbCassandra::JavaPathFromCommandOutput(output, &java)) {
    FUZZ_CHECK(!java.empty() && java.front() != '\n' && java.back() != '\n');
  }

  const int port = ZbCassandra::PortFromToolOutput(ZbCassandra::TrimToolOutput(output));
  FUZZ_CHECK(port >= 0 && port <= 65535);
  return 0;
}
