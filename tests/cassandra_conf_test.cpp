#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "DiscoveryFixture.h"

namespace {

using testsupport::ScopedLogCapture;
using ZbCassandra::PriamUtil;

class CassandraConfFile : public discoverytest::DiscoveryTest {
 protected:
  // Run the step again on a controller built over the two directories, with
  // `properties` as the working properties file (none when null).
  void Run(const char* properties) {
    controller = MakeController();
    const std::string working = priamConf.file("zbPriam.properties");
    if (properties) {
      priamConf.write("zbPriam.properties", properties);
    } else {
      unlink(working.c_str());
    }
    log->Clear();
    EXPECT_FALSE(controller->initializeCassandraConfFilePath().IsError());
  }

  std::string Yaml(const std::string& name) const { return cassandraConf.file(name); }

  ScopedLogCapture log;
  std::unique_ptr<PriamUtil> controller;
};

TEST_F(CassandraConfFile, ScyllaInThePropertiesSelectsScyllaYaml) {
  Run("priam.jmx.port=7199\npriam.cass.process=scylla\npriam.cqlhost=127.0.0.1\n");
  EXPECT_EQ(controller->cassandraFlavor(), "scylla");
  EXPECT_EQ(controller->cassandraYamlFile(), Yaml("scylla.yaml"));
  EXPECT_EQ(log->Texts(), std::vector<std::string>{"Cassandra Flavor: scylla, YAML file - " +
                                                   Yaml("scylla.yaml")});
  EXPECT_EQ(log->Entries()[0].level, 0);
  std::string file;
  std::string flavor;
  controller->getConfFileNameCassFlavor(file, flavor);
  EXPECT_EQ(file, Yaml("scylla.yaml"));
  EXPECT_EQ(flavor, "scylla");
}

TEST_F(CassandraConfFile, AStoreValueNamesTheFileButKeepsTheFlavor) {
  store.Set("Cassandra", "sCassandraYamlFile", "/etc/scylla/custom.yaml");
  Run("priam.cass.process=scylla\n");
  EXPECT_EQ(controller->cassandraFlavor(), "scylla");
  EXPECT_EQ(controller->cassandraYamlFile(), "/etc/scylla/custom.yaml");
  EXPECT_EQ(log->Texts(),
            (std::vector<std::string>{
                "Read Cassandra YAML file name from registry. Using /etc/scylla/custom.yaml",
                "Cassandra Flavor: scylla, YAML file - /etc/scylla/custom.yaml"}));
}

TEST_F(CassandraConfFile, AnEmptyStoreValueIsNotUsed) {
  store.Set("Cassandra", "sCassandraYamlFile", "");
  Run("priam.cass.process=cassandra\n");
  EXPECT_EQ(controller->cassandraFlavor(), "cassandra");
  EXPECT_EQ(controller->cassandraYamlFile(), Yaml("cassandra.yaml"));
  EXPECT_EQ(log->Texts(), std::vector<std::string>{"Cassandra Flavor: cassandra, YAML file - " +
                                                   Yaml("cassandra.yaml")});
}

TEST_F(CassandraConfFile, APropertiesFileThatCannotBeReadMeansCassandra) {
  const std::string message =
      "Failed to open Priam properties file zbPriam.properties. Using "
      "cassandra.yaml.";
  Run(nullptr);
  EXPECT_EQ(log->Texts(), (std::vector<std::string>{message,
                                                    "Cassandra Flavor: cassandra, YAML "
                                                    "file - " +
                                                        Yaml("cassandra.yaml")}));
  EXPECT_EQ(controller->cassandraFlavor(), "cassandra");

  // A directory where the file should be.
  Run(nullptr);
  ASSERT_EQ(mkdir(priamConf.file("zbPriam.properties").c_str(), 0700), 0);
  log->Clear();
  EXPECT_FALSE(controller->initializeCassandraConfFilePath().IsError());
  EXPECT_EQ(log->Texts().at(0), message);
  EXPECT_EQ(controller->cassandraFlavor(), "cassandra");
}

TEST_F(CassandraConfFile, OnlyAnExactScyllaLineSelectsScylla) {
  struct Case {
    std::string properties;
    std::string flavor;
  };
  const char binary[] = "\0\xff\x01=\n=\n\0priam.cass.process=scylla";
  const std::vector<Case> cases = {
      {"priam.cass.process=scylla\npriam.cass.process=cassandra\n", "cassandra"},
      {"priam.cass.process=cassandra\npriam.cass.process=scylla", "scylla"},
      {"priam.cass.process = scylla\n", "cassandra"},
      {"priam.cass.process=Scylla\n", "cassandra"},
      {"priam.cass.process=scylla \n", "cassandra"},
      {"priam.cass.process=scylla\r\n", "cassandra"},
      {"priam.cass.process=scylla=1\n", "cassandra"},
      {"#priam.cass.process=scylla\n", "cassandra"},
      {"priam.cass.process=scylla\npriam.cass.process=scylla=2\npriam.cass.process\n", "scylla"},
      {"", "cassandra"},
      {std::string(binary, sizeof(binary) - 1), "cassandra"},
  };
  Run(nullptr);
  for (const Case& c : cases) {
    priamConf.write("zbPriam.properties", c.properties);
    EXPECT_FALSE(controller->initializeCassandraConfFilePath().IsError());
    EXPECT_EQ(controller->cassandraFlavor(), c.flavor) << c.properties;
    EXPECT_EQ(controller->cassandraYamlFile(), Yaml(c.flavor + ".yaml")) << c.properties;
  }
}

}  // namespace
