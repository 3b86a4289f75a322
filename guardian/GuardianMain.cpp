// zbpriam-guardian: started by the library beside each sidecar; see
// Guardian.h. Not meant to be run by hand.
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "guardian/Guardian.h"
#include "guardian/RotatingOutput.h"
#include "supervision/GuardianProtocol.h"

int main(int argc, char** argv) {
  // Blocked first: a stop that arrives while we set up must not be lost.
  sigset_t stops;
  sigemptyset(&stops);
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&stops, signal);
  sigprocmask(SIG_BLOCK, &stops, nullptr);
  const int signals = signalfd(-1, &stops, SFD_CLOEXEC | SFD_NONBLOCK);
  signal(SIGPIPE, SIG_IGN);
  // A file size limit must cost output, not the guardian.
  signal(SIGXFSZ, SIG_IGN);

  ZbCassandra::GuardianOptions options;
  std::string error;
  if (!ZbCassandra::ParseGuardianOptions(argc, argv, &options, &error)) {
    fprintf(stderr, "zbpriam-guardian: %s\n", error.c_str());
    return 2;
  }
  // Without a file the output is drained all the same, and dropped.
  ZbCassandra::RotatingOutput output(options.output, options.outputLimit);
  const bool toFile = !options.output.empty() &&
                      (options.appendOutput ? output.Continue(&error) : output.Open(&error));
  ZbCassandra::Guardian guardian(options, signals,
                                 [&output, toFile](const char* data, size_t size) {
                                   if (toFile) output.Write(data, size);
                                 });
  return guardian.Run();
}
