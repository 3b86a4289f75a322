#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "DiscoveryFixture.h"
#include "FXErrorUtil.h"
#include "common/ErrorCodes.h"

namespace {

using testsupport::ScopedLogCapture;
using ZbCassandra::kInvalidParameter;
using ZbCassandra::PriamUtil;
using ZbCassandra::PriamUtilTestAccess;
using Strings = std::vector<std::string>;

class DataDirsAndSeeds : public discoverytest::DiscoveryTest {
 protected:
  DataDirsAndSeeds() {
    controller = MakeController();
    log->Clear();
  }

  // Make `content` the node's YAML file.
  void Yaml(const std::string& content) {
    PriamUtilTestAccess::cassandraYamlFile(*controller) = cassandraConf.write("c.yaml", content);
  }
  const std::string& YamlPath() { return controller->cassandraYamlFile(); }

  ScopedLogCapture log;
  std::unique_ptr<PriamUtil> controller;
};

TEST_F(DataDirsAndSeeds, DataDirectoriesOfARealLayoutFollowTheCallersEntries) {
  Yaml(discoverytest::kCassandraYaml);
  Strings directories = {"/already/there"};
  EXPECT_FALSE(controller->getCassandraDataDir(directories).IsError());
  EXPECT_EQ(directories, (Strings{"/already/there", "/var/lib/cassandra/data",
                                  "/mnt/disk3/cassandra/data", "/mnt/disk4/cassandra/data"}));
  EXPECT_EQ(log->Texts(0),
            (Strings{"Directory:  /var/lib/cassandra/data",
                     "Adding /var/lib/cassandra/data to Cassandra data directory list\n",
                     "Directory:  \"/mnt/disk3/cassandra/data\"",
                     "Adding /mnt/disk3/cassandra/data to Cassandra data directory list\n",
                     "Directory:    /mnt/disk4/cassandra/data",
                     "Adding /mnt/disk4/cassandra/data to Cassandra data directory list\n"}));
  EXPECT_EQ(log->Entries().size(), 6u);
}

TEST_F(DataDirsAndSeeds, DataDirectoryKeyWithoutItemsIsAnEmptySuccess) {
  for (const char* content :
       {"data_file_directories:\ncommitlog_directory: /c\n",
        "data_file_directories:\n    \n    - /d\n", "data_file_directories:"}) {
    Yaml(content);
    Strings directories;
    EXPECT_FALSE(controller->getCassandraDataDir(directories).IsError()) << content;
    EXPECT_TRUE(directories.empty()) << content;
  }
  EXPECT_TRUE(log->Entries().empty());
}

TEST_F(DataDirsAndSeeds, NoDataDirectoryKeyLineIsAnError) {
  for (const char* content : {"# data_file_directories:\n#     - /var/lib/cassandra/data\n", "",
                              "cluster_name: x # data_file_directories:\n  - /d\n"}) {
    Yaml(content);
    Strings directories = {"kept"};
    const CYrError error = controller->getCassandraDataDir(directories);
    EXPECT_TRUE(FXErrorUtil::IsWin32(error, kInvalidParameter)) << content;
    EXPECT_EQ(error.Message(), "Failed to get Cassandra data directory from cassandra.yaml file");
    EXPECT_EQ(directories, Strings{"kept"});
  }
  EXPECT_TRUE(log->Entries().empty());
}

TEST_F(DataDirsAndSeeds, AYamlFileThatCannotBeOpenedIsAnError) {
  const std::string file = cassandraConf.write("file", "x");
  for (const std::string& path : {cassandraConf.file("missing.yaml"), cassandraConf.path(),
                                  file + "/cassandra.yaml", std::string()}) {
    PriamUtilTestAccess::cassandraYamlFile(*controller) = path;
    log->Clear();
    Strings directories;
    CYrError error = controller->getCassandraDataDir(directories);
    EXPECT_TRUE(FXErrorUtil::IsWin32(error, kInvalidParameter)) << path;
    EXPECT_EQ(error.Message(), "Failed to open Cassandra YAML file - " + path);
    EXPECT_EQ(log->Texts(), Strings{"Failed to open Cassandra YAML file " + path});
    EXPECT_EQ(log->Entries()[0].level, 0);

    log->Clear();
    Strings seeds;
    error = controller->getCassandraSeeds(&seeds);
    EXPECT_TRUE(FXErrorUtil::IsWin32(error, kInvalidParameter)) << path;
    EXPECT_EQ(error.Message(), "Failed to open Cassandra YAML file - " + path);
    EXPECT_TRUE(log->Entries().empty());
    EXPECT_TRUE(directories.empty());
    EXPECT_TRUE(seeds.empty());
  }
}

TEST_F(DataDirsAndSeeds, SeedsOfARealLayoutAreSplitAndTrimmed) {
  Yaml(discoverytest::kCassandraYaml);
  Strings seeds = {"10.9.9.9"};
  EXPECT_FALSE(controller->getCassandraSeeds(&seeds).IsError());
  EXPECT_EQ(seeds, (Strings{"10.9.9.9", "10.0.0.1", "10.0.0.2", "10.0.0.3"}));
  EXPECT_EQ(log->Texts(0), (Strings{"Seed list:  \"10.0.0.1, 10.0.0.2,10.0.0.3\"",
                                    "Adding seed node 10.0.0.1 to our list\n",
                                    "Adding seed node 10.0.0.2 to our list\n",
                                    "Adding seed node 10.0.0.3 to our list\n"}));
  EXPECT_EQ(log->Entries().size(), 4u);
}

TEST_F(DataDirsAndSeeds, SeedValuesAreCutAtTheirFirstColon) {
  struct Case {
    std::string line;
    Strings seeds;
  };
  const std::vector<Case> cases = {
      {"      - seeds: \"127.0.0.1:7000\"", {"127.0.0.1"}},
      {"      - seeds: \"10.0.0.1:7000,10.0.0.2:7000\"", {"10.0.0.1"}},
      {"      - seeds: 10.0.0.7", {"10.0.0.7"}},
      {"      - seeds: \"a,, b,\"", {"a", "", "b", ""}},
      {"      - seeds: \"10.0.0.1\" # first node", {"10.0.0.1\" # first node"}},
      {"      - seeds: \"10.0.0.1\"\r", {"10.0.0.1\"\r"}},
  };
  for (const Case& c : cases) {
    Yaml(
        "seed_provider:\n  - class_name: org.apache.cassandra.locator.SimpleSeedProvider\n"
        "    parameters:\n      # seeds: \"10.1.1.1\"\n" +
        c.line + "\nseeds: \"10.2.2.2\"\n");
    Strings seeds;
    EXPECT_FALSE(controller->getCassandraSeeds(&seeds).IsError());
    EXPECT_EQ(seeds, c.seeds) << c.line;
  }
}

TEST_F(DataDirsAndSeeds, NoUsableSeedsKeyLineAddsNothing) {
  for (const char* content : {"cluster_name: x\n", "# - seeds: \"10.0.0.1\"\n",
                              "      - seeds\n      - seeds: \"10.0.0.1\"\n", ""}) {
    Yaml(content);
    Strings seeds = {"kept"};
    EXPECT_FALSE(controller->getCassandraSeeds(&seeds).IsError()) << content;
    EXPECT_EQ(seeds, Strings{"kept"}) << content;
  }
  EXPECT_TRUE(log->Entries().empty());
}

TEST_F(DataDirsAndSeeds, ANullSeedListIsRefused) {
  Yaml(discoverytest::kCassandraYaml);
  EXPECT_TRUE(FXErrorUtil::IsWin32(controller->getCassandraSeeds(nullptr), kInvalidParameter));
}

TEST_F(DataDirsAndSeeds, BinaryContentIsReadAsLines) {
  std::string content;
  for (int i = 0; i < 4096; ++i) content.push_back(static_cast<char>((i * 7919) % 256));
  const char tail[] = "\ndata_file_directories:\n  - /d\0x\nseeds: \"\0\"\n";
  Yaml(content + std::string(tail, sizeof(tail) - 1));
  Strings directories;
  EXPECT_FALSE(controller->getCassandraDataDir(directories).IsError());
  EXPECT_EQ(directories, Strings{std::string("/d\0x", 4)});
  Strings seeds;
  EXPECT_FALSE(controller->getCassandraSeeds(&seeds).IsError());
  EXPECT_EQ(seeds, Strings{std::string("\0", 1)});
}

TEST_F(DataDirsAndSeeds, AHundredMegabyteFileIsReadToItsEnd) {
  const std::string path = cassandraConf.file("big.yaml");
  {
    std::ofstream out(path, std::ios::binary);
    const std::string line(1 << 20, 'x');
    for (int i = 0; i < 100; ++i) out << "# " << line << "\n";
    out << "data_file_directories:\n  - /data\nseed_provider:\n  - seeds: \"10.0.0.1\"\n";
  }
  PriamUtilTestAccess::cassandraYamlFile(*controller) = path;
  Strings directories;
  EXPECT_FALSE(controller->getCassandraDataDir(directories).IsError());
  EXPECT_EQ(directories, Strings{"/data"});
  Strings seeds;
  EXPECT_FALSE(controller->getCassandraSeeds(&seeds).IsError());
  EXPECT_EQ(seeds, Strings{"10.0.0.1"});
}

}  // namespace
