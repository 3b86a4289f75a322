// The stand-in sidecar, run for real with the JDK: what it answers, what it
// logs, and how it ends.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "FXString.h"
#include "LocalPort.h"
#include "TempDir.h"
#include "ZBLibCurl.h"
#include "ZbProcess.h"

namespace {

using testsupport::FileMode;
using testsupport::PathExists;
using testsupport::ReadFile;
using testsupport::TempDir;

const char* const kSecretKeys[] = {"priam.cqluserpassword",   "priam.jmx.token",
                                   "priam.server.kspasswd",   "priam.server.tspasswd",
                                   "priam.keystore.password", "priam.truststore.password"};

// Every bounded wait polls this often, at most kPolls times (30 s in all).
constexpr long kPollMs = 25;
constexpr int kPolls = 1200;

void Pause() {
  struct timespec pause = {0, kPollMs * 1000 * 1000};
  nanosleep(&pause, nullptr);
}

struct Answer {
  int64_t status = 0;  // 0: no answer (nothing listens)
  std::string body;
};

Answer Request(int port, const std::string& path, _http_req_type_ type = HTTP_REQ_GET) {
  ZBLibCurl curl;
  Answer answer;
  if (!curl.ZBLibCurlInit(nullptr, false, false, nullptr)) return answer;
  curl.SetTimeouts(2000, 10000);
  const std::string url = "http://localhost:" + std::to_string(port) + path;
  const std::string body = type == HTTP_REQ_POST ? "{\"ignored\":true}" : "";
  const bool ok =
      curl.ZBLibCurlSendHttpReq(type, url.c_str(), body.c_str(), body.size(), false, nullptr);
  answer.status = curl.GetHttpErrorCode();
  answer.body = curl.GetHttpResponse(nullptr, ok);
  return answer;
}

Answer Operation(int port, const std::string& operation, _http_req_type_ type = HTTP_REQ_GET) {
  return Request(port, "/REST/v1/cassadmin/" + operation, type);
}

// One stand-in process with its own configuration directory and log file.
// Whatever a test does, the process is killed and reaped at the end.
class Standin {
 public:
  // `properties` becomes zbPriam.properties (none when null).
  explicit Standin(const char* properties) {
    if (properties) m_dir.write("zbPriam.properties", properties);
    m_dir.write("zbPriamlog4j.properties",
                "log4j.rootLogger=INFO, R\nlog4j.appender.R.File=" + LogPath() + "\n");
  }
  ~Standin() {
    const pid_t pid = m_process.GetChildPid();
    if (pid > 0) kill(pid, SIGKILL);
    m_process.Reap(true);
  }

  // Start it with `lastArgument` (the port) ending the command line.
  void Start(const std::string& lastArgument) {
    m_process.SetSilence(true);
    const std::string arguments = std::string("java -Dzbpriam.config.file=") + m_dir.path() +
                                  " -cp " + PRIAM_STANDIN_JAR + " jerseyserve.server " +
                                  lastArgument;
    std::string error;
    ASSERT_TRUE(m_process.StartProcess(PRIAM_STANDIN_JAVA, arguments, &error, 0)) << error;
  }
  void Start(int port) { Start(std::to_string(port)); }

  // The first answer to "info" on `port` once something answers there; no
  // answer when the process exits first or the wait runs out.
  Answer FirstAnswer(int port) {
    for (int i = 0; i < kPolls && Running(); ++i) {
      Answer answer = Operation(port, "info");
      if (answer.status != 0) return answer;
      Pause();
    }
    return Answer();
  }

  // Wait (bounded) until the process has exited; false when it still runs.
  bool WaitForExit() {
    for (int i = 0; i < kPolls; ++i) {
      if (m_process.Reap(false)) return true;
      Pause();
    }
    return false;
  }

  // Wait (bounded) until the log holds `text`.
  bool WaitForLog(const std::string& text) {
    for (int i = 0; i < kPolls; ++i) {
      if (PathExists(LogPath()) && Log().find(text) != std::string::npos) return true;
      Pause();
    }
    return false;
  }

  bool Running() { return !m_process.Reap(false); }
  std::string Log() const { return ReadFile(LogPath()); }
  std::string LogPath() const { return m_dir.file("zbPriam.log"); }
  const std::string& ConfigDir() const { return m_dir.path(); }
  ZbProcess& Process() { return m_process; }

