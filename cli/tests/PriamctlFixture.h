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

  // A copy of the sample node in the directory `name` under the root, in
  // which `file` has its first `from` replaced by `to` (or, `from` empty,
  // holds only `to`).
  std::string SampleNodeWith(const std::string& name, const std::string& file,
                             const std::string& from, const std::string& to) const {
    const std::string node = root.file(name);
    mkdir(node.c_str(), 0700);
    for (const char* sample : {"cassandra.yaml", "cassandra-env.sh"}) {
      Copy(std::string(PRIAMCTL_EXAMPLES) + "/node/" + sample, node + "/" + sample);
    }
    std::string content = to;
    if (!from.empty()) {
      content = testsupport::ReadFile(node + "/" + file);
      const size_t at = content.find(from);
      EXPECT_NE(at, std::string::npos) << from;
      if (at != std::string::npos) content.replace(at, from.size(), to);
    }
    testsupport::WriteFile(node + "/" + file, content);
    return node;
  }

  // A sample node whose files give the sidecar a value it cannot use.
  struct UnusableNode {
    std::string dir;
    std::string key;   // the fact in discover's JSON
    std::string row;   // discover's table row, marked
    std::string says;  // how priamctl names the value on stderr
  };

  std::vector<UnusableNode> UnusableNodes() const {
    const auto port = [this](const std::string& name, const std::string& value) {
      const std::string dir =
          SampleNodeWith("node-" + name, "cassandra.yaml", "native_transport_port: 9042",
                         "native_transport_port: " + value);
      return UnusableNode{dir, "cql_port", "CQL port          " + value + " (not a port number)\n",
                          "native_transport_port in " + dir + "/cassandra.yaml is '" + value +
                              "', not a port number from 1 to 65535"};
    };
    const std::string jmx =
        SampleNodeWith("node-jmx-abc", "cassandra-env.sh", "JMX_PORT=\"7199\"", "JMX_PORT=\"abc\"");
    // A binary file that names the key all the same.
    const std::string binary =
        SampleNodeWith("node-binary", "cassandra.yaml", "",
                       std::string("\x7f"
                                   "ELF\x02\x01\0\0native_transport_port: 1\n",
                                   33));
    return {
        port("cql-70000", "70000"),
        port("cql-abc", "abc"),
        port("cql-0", "0"),
        {jmx, "jmx_port", "JMX port          abc (not a port number)\n",
         "JMX_PORT in " + jmx + "/cassandra-env.sh is 'abc', not a port number from 1 to 65535"},
        {binary, "yaml_file", "YAML file         " + binary + "/cassandra.yaml (not text)\n",
         "the node's YAML file " + binary + "/cassandra.yaml is not text"}};
  }

  std::string Properties() const { return testsupport::ReadFile(confDir + "/zbPriam.properties"); }

  testsupport::TempDir root;
  const std::string priamDir, confDir, templateDir, logDir, store;
};

}  // namespace clitest
