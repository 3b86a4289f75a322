// What `which java` and `whereis java` print, read as Java locations.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "discovery/JavaToolOutput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string output(reinterpret_cast<const char*>(data), size);

  std::string path;
  if (ZbCassandra::JavaPathFromWhichOutput(output, &path)) {
    FUZZ_CHECK(!path.empty() && path.back() != '\n');
    FUZZ_CHECK(output.compare(0, path.size(), path) == 0);
  } else {
    FUZZ_CHECK(output.find_first_not_of('\n') == std::string::npos);
  }

  const std::vector<std::string> locations = ZbCassandra::WhereisLocations(output);
  size_t length = 0;
  for (const std::string& location : locations) {
    FUZZ_CHECK(location.find(' ') == std::string::npos);
    length += location.size() + 1;
  }
  FUZZ_CHECK(length <= output.size());
  return 0;
}