 private:
  TempDir m_dir;
  ZbProcess m_process;
};

// The last word of the process's command line, as `ps` shows it.
std::string LastWordInProcessTable(pid_t pid) {
  std::string output;
  std::string error;
  const std::string command =
      "ps --no-headers -f -p " + std::to_string(pid) + " | awk '{print $NF}'";
  EXPECT_EQ(ZbProcess::system(command, &output, &error, 0, true), 0) << error;
  FXString::Trim(output, " \t\n");
  return output;
}

TEST(Standin, InfoAndLogShowSettingsButNeverASecret) {
  Standin standin(
      "priam.cqlhost=10.1.2.3\n"
      "priam.cqlport=9142\n"
      "priam.jmx.port=7299\n"
      "priam.cass.process=scylla\n"
      "priam.cqlusername=backup \"user\"\n"
      "priam.jmx.user=jmxadmin\n"
      "priam.cqluserpassword=pw-cql-S3cret\n"
      "priam.jmx.token=pw-jmx-T0ken\n"
      "priam.server.kspasswd=pw-ks-server\n"
      "priam.server.tspasswd=pw-ts-server\n"
      "priam.keystore.password=pw-keystore\n"
      "priam.truststore.password=pw-truststore\n"
      "priam.s3.bucket=unknown-key=kept\n");
  const int port = testsupport::FreeLocalPort();
  standin.Start(port);

  const Answer get = standin.FirstAnswer(port);
  ASSERT_EQ(get.status, 200) << get.body;
  const Answer post = Operation(port, "info", HTTP_REQ_POST);
  EXPECT_EQ(post.status, 200) << post.body;

  const nlohmann::json info = nlohmann::json::parse(get.body);
  EXPECT_EQ(info["gossip_active"], true);
  EXPECT_EQ(info["native_active"], true);
  for (const char* field : {"load", "uptime", "data_center", "rack", "host_id"}) {
    EXPECT_TRUE(info.contains(field)) << field;
  }
  EXPECT_EQ(info["pid"], standin.Process().GetChildPid());
  EXPECT_EQ(info["port"], port);
  EXPECT_EQ(info["config_dir"], standin.ConfigDir());
  const nlohmann::json& settings = info["settings"];
  EXPECT_EQ(settings["priam.cqlhost"], "10.1.2.3");
  EXPECT_EQ(settings["priam.cqlport"], "9142");
  EXPECT_EQ(settings["priam.jmx.port"], "7299");
  EXPECT_EQ(settings["priam.cass.process"], "scylla");
  EXPECT_EQ(settings["priam.cqlusername"], "backup \"user\"");
  EXPECT_EQ(settings["priam.jmx.user"], "jmxadmin");
  for (const char* key : kSecretKeys) EXPECT_EQ(info["secrets_present"][key], true) << key;

  EXPECT_TRUE(standin.WaitForLog("POST /REST/v1/cassadmin/info 200"));
  const std::string log = standin.Log();
  EXPECT_NE(log.find("GET /REST/v1/cassadmin/info 200"), std::string::npos) << log;
  EXPECT_NE(log.find("Listening on 127.0.0.1:" + std::to_string(port)), std::string::npos);
  EXPECT_EQ(FileMode(standin.LogPath()), 0600);
  for (const std::string& text : {get.body, post.body, log}) {
    EXPECT_EQ(text.find("pw-"), std::string::npos) << text;
    EXPECT_EQ(text.find("unknown-key"), std::string::npos) << text;
  }
}

TEST(Standin, MissingConfigurationIsToleratedAndPortEndsCommandLine) {
  Standin standin(nullptr);
  const int port = testsupport::FreeLocalPort();
  standin.Start(port);

  const Answer answer = standin.FirstAnswer(port);
  ASSERT_EQ(answer.status, 200) << answer.body;
  const nlohmann::json info = nlohmann::json::parse(answer.body);
  EXPECT_TRUE(info["settings"]["priam.cqlhost"].is_null());
  for (const char* key : kSecretKeys) EXPECT_EQ(info["secrets_present"][key], false) << key;
  EXPECT_NE(standin.Log().find("No zbPriam.properties in [" + standin.ConfigDir() + "]"),
            std::string::npos);
  EXPECT_EQ(LastWordInProcessTable(standin.Process().GetChildPid()), std::to_string(port));
}

TEST(Standin, UnknownOperationsAndPathsAnswer404) {
  Standin standin("");
  const int port = testsupport::FreeLocalPort();
  standin.Start(port);
  ASSERT_EQ(standin.FirstAnswer(port).status, 200);

  EXPECT_EQ(Operation(port, "nosuchop").status, 404);
  EXPECT_EQ(Operation(port, "nosuchop", HTTP_REQ_POST).status, 404);
  EXPECT_EQ(Operation(port, "info/").status, 404);
  EXPECT_EQ(Operation(port, "").status, 404);
  EXPECT_EQ(Request(port, "/REST/v1/other/info").status, 404);
  EXPECT_EQ(Request(port, "/info").status, 404);
}

TEST(Standin, WarmupAnswers503ThenInfo) {
  // Long enough that the first poll after the socket opens lands inside it.
  Standin standin("standin.warmup.ms=4000\n");
  const int port = testsupport::FreeLocalPort();
  standin.Start(port);

  const Answer first = standin.FirstAnswer(port);
  EXPECT_EQ(first.status, 503);
  EXPECT_EQ(first.body, "JMXConnectionException");
  EXPECT_EQ(Operation(port, "nosuchop").status, 404);

  Answer later;
  for (int i = 0; i < kPolls && later.status != 200; ++i) {
    later = Operation(port, "info");
    if (later.status == 503) {
      EXPECT_EQ(later.body, "JMXConnectionException");
      Pause();
    }
  }
  EXPECT_EQ(later.status, 200) << later.body;
}

TEST(Standin, UserWithoutPasswordIsRefusedWith401) {
  struct Case {
    const char* properties;
    int64_t status;
  };
  const Case cases[] = {
      {"priam.cqlusername=cassandra\n", 401},
      {"priam.cqlusername=cassandra\npriam.cqluserpassword=\n", 401},
      {"priam.cqlusername=cassandra\npriam.cqluserpassword=pw\n", 200},
      {"priam.cqlusername=\n", 200},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.properties);
    Standin standin(c.properties);
    const int port = testsupport::FreeLocalPort();
    standin.Start(port);
    EXPECT_EQ(standin.FirstAnswer(port).status, c.status);
    EXPECT_EQ(Operation(port, "info", HTTP_REQ_POST).status, c.status);
  }
}

