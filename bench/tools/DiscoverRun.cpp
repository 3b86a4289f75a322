// A host's discovery, as one process: construct a controller on a node and
// ask it everything it learned. Prints the answers and its own peak memory.
//   priam_bench_discover NODE_DIR PRIAM_DIR PRIAM_CONF_DIR
#include <sys/resource.h>

#include <cstdio>
#include <string>
#include <vector>

#include "PriamUtil.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s NODE_DIR PRIAM_DIR PRIAM_CONF_DIR\n", argv[0]);
    return 2;
  }
  ZbCassandra::PriamUtil controller(0, CYrString(""), argv[2], argv[3], argv[1], false);
  if (controller.initFailed()) {
    std::fprintf(stderr, "the controller did not initialize\n");
    return 1;
  }
  std::vector<std::string> directories;
  std::vector<std::string> seeds;
  if (controller.getCassandraDataDir(directories).IsError() ||
      controller.getCassandraSeeds(&seeds).IsError()) {
    std::fprintf(stderr, "a query failed\n");
    return 1;
  }
  std::string file;
  std::string flavor;
  controller.getConfFileNameCassFlavor(file, flavor);
  std::printf("java=%s\nyaml=%s\nflavor=%s\ncql=%s:%s\njmx=%s\n", controller.javaPath().c_str(),
              file.c_str(), flavor.c_str(), controller.cqlHost().c_str(),
              controller.cqlPort().c_str(), controller.jmxPort().c_str());
  for (const std::string& directory : directories) std::printf("data=%s\n", directory.c_str());
  for (const std::string& seed : seeds) std::printf("seed=%s\n", seed.c_str());

  struct rusage self = {};
  getrusage(RUSAGE_SELF, &self);
  std::printf("self_peak_rss_kib=%ld\n", self.ru_maxrss);
  return 0;
}
