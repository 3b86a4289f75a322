// The readers of tool output and port text, on their own: the cases the
// fuzz targets start from, and the edges where a wrong cut would hand a
// command or a launch the wrong text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controller/ToolOutputPort.h"
#include "discovery/JavaToolOutput.h"
#include "discovery/PortText.h"

namespace {

using Strings = std::vector<std::string>;

TEST(ToolOutputPort, OnlyAPortNumberAtTheStartOfTheTrimmedOutputCounts) {
  const struct {
    const char* output;
    int port;
  } cases[] = {
      {"41237\n", 41237},
      {" \"8080\"\t\n", 8080},
      {"8080 9090\n", 8080},
      {"65535", 65535},
      {"65536", 0},
      {"0\n", 0},
      {"-80", 0},
      {"java\n", 0},
      {"", 0},
      {"99999999999999999999", 0},
      {"12abc", 12},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ZbCassandra::PortFromToolOutput(ZbCassandra::TrimToolOutput(c.output)), c.port)
        << c.output;
  }
  EXPECT_EQ(ZbCassandra::TrimToolOutput("\n \"a b\" \t"), "a b");
}

TEST(JavaToolOutput, PathsLoseOnlyTheirLineFeeds) {
  std::string path = "unchanged";
  EXPECT_FALSE(ZbCassandra::JavaPathFromCommandOutput("\n\n", &path));
  EXPECT_FALSE(ZbCassandra::JavaPathFromWhichOutput("", &path));
  EXPECT_EQ(path, "unchanged");

  ASSERT_TRUE(ZbCassandra::JavaPathFromCommandOutput("\n/opt/jdk/bin/java \n", &path));
  EXPECT_EQ(path, "/opt/jdk/bin/java ") << "blanks are part of the path";
  ASSERT_TRUE(ZbCassandra::JavaPathFromWhichOutput("/usr/bin/java\n\n", &path));
  EXPECT_EQ(path, "/usr/bin/java");
}

TEST(JavaToolOutput, WhereisLocationsFollowTheLabel) {
  EXPECT_EQ(ZbCassandra::WhereisLocations("java: /usr/bin/java /usr/share/java\n"),
            (Strings{"/usr/bin/java", "/usr/share/java"}));
  EXPECT_EQ(ZbCassandra::WhereisLocations("java:\n"), Strings{});
  EXPECT_EQ(ZbCassandra::WhereisLocations(""), Strings{});
  EXPECT_EQ(ZbCassandra::WhereisLocations("java:  /a"), (Strings{"", "/a"}));
}

TEST(PortText, OnlyDigitsMayReachACommandLine) {
  for (const char* text : {"9042", "0", "007"}) EXPECT_TRUE(ZbCassandra::IsDecimalNumber(text));
  for (const char* text : {"", " 9042", "9042;id", "$(id)", "90\n42", "+1", "٣"}) {
    EXPECT_FALSE(ZbCassandra::IsDecimalNumber(text)) << text;
  }
}

TEST(PortText, CqlPortAndHostComeFromTheirOwnFieldsOnly) {
  EXPECT_EQ(ZbCassandra::CqlPortFromKeyLine("native_transport_port: \"9142\" "), "9142");
  EXPECT_EQ(ZbCassandra::CqlPortFromKeyLine("native_transport_port"), "");
  EXPECT_EQ(ZbCassandra::CqlPortFromKeyLine("native_transport_port: 1:2"), "1");

  std::string host = "unchanged";
  EXPECT_FALSE(ZbCassandra::CqlHostFromNetstatOutput("", &host));
  EXPECT_FALSE(ZbCassandra::CqlHostFromNetstatOutput(":::9042\n", &host));
  EXPECT_FALSE(ZbCassandra::CqlHostFromNetstatOutput("0.0.0.0:9042\n10.0.0.1:9042\n", &host));
  EXPECT_EQ(host, "unchanged");
  ASSERT_TRUE(ZbCassandra::CqlHostFromNetstatOutput("10.1.2.3:9042\n", &host));
  EXPECT_EQ(host, "10.1.2.3");
}

TEST(PortText, JmxPortAssignmentIsTrimmedAndUnquoted) {
  const struct {
    const char* line;
    bool assigns;
    const char* port;
  } cases[] = {
      {"JMX_PORT=\"7199\"", true, "7199"},
      {"JMX_PORT= 7200 ", true, "7200"},
      {"JMX_PORT=\"7\"\"1\"", true, "7\"\"1"},
      {"JMX_PORT=a=b", true, "a"},
      {"JMX_PORT=", true, ""},
      {"#JMX_PORT=1", false, ""},
      {"export JMX_PORT=1", false, ""},
      {"JMX_PORT", false, ""},
  };
  for (const auto& c : cases) {
    std::string port;
    EXPECT_EQ(ZbCassandra::JmxPortAssignment(c.line, &port), c.assigns) << c.line;
    EXPECT_EQ(port, c.port) << c.line;
  }
}

}  // namespace
