// Construction: the initialization sequence, what a failure of each step
// leaves behind, and what a controller whose initialization failed still does.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "CapturingLogWriter.h"
#include "DiscoveryFixture.h"
#include "PriamUtil.h"
#include "PriamUtilTestAccess.h"

namespace {

using testsupport::PathExists;
using testsupport::ScopedLogCapture;
using ZbCassandra::PriamUtil;

constexpr const char* kInitFailure = "Failed to initialize configuration file paths: ";

class ControllerInit : public discoverytest::DiscoveryTest {
 protected:
  ControllerInit() {
    cassandraConf.write("cassandra.yaml", discoverytest::kCassandraYaml);
    cassandraConf.write("cassandra-env.sh", "JMX_PORT=\"7299\"\n");
    tools.AddPrinting(
        "netstat", "tcp        0      0 10.1.2.3:9142           0.0.0.0:*               LISTEN\n");
  }

  // The constructor's failure lines, which carry the constructor as context.
  std::vector<testsupport::LogEntry> InitFailures() const {
    std::vector<testsupport::LogEntry> failures;
    for (const auto& entry : log->Entries()) {
      if (entry.text.rfind(kInitFailure, 0) == 0) failures.push_back(entry);
    }
    return failures;
  }

  ScopedLogCapture log{3};
};

TEST_F(ControllerInit, EveryStepRunsAndFillsTheNodeFields) {
  const auto controller = MakeController();
  EXPECT_FALSE(controller->initFailed());
  EXPECT_EQ(controller->javaPath().str(), "/usr/bin/java");
  EXPECT_TRUE(PathExists(priamConf.file("zbPriam.properties")));
  EXPECT_EQ(controller->cassandraFlavor(), "cassandra");
  EXPECT_EQ(controller->cassandraYamlFile(), cassandraConf.file("cassandra.yaml"));
  EXPECT_EQ(controller->cqlPort(), "9142");
  EXPECT_EQ(controller->cqlHost(), "10.1.2.3");
  EXPECT_EQ(controller->jmxPort(), "7299");
  EXPECT_EQ(controller->priamPort(), 0);
  EXPECT_EQ(controller->priamUrl(), "");
  EXPECT_FALSE(controller->priamStarted());
  EXPECT_TRUE(InitFailures().empty());
}

TEST_F(ControllerInit, NoJavaStopsTheSequenceBeforeAnyFileIsTouched) {
  tools.AddPrinting("which", "", 1);
  tools.AddPrinting("whereis", "", 1);
  const auto controller = MakeController("");

  EXPECT_TRUE(controller->initFailed());
  EXPECT_EQ(controller->javaPath().str(), "");
  EXPECT_FALSE(PathExists(priamConf.file("zbPriam.properties")));
  EXPECT_EQ(controller->cassandraYamlFile(), "");
  EXPECT_EQ(controller->cassandraFlavor(), "");
  EXPECT_EQ(controller->cqlPort(), "");
  EXPECT_EQ(controller->cqlHost(), "");
  EXPECT_EQ(controller->jmxPort(), "");

  const auto failures = InitFailures();
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].level, -1);
  EXPECT_NE(failures[0].context.find("PriamUtil::PriamUtil("), std::string::npos);
  const std::string text = failures[0].text.substr(std::string(kInitFailure).size());
  EXPECT_EQ(text.rfind("Win32 error 1168: Failed to get java path [at PriamUtil:", 0), 0u) << text;
  // Newest first: the sequence, then the step.
  EXPECT_LT(text.find("::initialize()"), text.find("::initializeJavaPath()"));
}

TEST_F(ControllerInit, FailedCopyCarriesTheLocationsOfTheStepAndBothSequences) {
  unlink(templates.file("zbPriam.properties").c_str());
  const auto controller = MakeController();

  EXPECT_TRUE(controller->initFailed());
  EXPECT_EQ(controller->javaPath().str(), "/usr/bin/java") << "Java discovery ran first";
  EXPECT_EQ(controller->cassandraFlavor(), "") << "the steps after the copy did not run";
  EXPECT_EQ(controller->cqlPort(), "");
  ASSERT_EQ(InitFailures().size(), 1u);

  // The same error again, as initialize() hands it to the constructor.
  const CYrError error = controller->initialize();
  ASSERT_TRUE(error.IsError());
  const auto frames = error.Frames();
  ASSERT_GE(frames.size(), 4u);
  EXPECT_NE(frames[0].function.find("::initialize()"), std::string::npos);
  EXPECT_NE(frames[1].function.find("::initializePaths()"), std::string::npos);
  EXPECT_NE(frames[2].function.find("::initializePriamConfFilePath()"), std::string::npos);
  EXPECT_EQ(frames[2].message, "Failed to copy " + templates.file("zbPriam.properties") + " to " +
                                   priamConf.file("zbPriam.properties"));
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(frames[i].file, "PriamUtil");
  // What the constructor logged is the text of that error.
  EXPECT_EQ(InitFailures()[0].text, kInitFailure + error.AsString());
}

TEST_F(ControllerInit, EmptyPriamConfigurationDirectorySkipsOnlyTheSetUp) {
  const auto controller = std::make_unique<PriamUtil>(0, "/usr/bin/java", priamDir.path(), "",
                                                      cassandraConf.path(), false);
  EXPECT_FALSE(controller->initFailed());
  EXPECT_EQ(controller->cassandraFlavor(), "cassandra");
  EXPECT_EQ(controller->cqlPort(), "9142");
}

TEST_F(ControllerInit, FailedControllerRefusesToLaunchButStillAnswersQueries) {
  tools.AddPrinting("which", "", 1);
  tools.AddPrinting("whereis", "", 1);
  const auto controller = MakeController("");
  ASSERT_TRUE(controller->initFailed());
  log->Clear();

  const CYrError launch = controller->startPriam();
  EXPECT_EQ(launch.GetFamily(), CYrError::Family::kErrNo);
  EXPECT_EQ(launch.Code(), 1627);
  EXPECT_EQ(launch.Message(), "Failed to initialize Priam");
  EXPECT_EQ(controller->priamPid(), 0) << "no process object, no child";
  EXPECT_FALSE(controller->priamStarted());

  std::vector<std::string> directories{"kept"};
  const CYrError query = controller->getCassandraDataDir(directories);
  EXPECT_EQ(query.Code(), 87);
  EXPECT_EQ(query.Message(), "Failed to open Cassandra YAML file - ");
  EXPECT_EQ(directories, std::vector<std::string>{"kept"});

  std::string file = "mine";
  std::string flavor = "mine too";
  controller->getConfFileNameCassFlavor(file, flavor);
  EXPECT_EQ(file, "mine");
  EXPECT_EQ(flavor, "mine too");
}

}  // namespace