TEST(Standin, ListensOnAnotherPortWhenAsked) {
  const int commandLinePort = testsupport::FreeLocalPort();
  const int otherPort = testsupport::FreeLocalPort();
  ASSERT_NE(commandLinePort, otherPort);
  Standin standin(("standin.listen.port=" + std::to_string(otherPort) + "\n").c_str());
  standin.Start(commandLinePort);

  const Answer answer = standin.FirstAnswer(otherPort);
  ASSERT_EQ(answer.status, 200);
  EXPECT_EQ(nlohmann::json::parse(answer.body)["port"], otherPort);
  EXPECT_EQ(Operation(commandLinePort, "info").status, 0);
  EXPECT_EQ(LastWordInProcessTable(standin.Process().GetChildPid()),
            std::to_string(commandLinePort));
}

TEST(Standin, NeverListensWhenAsked) {
  Standin standin("standin.never.listen=true\n");
  const int port = testsupport::FreeLocalPort();
  standin.Start(port);

  ASSERT_TRUE(standin.WaitForLog("Not listening (standin.never.listen)"));
  EXPECT_TRUE(standin.Running());
  EXPECT_EQ(Operation(port, "info").status, 0);
}

TEST(Standin, ExitsAtOnceWithStatus1WhenAsked) {
  Standin standin("standin.exit.immediately=true\n");
  standin.Start(testsupport::FreeLocalPort());

  ASSERT_TRUE(standin.WaitForExit());
  const int status = standin.Process().ExitStatus();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(standin.Log().find("Exiting at once (standin.exit.immediately)"), std::string::npos);
}

TEST(Standin, PortArgumentThatIsNoPortExitsWithStatus2) {
  Standin standin("");
  standin.Start("65536");
  ASSERT_TRUE(standin.WaitForExit());
  const int status = standin.Process().ExitStatus();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 2);
  EXPECT_NE(standin.Log().find("(got [65536])"), std::string::npos);
}

TEST(Standin, SigtermStopsItCleanly) {
  Standin standin("");
  const int port = testsupport::FreeLocalPort();
  standin.Start(port);
  ASSERT_EQ(standin.FirstAnswer(port).status, 200);

  const pid_t pid = standin.Process().GetChildPid();
  ASSERT_EQ(kill(pid, SIGTERM), 0);
  ASSERT_TRUE(standin.WaitForExit());
  // The JVM ends through its shutdown sequence: an exit, not a death by
  // signal.
  EXPECT_TRUE(WIFEXITED(standin.Process().ExitStatus()));
  EXPECT_NE(standin.Log().find("Stopping"), std::string::npos);
}

TEST(Standin, KillAndReapLeaveNoProcess) {
  Standin standin("");
  const int port = testsupport::FreeLocalPort();
  standin.Start(port);
  ASSERT_EQ(standin.FirstAnswer(port).status, 200);

  const pid_t pid = standin.Process().GetChildPid();
  ASSERT_GT(pid, 0);
  ASSERT_EQ(kill(pid, SIGKILL), 0);
  ASSERT_TRUE(standin.Process().Reap(true));
  EXPECT_EQ(standin.Process().GetChildPid(), 0);
  EXPECT_FALSE(PathExists("/proc/" + std::to_string(pid)));
  EXPECT_EQ(Operation(port, "info").status, 0);
}

}  // namespace
