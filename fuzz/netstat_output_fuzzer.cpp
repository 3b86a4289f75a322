// What netstat prints, read the ways the controller reads it: the CQL
// listener's address and the sidecar's port.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "controller/ToolOutputPort.h"
#include "discovery/PortText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string output(reinterpret_cast<const char*>(data), size);

  std::string host = "unchanged";
  if (ZbCassandra::CqlHostFromNetstatOutput(output, &host)) {
    FUZZ_CHECK(host.find(':') == std::string::npos);
    FUZZ_CHECK(output.compare(0, host.size() + 1, host + ":") == 0);
  } else {
    FUZZ_CHECK(host == "unchanged");
  }

  const std::string trimmed = ZbCassandra::TrimToolOutput(output);
  const int port = ZbCassandra::PortFromToolOutput(trimmed);
  FUZZ_CHECK(port >= 0 && port <= 65535);
  if (port != 0) FUZZ_CHECK(trimmed.find(std::to_string(port)) != std::string::npos);
  return 0;
}
