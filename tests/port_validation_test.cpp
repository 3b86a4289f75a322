#include <gtest/gtest.h>

#include "CapturingLogWriter.h"
#include "ChildProcess.h"
#include "PriamUtil.h"
#include "PriamUtilTestAccess.h"
#include "ScopedEnvironment.h"
#include "ZbProcess.h"

namespace {

using testsupport::FakeTools;
using testsupport::ScopedLogCapture;
using ZbCassandra::PriamUtil;
using Access = ZbCassandra::PriamUtilTestAccess;

class PortValidation : public ::testing::Test {
 protected:
  PortValidation() : controller(8085, "/usr/bin/java", "", "", "", false) {
    pid = testsupport::GiveControllerASleepingChild(controller);
    Access::url(controller) = "http://localhost:8085/REST";
    log->Clear();
  }

  std::string Pid() const { return std::to_string(pid); }
  // A netstat line for a socket of the child on `port`.
  std::string NetstatLine(int port) const {
    return "tcp        0      0 127.0.0.1:" + std::to_string(port) +
           "          0.0.0.0:*               LISTEN      " + Pid() + "/java\n";
  }

  ScopedLogCapture log{2};
  PriamUtil controller;
  pid_t pid = 0;
};

TEST_F(PortValidation, RealProcessTableConfirmingThePortChangesNothing) {
  // The real ps on a real child whose last word is the port.
  ASSERT_FALSE(controller.stopPriam().IsError());
  Access::started(controller) = true;
  Access::process(controller).reset(new ZbProcess());
  std::string error;
  ASSERT_TRUE(Access::process(controller)->StartProcess("/bin/sleep", "sleep 8085", &error, 0));
  pid = controller.priamPid();
  log->Clear();

  ASSERT_FALSE(controller.validatePriamPort().IsError());
  EXPECT_EQ(controller.priamPort(), 8085);
  EXPECT_EQ(controller.priamUrl(), "http://localhost:8085/REST");
  EXPECT_EQ(log->Texts(), (std::vector<std::string>{
                              "Priam PID: " + Pid(),
                              "ps cmd: ps --no-headers -f -p " + Pid() + " | awk '{print $NF}'",
                              "Cmd output: 8085\n",
                              "Priam port from ps output: 8085",
                              "Port validation/update successful",
                          }));
}

TEST_F(PortValidation, PortFromTheProcessTableIsAdoptedWithItsUrl) {
  FakeTools tools;
  tools.AddPrinting("ps", "root " + Pid() +
                              " 1 0 10:00 ? 00:00:01 java -cp priam.jar "
                              "jerseyserve.server 12345\n");
  tools.Add("netstat", "touch '" + tools.directory() + "/netstat-ran'");

  ASSERT_FALSE(controller.validatePriamPort().IsError());
  EXPECT_EQ(controller.priamPort(), 12345);
  EXPECT_EQ(controller.priamUrl(), "http://localhost:12345/REST");
  EXPECT_EQ(log->Count("Updating Priam port and url with port number 12345"), 1);
  EXPECT_EQ(log->Texts(0).back(), "Updating Priam port and url with port number 12345");
  EXPECT_FALSE(testsupport::PathExists(tools.directory() + "/netstat-ran"))
      << "netstat must not run when ps answered";
}

TEST_F(PortValidation, SilentPsFallsBackToNetstat) {
  FakeTools tools;
  // A failing ps prints nothing; awk ends the pipeline and succeeds.
  tools.Add("ps", "echo 'ps: broken' >&2; exit 1");
  tools.AddPrinting("netstat", NetstatLine(9191));

  ASSERT_FALSE(controller.validatePriamPort().IsError());
  EXPECT_EQ(controller.priamPort(), 9191);
  EXPECT_EQ(controller.priamUrl(), "http://localhost:9191/REST");
  EXPECT_EQ(log->Count("Cmd output: "), 1);
  EXPECT_EQ(log->Count("Netstat Cmd: netstat -npl | grep -w \"" + Pid() + "/*\" | cut -d: -f2"), 1);
  EXPECT_EQ(log->Count("Priam port from netstat output: 9191          0.0.0.0"), 1);
  EXPECT_EQ(log->Count("Updating Priam port and url with port number 9191"), 1);
  EXPECT_EQ(log->Count("Port validation/update successful"), 0);
}

TEST_F(PortValidation, FailingPsPipelineIsLoggedAndFallsBack) {
  FakeTools tools;
  tools.Add("awk", "echo 'awk: boom' >&2; exit 2");
  tools.AddPrinting("netstat", NetstatLine(9191));

  ASSERT_FALSE(controller.validatePriamPort().IsError());
  EXPECT_EQ(controller.priamPort(), 9191);
  EXPECT_EQ(log->Count("Failed to retrieve Priam port from ps: awk: boom\n"), 1);
}

TEST_F(PortValidation, NothingFromEitherSourceFailsAndChangesNothing) {
  FakeTools tools;
  tools.AddPrinting("ps", "");
  tools.AddPrinting("netstat", "");

  const CYrError error = controller.validatePriamPort();
  ASSERT_TRUE(error.IsError());
  EXPECT_EQ(error.GetFamily(), CYrError::Family::kWin32);
  EXPECT_EQ(error.Code(), 1359);
  EXPECT_EQ(error.Message(),
            "Priam port validation failed: Failed to retrieve Priam port from netstat.");
  EXPECT_EQ(controller.priamPort(), 8085);
  EXPECT_EQ(controller.priamUrl(), "http://localhost:8085/REST");
  EXPECT_EQ(log->Texts(-1),
            std::vector<std::string>{"Failed to retrieve Priam port from netstat."});
}

TEST_F(PortValidation, FailingNetstatPipelineIsReportedWithItsErrorText) {
  FakeTools tools;
  tools.AddPrinting("ps", "");
  tools.AddPrinting("netstat", NetstatLine(9191));
  tools.Add("cut", "echo 'cut: broken' >&2; exit 3");

  const CYrError error = controller.validatePriamPort();
  ASSERT_TRUE(error.IsError());
  EXPECT_EQ(error.Code(), 1359);
  EXPECT_EQ(error.Message(),
            "Priam port validation failed: Execution of netstat command failed: cut: broken\n");
  EXPECT_EQ(log->Texts(-1),
            std::vector<std::string>{"Execution of netstat command failed: cut: broken\n"});
  EXPECT_EQ(controller.priamPort(), 8085);
}

TEST_F(PortValidation, OutputThatIsNotAPortIsNotAdopted) {
  FakeTools tools;
  tools.AddPrinting("ps", "java\n");  // a sidecar started some other way
  tools.AddPrinting("netstat", NetstatLine(9292));

  ASSERT_FALSE(controller.validatePriamPort().IsError());
  EXPECT_EQ(controller.priamPort(), 9292);

  tools.AddPrinting("ps", "0\n");
  tools.AddPrinting("netstat", "99999\n");
  EXPECT_TRUE(controller.validatePriamPort().IsError());
  EXPECT_EQ(controller.priamPort(), 9292);
}

}  // namespace
