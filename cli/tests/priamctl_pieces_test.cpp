// The pieces of priamctl whose faults the end-to-end runs would hide.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "Commands.h"
#include "FailureText.h"
#include "JsonOutput.h"
#include "NodeValueChecks.h"
#include "PropertySources.h"
#include "StatusLine.h"
#include "TableOutput.h"
#include "TempDir.h"
#include "ZBPlatformInfo.h"

namespace priamctl {
namespace {

using Properties = std::map<std::string, std::string>;

TEST(PropertySources, LaterSourcesWinAndValuesKeepEveryCharacter) {
  testsupport::TempDir dir;
  testsupport::WriteFile(dir.file("all"), "# comment\n\na=file\nb=file\nc=file\nd=x=y \r\n", 0600);
  testsupport::WriteFile(dir.file("secret"), "from=file\n", 0600);
  setenv("PRIAMCTL_TEST_VALUE", " spaced = env ", 1);
  PropertySources sources;
  sources.propertiesFile = dir.file("all");
  sources.inlineValues = {"b=inline", "c=inline", "e="};
  sources.fromEnv = {"c=PRIAMCTL_TEST_VALUE"};
  sources.fromFile = {"f=" + dir.file("secret")};
  Properties result;
  std::string error;
  ASSERT_TRUE(CollectProperties(sources, &result, &error)) << error;
  EXPECT_EQ(result, (Properties{{"a", "file"},
                                {"b", "inline"},
                                {"c", " spaced = env "},
                                {"d", "x=y "},
                                {"e", ""},
                                {"f", "from=file"}}));
}

TEST(PropertySources, ErrorsNeverRepeatAnInlineValue) {
  PropertySources sources;
  sources.inlineValues = {"no-equals-sign-S3cret"};
  Properties result;
  std::string error;
  EXPECT_FALSE(CollectProperties(sources, &result, &error));
  EXPECT_EQ(error.find("S3cret"), std::string::npos) << error;
}

TEST(PropertySources, PropertiesFileMustBeOwnerOnly) {
  testsupport::TempDir dir;
  for (const int mode : {0640, 0604, 0660}) {
    testsupport::WriteFile(dir.file("p"), "a=b\n", mode);
    PropertySources sources;
    sources.propertiesFile = dir.file("p");
    Properties result;
    std::string error;
    EXPECT_FALSE(CollectProperties(sources, &result, &error)) << mode;
    EXPECT_TRUE(result.empty());
  }
}

// run judges the node's files before a controller exists (constructing one
// writes into the configuration directory): what it reads there must be
// what the controller then finds, quirks included.
TEST(NodeValueChecks, FilesAreReadAsTheControllerReadsThem) {
  testsupport::TempDir dir;
  const std::string priamDir = dir.file("priam");
  const std::string confDir = dir.file("conf");
  const std::string templates = dir.file("templates");
  const std::string node = dir.file("node");
  for (const std::string& path : {priamDir, confDir, templates, node}) mkdir(path.c_str(), 0700);
  testsupport::WriteFile(
      priamDir + "/zblog4j.properties",
      testsupport::ReadFile(std::string(PRIAMCTL_EXAMPLES) + "/priam/zblog4j.properties"));
  setenv(ZBPlatformInfo::kConfigVariable,
         dir.write("store.ini", "[Cassandra]\nsPriamTemplateDir=" + templates + "\n").c_str(), 1);
  const struct {
    std::string flavor;
    std::string yaml;
    std::string env;
  } cases[] = {
      {"cassandra", "native_transport_port: 70000\n", "JMX_PORT=\"abc\"\n"},
      {"cassandra",
       "# native_transport_port: 1\nport: 2 # native_transport_port\n"
       "  native_transport_port: \"9142\" # the port\n",
       "  JMX_PORT=1\nexport JMX_PORT=2\nJMX_PORT='7199'\n"},
      {"cassandra", "native_transport_port:\nnative_transport_port: 9142\n", "JMX_PORT=7199=x\n"},
      {"cassandra", "native_transport_port: 9042\r\n", "JMX_PORT=\"7199\"\r\n"},
      {"scylla", "native_transport_port: 19042\n", "# JMX_PORT=1\n"},
  };
  for (const auto& files : cases) {
    SCOPED_TRACE(files.yaml + files.env);
    testsupport::WriteFile(templates + "/zbPriam.properties",
                           "priam.cass.process=" + files.flavor + "\n");
    // The other flavor's file is there too, and must not be read.
    testsupport::WriteFile(node + "/cassandra.yaml", "native_transport_port: 1\n");
    testsupport::WriteFile(node + "/scylla.yaml", "native_transport_port: 1\n");
    testsupport::WriteFile(node + "/" + files.flavor + ".yaml", files.yaml);
    testsupport::WriteFile(node + "/cassandra-env.sh", files.env);
    const NodeValues read = NodeValuesInFiles(node);
    const ZbCassandra::PriamUtil controller(0, PRIAM_STANDIN_JAVA, priamDir, confDir, node, false);
    ASSERT_FALSE(controller.initFailed());
    const NodeValues found = NodeValuesOf(controller, node);
    EXPECT_EQ(read.yamlFile, found.yamlFile);
    EXPECT_EQ(read.cqlPort.empty() ? "9042" : read.cqlPort, found.cqlPort);
    EXPECT_EQ(read.jmxPort, found.jmxPort);
  }
  // A directory given with a trailing "/" still names the controller's own
  // paths, as an operator will see them in a message.
  const ZbCassandra::PriamUtil slashed(0, PRIAM_STANDIN_JAVA, priamDir, confDir, node + "/", false);
  EXPECT_EQ(NodeValuesInFiles(node + "/").yamlFile, slashed.cassandraYamlFile());
  // A FIFO is not read, as the controller does not: it would block until
  // someone writes to it.
  unlink((node + "/cassandra-env.sh").c_str());
  ASSERT_EQ(mkfifo((node + "/cassandra-env.sh").c_str(), 0600), 0);
  EXPECT_EQ(NodeValuesInFiles(node).jmxPort, "");
  unsetenv(ZBPlatformInfo::kConfigVariable);
}

TEST(NodeValueChecks, OnlyPortsFrom1To65535ReachTheSidecar) {
  std::string error;
  for (const std::string port : {"1", "9042", "09042", "65535"}) {
    EXPECT_TRUE(CheckNodeValues({"", port, "", port}, {}, &error)) << port << ": " << error;
  }
  for (const std::string port :
       {"0", "65536", "99999999999999999999", "-1", "+1", "abc", "9 042"}) {
    EXPECT_FALSE(CheckNodeValues({"", port, "", ""}, {}, &error)) << port;
    EXPECT_NE(error.find(" is '" + port + "', not a port number"), std::string::npos) << error;
    EXPECT_FALSE(CheckNodeValues({"", "", "", port}, {}, &error)) << port;
  }
  // Read from a file with CRLF line ends: shown, not acted on by a terminal.
  EXPECT_FALSE(CheckNodeValues({"", "9042\r", "", ""}, {}, &error));
  EXPECT_NE(error.find(" is '9042\\x0d', "), std::string::npos) << error;
  // A port the user gives replaces the node's; only the other is judged.
  EXPECT_TRUE(CheckNodeValues({"", "abc", "", "7199"}, {{"priam.cqlport", "9042"}}, &error));
  EXPECT_FALSE(CheckNodeValues({"", "abc", "", "0"}, {{"priam.cqlport", "9042"}}, &error));
  EXPECT_EQ(error.rfind("JMX_PORT in  is '0', ", 0), 0u) << error;
  EXPECT_NE(error.find(", or give priam.jmx.port with --property"), std::string::npos) << error;
}

// Java options begin with "-"; the option still takes them as its value.
TEST(JavaOptions, AValueThatLooksLikeAnOptionIsTaken) {
  for (const std::vector<std::string>& words :
       {std::vector<std::string>{"--java-options", "-Xmx1k"},
        std::vector<std::string>{"--java-options=-Xmx1k"}}) {
    CLI::App app;
    DemoOptions demo;
    AddDemoCommand(app, demo);
    std::vector<std::string> args = {words.rbegin(), words.rend()};
    args.push_back("demo");
    app.parse(args);
    EXPECT_EQ(demo.javaOptions, "-Xmx1k") << words.front();
  }
}

TEST(TableOutput, ColumnsLineUpAndContinuationLinesIndent) {
  EXPECT_EQ(FormatTable({{"a", "1"}, {"longer", "two\nlines"}}),
            "a       1\n"
            "longer  two\n"
            "        lines\n");
  NodeFacts facts;
  facts.cqlPort = "9042";
  const std::string table = NodeFactsTable(facts);
  EXPECT_NE(table.find("Seeds             -\n"), std::string::npos) << table;
  EXPECT_NE(table.find("CQL host          - (nothing listens"), std::string::npos);
}

TEST(JsonOutput, OnlyObjectsAndArraysAreReformatted) {
  EXPECT_EQ(PrettyReply("{\"a\":[1,2]}"), "{\n  \"a\": [\n    1,\n    2\n  ]\n}");
  EXPECT_EQ(PrettyReply("{\"b\":1,\"a\":2}"), "{\n  \"b\": 1,\n  \"a\": 2\n}") << "keys as sent";
  for (const std::string text : {"Not Found", "42", "\"quoted\"", "{broken", ""}) {
    EXPECT_EQ(PrettyReply(text), text);
  }
  EXPECT_EQ(PrettyReply("[\"\xff\"]"), "[\"\xff\"]") << "not JSON: invalid UTF-8, shown as it came";
}

// The first cause is the innermost message, however the library words it
// and however many locations it pushed on the way up.
TEST(FailureText, FirstCauseAndHttpStatusComeOutOfTheChain) {
  const FXCodeLocation inner{"PriamUtil", "CYrError ZbCassandra::PriamUtil::startPriam()", 61};
  const FXCodeLocation outer{"PriamUtil", "CYrError ZbCassandra::PriamUtil::other()", 9};
  CYrError refused = CYrError::Make(CYrError::Family::kErrNo, 1627, inner,
                                    " Priam is already running for /etc/Priam/conf (process 42) ");
  refused.Push(outer).Push(outer, "Failed to launch");
  EXPECT_EQ(FirstCause(refused), "Priam is already running for /etc/Priam/conf (process 42)");
  EXPECT_EQ(HttpStatusOf(refused.AsString()), -1) << "no request failed";
  EXPECT_EQ(
      FirstCauseOfLogged("Failed to initialize configuration file paths: " + refused.AsString()),
      "Priam is already running for /etc/Priam/conf (process 42)");
  EXPECT_EQ(ErrorCodeOf("Error: " + refused.AsString()), 1627);

  const auto requestError = [&](int64_t code, const std::string& message) {
    return CYrError::Make(CYrError::Family::kWin32, code, inner, message).Push(outer).AsString();
  };
  EXPECT_EQ(HttpStatusOf(requestError(5, "AuthenticationError")), 401);
  EXPECT_EQ(HttpStatusOf(requestError(5006, "JMXConnectionError")), 503);
  EXPECT_EQ(HttpStatusOf(requestError(2250,
                                      " Error: API failed. operation [0]. URL[u]. Request [] "
                                      "ErrorCode [404] Result [Not Found]  ")),
            404);
  EXPECT_EQ(HttpStatusOf(requestError(2250,
                                      " Error: API failed. operation [0]. URL[u]. Request [] "
                                      "ErrorCode [0] Result []  ")),
            0);
  EXPECT_EQ(DescribeAnswer(0), "the sidecar did not answer");
}

// What a terminal shows for `output`: a carriage return moves back to the
// start of the line, a character overwrites the one under it; trailing
// blanks are dropped.
std::vector<std::string> TerminalLines(const std::string& output) {
  std::vector<std::string> lines(1);
  size_t column = 0;
  for (const char c : output) {
    std::string& line = lines.back();
    if (c == '\r') {
      column = 0;
    } else if (c == '\n') {
      line.erase(line.find_last_not_of(' ') + 1);
      lines.emplace_back();
      column = 0;
    } else {
      if (column >= line.size()) line.resize(column + 1, ' ');
      line[column++] = c;
    }
  }
  lines.back().erase(lines.back().find_last_not_of(' ') + 1);
  return lines;
}

// A stream in memory, and what was written to it.
struct MemoryStream {
  MemoryStream() : stream(open_memstream(&buffer, &size)) {}
  ~MemoryStream() {
    fclose(stream);
    free(buffer);
  }
  std::string Text() {
    fflush(stream);
    return std::string(buffer, size);
  }
  char* buffer = nullptr;
  size_t size = 0;
  FILE* stream;
};

TEST(StatusLine, LinesWrittenWhileTheStatusShowsStayWhole) {
  {
    MemoryStream terminal;
    StatusLine status;
    status.Show(terminal.stream, "Waiting | 0s", true);
    status.WriteLine(terminal.stream, "first log line\n");
    status.Show(terminal.stream, "Waiting / 12s", true);
    status.Show(terminal.stream, "Waiting - 3s", true);
    status.Around(terminal.stream, [&] { fputs("second\n", terminal.stream); });
    status.End();
    EXPECT_EQ(TerminalLines(terminal.Text()),
              (std::vector<std::string>{"first log line", "second", ""}));
  }
  {
    MemoryStream file;
    MemoryStream other;
    StatusLine status;
    status.Show(file.stream, "Waiting ", false);
    status.Show(file.stream, "Waiting .", false);
    status.WriteLine(other.stream, "elsewhere\n");
    status.WriteLine(file.stream, "log\n");
    status.Show(file.stream, "Waiting ..", false);
    status.End();
    EXPECT_EQ(file.Text(), "Waiting .\nlog\nWaiting ..\n");
    EXPECT_EQ(other.Text(), "elsewhere\n");
  }
}

}  // namespace
}  // namespace priamctl
