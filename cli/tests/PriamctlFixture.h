// A node and a Priam installation in a temporary directory, made from the
// sample files, and the options that point priamctl at them.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "PriamctlProcess.h"
#include "TempDir.h"

namespace clitest {

class PriamctlFixture : public ::testing::Test {
 protected:
  PriamctlFixture()
      : priamDir(root.file("priam")),
        confDir(root.file("conf")),
        templateDir(root.file("templates")),
        logDir(root.file("logs")),
        store(root.file("store.ini")) {
    for (const std::string& dir : {priamDir, confDir, templateDir, logDir}) {
      mkdir(dir.c_str(), 0700);
    }
    EXPECT_EQ(symlink(PRIAM_STANDIN_JAR, (priamDir + "/priam.jar").c_str()), 0);
    Copy(std::string(PRIAMCTL_EXAMPLES) + "/priam/zblog4j.properties",
         priamDir + "/zblog4j.properties");
    Copy(std::string(PRIAMCTL_EXAMPLES) + "/templates/zbPriam.properties",
         templateDir + "/zbPriam.properties");
    testsupport::WriteFile(store, "[Cassandra]\nsPriamTemplateDir=" + templateDir +
                                      "\n[EventManager]\nsLogFilesDirectory=" + logDir + "\n");
  }

  static void Copy(const std::string& from, const std::string& to) {
    testsupport::WriteFile(to, testsupport::ReadFile(from));
  }

  // The options every node command needs, then `more`.
  std::vector<std::string> NodeArgs(const std::string& command,
                                    const std::vector<std::string>& more = {}) const {
    std::vector<std::string> args = {command,
                                     "--priam-dir",
                                     priamDir,
                                     "--priam-conf-dir",
                                     confDir,
                                     "--cassandra-conf-dir",
                                     std::string(PRIAMCTL_EXAMPLES) + "/node",
                                     "--java",
                                     PRIAM_STANDIN_JAVA,
                                     "--config",
                                     store};
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }

  // NodeArgs(command, more), with the value of `option` replaced by `value`.
  std::vector<std::string> NodeArgsWith(const std::string& option, const std::string& value,
                                        const std::string& command,
                                        const std::vector<std::string>& more = {}) const {
    std::vector<std::string> args = NodeArgs(command, more);
    const auto at = std::find(args.begin(), args.end(), option);
    EXPECT_NE(at, args.end()) << option;
    if (at != args.end()) *(at + 1) = value;
    return args;
  }

  std::string Properties() const { return testsupport::ReadFile(confDir + "/zbPriam.properties"); }

  testsupport::TempDir root;
  const std::string priamDir, confDir, templateDir, logDir, store;
};

}  // namespace clitest
