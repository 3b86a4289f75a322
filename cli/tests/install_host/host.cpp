// A host program built against the installed library: it installs a log
// writer, constructs a controller on an empty node directory and reports.
#include <cstdio>

#include "PriamUtil.h"
#include "StreamLogWriter.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  g_ptrLogWriter.reset(new StreamLogWriter(stderr, 0));
  ZbCassandra::PriamUtil priam(0, "/bin/true", argv[1], "", argv[1], false);
  printf("initFailed=%d cqlPort=%s jmxPort=%s\n", priam.initFailed() ? 1 : 0,
         priam.cqlPort().c_str(), priam.jmxPort().c_str());
  return priam.initFailed() ? 1 : 0;
}
