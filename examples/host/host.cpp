// A host of the PriamUtil library, as a node's backup agent would be: it
// makes a controller, writes the sidecar's properties, starts the sidecar,
// asks it one operation, tells the errors apart by their codes, gives up at
// SIGTERM, and stops the sidecar.
//
//   CQL_PASSWORD=... host PRIAM_DIR PRIAM_CONF_DIR NODE_CONF_DIR [OPERATION]
//
// OPERATION defaults to "info". The password comes from the environment:
// every user can read a command line. Exit status: 0 the reply is on
// standard output; 1 the launch or the request failed (why, on standard
// error); 2 usage; 143 SIGTERM ended it (the sidecar is stopped, the
// secrets are out of the properties file).
//
// To try it without a node or Priam: on the stand-in sidecar and the sample
// node that the priamctl package installs in /usr/share/priamutil, built
// with the CMakeLists.txt beside this file, from an empty directory:
//
//   cmake -S /usr/share/doc/libpriamutil-dev/examples/host -B build
//   cmake --build build
//   printf '[Cassandra]\nsPriamTemplateDir=%s\n' /usr/share/priamutil/examples/templates >store.ini
//   mkdir conf
//   ZB_PLATFORM_CONFIG=store.ini CQL_PASSWORD=example-only build/host \
//     /usr/share/priamutil/standin "$PWD/conf" /usr/share/priamutil/examples/node
//
// It prints the stand-in's "info" reply. store.ini names the template of
// the properties; standin/ is the stand-in's Priam directory (its priam.jar
// and log4j template); conf/ keeps the sidecar's output and log
// (zbPriam.out) and its properties, the password taken out. Installed with
// `cmake --install --prefix P` instead, the example is in
// P/share/doc/PriamUtil/examples/host and the samples in P/share/priamutil;
// give the first cmake -DCMAKE_PREFIX_PATH=P.
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "PriamUtil.h"
#include "StreamLogWriter.h"

namespace {

// The controller a SIGTERM cancels: cancel() is async-signal-safe.
std::atomic<ZbCassandra::PriamUtil*> g_cancelledOnTerm{nullptr};

extern "C" void CancelOnTerm(int) {
  if (ZbCassandra::PriamUtil* controller = g_cancelledOnTerm.load()) controller->cancel();
}

// What a failure means to this host, by its cause (failureOf()), and
// whether to try again later; the message is for people.
std::string Meaning(const ZbCassandra::PriamUtil& priam, const CYrError& error) {
  using ZbCassandra::FailureReason;
  const ZbCassandra::PriamUtil::Failure failure = priam.failureOf(error);
  std::string meaning;
  switch (failure.reason) {
    case FailureReason::kCancelled:
      return "cancelled";
    case FailureReason::kDeadlinePassed:
      meaning = "the call took longer than this host allows";
      break;
    case FailureReason::kHttpUnauthorized:
      meaning = "the sidecar cannot log in to the node: check the credentials";
      break;
    case FailureReason::kHttpUnavailable:
      meaning = "the node's JMX is unavailable";
      break;
    case FailureReason::kDirectoryHeld:
      meaning = "another host (process " + std::to_string(failure.holder) + ") runs Priam here";
      break;
    case FailureReason::kSidecarExitedDuringStart:
    case FailureReason::kNoFreePort:
    case FailureReason::kInitializationFailed:
      meaning = "the launch failed or was refused";
      break;
    case FailureReason::kSidecarNotRunning:
    case FailureReason::kSidecarNotLaunched:
      meaning = "no sidecar runs";
      break;
    case FailureReason::kSidecarStopped:
    case FailureReason::kGuardianStopped:
    case FailureReason::kNotAnswering:
    case FailureReason::kHttpNotFound:
    case FailureReason::kHttpOther:
      meaning = "the sidecar did not answer";
      break;
    case FailureReason::kPortUnknown:
      meaning = "the sidecar's port could not be told";
      break;
    default:
      meaning = "failed";
      break;
  }
  return failure.retryLater ? meaning + " (trying again later may help)" : meaning;
}

}  // namespace

int main(int argc, char** argv) {
  const char* password = getenv("CQL_PASSWORD");
  if (argc < 4 || argc > 5 || !password) {
    fprintf(stderr,
            "usage: CQL_PASSWORD=... %s PRIAM_DIR PRIAM_CONF_DIR NODE_CONF_DIR [OPERATION]\n",
            argv[0]);
    return 2;
  }
  const std::string operation = argc == 5 ? argv[4] : "info";
  // Failures only; without a writer the library logs nothing.
  g_ptrLogWriter.reset(new StreamLogWriter(stderr, -1));

  ZbCassandra::PriamUtil priam(0, "", argv[1], argv[2], argv[3], false);
  if (priam.initFailed()) {
    fprintf(stderr, "host: the controller could not be initialized (see above)\n");
    return 1;
  }
  g_cancelledOnTerm = &priam;
  struct sigaction action = {};
  action.sa_handler = CancelOnTerm;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);

  CYrError error = priam.writePriamProperties({{"priam.cqlhost", priam.cqlHost()},
                                               {"priam.cqlport", priam.cqlPort()},
                                               {"priam.jmx.port", priam.jmxPort()},
                                               {"priam.cqlusername", "backup"},
                                               {"priam.cqluserpassword", password}});
  if (!error.IsError()) error = priam.startPriam();  // 30 s or more, unless cancelled
  CYrString reply;
  if (!error.IsError()) {
    error = priam.get(ZbCassandra::requestType::Get, operation.c_str(), reply, "");
  }
  // Stopped after a cancel too; the destructor would do the same.
  priam.stopPriam();
  g_cancelledOnTerm = nullptr;

  if (error.IsError()) {
    fprintf(stderr, "host: %s: %s\n", Meaning(priam, error).c_str(), error.Message().c_str());
    return priam.cancelled() ? 128 + SIGTERM : 1;
  }
  printf("%s\n", reply.c_str());
  return 0;
}
