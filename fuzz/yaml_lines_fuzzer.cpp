// The node's YAML file as the controller reads it: the input is written as
// the YAML file of one controller, which then answers its data directories
// and seeds, and is read for the CQL port; its lines are also read as the
// environment script's JMX port assignments.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "FormattingLogWriter.h"
#include "FuzzCheck.h"
#include "PriamUtil.h"
#include "ScratchDir.h"
#include "discovery/PortText.h"
#include "discovery/YamlLines.h"

namespace {

struct Node {
  std::string dir;
  std::string yaml;
  std::unique_ptr<ZbCassandra::PriamUtil> controller;
};

Node& TheNode() {
  static Node* node = [] {
    g_ptrLogWriter.reset(new FormattingLogWriter);
    auto* made = new Node;
    made->dir = MakeScratchDirectory("yaml-fuzz");
    made->yaml = made->dir + "/cassandra.yaml";
    // A given Java path and no Priam configuration directory: nothing but
    // the YAML file and one netstat run at construction.
    made->controller.reset(
        new ZbCassandra::PriamUtil(0, "/usr/bin/java", "", "", made->dir, false));
    return made;
  }();
  return *node;
}

void CheckTrimmed(const std::string& value) {
  if (value.empty()) return;
  const std::string set = ZbCassandra::kYamlTrimSet;
  FUZZ_CHECK(set.find(value.front()) == std::string::npos);
  FUZZ_CHECK(set.find(value.back()) == std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Node& node = TheNode();
  {
    std::ofstream out(node.yaml, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }

  std::vector<std::string> directories{"kept"};
  if (!node.controller->getCassandraDataDir(directories).IsError()) {
    FUZZ_CHECK(!directories.empty() && directories.front() == "kept");
    for (size_t i = 1; i < directories.size(); ++i) CheckTrimmed(directories[i]);
  } else {
    FUZZ_CHECK(directories.size() == 1);
  }
  std::vector<std::string> seeds;
  FUZZ_CHECK(!node.controller->getCassandraSeeds(&seeds).IsError());
  for (const std::string& seed : seeds) {
    CheckTrimmed(seed);
    FUZZ_CHECK(seed.find(',') == std::string::npos);
  }

  ZbCassandra::TextFileLines lines;
  FUZZ_CHECK(lines.Open(node.yaml));
  std::string keyLine;
  if (ZbCassandra::FindYamlKeyLine(lines, "native_transport_port", &keyLine)) {
    const std::string port = ZbCassandra::CqlPortFromKeyLine(keyLine);
    CheckTrimmed(port);
    // Only digits may reach the netstat command line.
    if (ZbCassandra::IsDecimalNumber(port)) {
      FUZZ_CHECK(port.find_first_not_of("0123456789") == std::string::npos);
    }
  }

  ZbCassandra::TextFileLines env;
  FUZZ_CHECK(env.Open(node.yaml));
  std::string line;
  while (env.Next(line)) {
    std::string port;
    if (ZbCassandra::JmxPortAssignment(line, &port)) {
      FUZZ_CHECK(line.rfind("JMX_PORT=", 0) == 0);
      CheckTrimmed(port);
    }
  }
  return 0;
}
