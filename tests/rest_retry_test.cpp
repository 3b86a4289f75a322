// The retry loop around REST requests: attempts, sleeps, classes and the
// error that comes back, against a scripted local server.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "CapturingLogWriter.h"
#include "FXErrorUtil.h"
#include "HttpTestServer.h"
#include "PriamUtil.h"
#include "PriamUtilTestAccess.h"
#include "RefusingPort.h"
#include "ScopedEnvironment.h"
#include "SleepRecorder.h"
#include "common/ErrorCodes.h"

namespace ZbCassandra {
namespace {

using testsupport::HttpAnswer;
using testsupport::HttpTestServer;
using testsupport::LogEntry;
using testsupport::RefusingPort;
using testsupport::ScopedConfigStore;
using testsupport::ScopedLogCapture;
using testsupport::SleepRecorder;

constexpr const char* kNotReady = " Priam Server not accepting requests yet. Sleeping ";
constexpr const char* kUnavailable = " Resource unavailable, sleeping ";
constexpr const char* kNoWaitTime = " Failed to access the reg key for wait time ";

std::vector<uint32_t> Repeat(uint32_t ms, size_t times) { return std::vector<uint32_t>(times, ms); }

class RestRetryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(PriamUtilTestAccess::MarkStarted(
        m_controller, "http://127.0.0.1:" + std::to_string(m_server.port()) + "/REST"));
    m_log->Clear();
  }

  CYrError Get(const std::string& path = "info", const std::string& body = "") {
    return m_controller.get(requestType::Get, CYrString(path), m_response, CYrString(body));
  }

  // The level -1 "Error: ..." lines, each checked to have asked for the
  // writer's level first.
  int FailureLines() const {
    int count = 0;
    for (const LogEntry& entry : m_log->Entries()) {
      if (entry.level != -1 || entry.text.rfind("Error: ", 0) != 0) continue;
      EXPECT_TRUE(entry.askedLevelFirst) << entry.text;
      ++count;
    }
    return count;
  }

  ScopedConfigStore m_store;
  ScopedLogCapture m_log;
  SleepRecorder m_sleeps;
  HttpTestServer m_server;
  PriamUtil m_controller{0, CYrString("/usr/bin/java"), "", "", "", false};
  CYrString m_response{"before"};
};

// One scripted run: the answers the server gives, in order (then 200), and
// what the loop must do with them.
struct Script {
  const char* name;
  std::vector<int> statuses;
  size_t attempts;
  std::vector<uint32_t> sleeps;
  int64_t code;  // Win32 code of the returned error, 0 for success
};

// Shown by the test runner in place of the object's bytes.
void PrintTo(const Script& script, std::ostream* out) { *out << script.name; }

class RestRetryScriptTest : public RestRetryTest, public ::testing::WithParamInterface<Script> {};

TEST_P(RestRetryScriptTest, AttemptsSleepsAndOutcomeFollowTheFailureClasses) {
  const Script& script = GetParam();
  for (int status : script.statuses) {
    m_server.Enqueue(HttpAnswer::Status(status, "reply " + std::to_string(status)));
  }
  const CYrError error = Get();

  EXPECT_EQ(m_server.Requests().size(), script.attempts);
  EXPECT_EQ(m_sleeps.Sleeps(), script.sleeps);
  if (script.code == 0) {
    EXPECT_FALSE(error.IsError()) << error.AsString();
  } else {
    EXPECT_TRUE(FXErrorUtil::IsWin32(error, static_cast<uint32_t>(script.code)))
        << error.AsString();
  }
  // The reply of the last attempt, whatever its outcome.
  const std::string last = script.attempts <= script.statuses.size()
                               ? "reply " + std::to_string(script.statuses[script.attempts - 1])
                               : "";
  EXPECT_EQ(m_response.str(), last);
  const size_t failures = script.code == 0 ? script.attempts - 1 : script.attempts;
  EXPECT_EQ(FailureLines(), static_cast<int>(failures));
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, RestRetryScriptTest,
    ::testing::Values(
        Script{"TenNotReadyFailuresMake300Seconds", std::vector<int>(12, 500), 10,
               Repeat(30000, 10), kNotConnected},
        Script{"UnavailableTwiceMakes20Seconds",
               {503, 503, 503},
               2,
               Repeat(10000, 2),
               kResourceUnavailable},
        Script{"UnavailableAfterNotReadyEndsAfterItsSleep",
               {500, 500, 500, 503, 503},
               4,
               {30000, 30000, 30000, 10000},
               kResourceUnavailable},
        Script{"NotReadyAfterUnavailableRaisesTheLimit",
               {503, 500, 500, 500, 500, 500, 500, 500, 500, 500, 500},
               10,
               [] {
                 std::vector<uint32_t> sleeps = Repeat(30000, 10);
                 sleeps[0] = 10000;
                 return sleeps;
               }(),
               kNotConnected},
        Script{"SuccessAtTheSecondAttemptSleptOnce", {503, 200}, 2, {10000}, 0},
        Script{"SuccessAtTheThirdAttempt", {500, 500}, 3, {30000, 30000}, 0},
        Script{"AuthenticationFailureEndsAtOnce", {401, 200}, 1, {}, kAccessDenied},
        Script{"AuthenticationFailureAfterANotReadyOne", {500, 401}, 2, {30000}, kAccessDenied}),
    [](const ::testing::TestParamInfo<Script>& info) { return info.param.name; });

TEST_F(RestRetryTest, AuthenticationFailureCarriesBothLocations) {
  m_server.Enqueue(HttpAnswer::Status(401, "denied"));
  const CYrError error = Get();
  EXPECT_EQ(error.Message(), "AuthenticationError");
  const std::vector<CYrError::Frame> frames = error.Frames();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_NE(frames[0].function.find("PriamUtil::sendRequestWithErrorHandling("), std::string::npos);
  EXPECT_NE(frames[1].function.find("PriamUtil::sendRequest("), std::string::npos);
  EXPECT_EQ(frames[0].file, "PriamUtil");
  EXPECT_EQ(frames[1].file, "PriamUtil");
  EXPECT_TRUE(m_sleeps.Sleeps().empty());
  EXPECT_EQ(m_response.str(), "denied");
}

TEST_F(RestRetryTest, RetriedErrorsComeBackAsSendRequestBuiltThem) {
  m_server.SetDefault(HttpAnswer::Status(503, "busy"));
  const CYrError error = Get();
  EXPECT_EQ(error.Message(), "JMXConnectionError");
  ASSERT_EQ(error.Frames().size(), 1u);
  EXPECT_NE(error.Frames()[0].function.find("PriamUtil::sendRequest("), std::string::npos);
  EXPECT_EQ(m_log->Count(kUnavailable), 2);
  EXPECT_EQ(m_log->Count("Error: " + error.AsString()), 2);
}

TEST_F(RestRetryTest, NeverStartedSidecarIsAskedTenTimesWithoutSendingAnything) {
  PriamUtil idle(0, CYrString("/usr/bin/java"), "", "", "", false);
  m_log->Clear();
  const CYrError error = idle.get(requestType::Post, "backup", m_response, "{}");
  EXPECT_TRUE(FXErrorUtil::IsErrNo(error, kNotConnected));
  EXPECT_EQ(error.Message(), " Priam server not initialized ");
  EXPECT_EQ(m_sleeps.Sleeps(), Repeat(30000, 10));
  EXPECT_EQ(m_sleeps.TotalMs(), 300000u);
  EXPECT_EQ(m_log->Count(kNotReady), 10);
  EXPECT_EQ(m_log->Count("Error: " + error.AsString()), 10);
  EXPECT_EQ(FailureLines(), 10);
  EXPECT_EQ(m_response.str(), "before");
  EXPECT_TRUE(m_server.Requests().empty());
}

TEST_F(RestRetryTest, UnreachableSidecarIsNotReady) {
  RefusingPort nobody;
  PriamUtilTestAccess::url(m_controller) = nobody.Url("/REST");
  const CYrError error = Get();
  EXPECT_TRUE(FXErrorUtil::IsWin32(error, kNotConnected));
  EXPECT_EQ(m_sleeps.Sleeps(), Repeat(30000, 10));
  EXPECT_EQ(m_log->Count(kNotReady), 10);
  EXPECT_EQ(m_response.str(), "");
}

TEST_F(RestRetryTest, ReplyCutMidwayIsRetriedAsNotReady) {
  m_server.Enqueue(HttpAnswer::CloseMidReply(std::string(100000, 'p')));
  m_server.Enqueue(HttpAnswer::Status(200, "{\"ok\":true}"));
  EXPECT_FALSE(Get().IsError());
  EXPECT_EQ(m_sleeps.Sleeps(), std::vector<uint32_t>{30000});
  EXPECT_EQ(m_response.str(), "{\"ok\":true}");
}

TEST_F(RestRetryTest, UnknownRequestTypeIsRefusedWithoutAttemptOrSleep) {
  const CYrError error =
      m_controller.get(static_cast<requestType>(7), CYrString("info"), m_response, CYrString());
  EXPECT_TRUE(FXErrorUtil::IsWin32(error, kInvalidParameter));
  EXPECT_EQ(error.Message(), " Invalid request type [7] ");
  EXPECT_TRUE(m_sleeps.Sleeps().empty());
  EXPECT_TRUE(m_server.Requests().empty());
  EXPECT_EQ(m_response.str(), "before");
}

TEST_F(RestRetryTest, EmptyPathEmptyBodyAndHugeReplyPassThrough) {
  const std::string big(50u * 1024 * 1024, 'r');
  m_server.Enqueue(HttpAnswer::Status(200, big));
  ASSERT_FALSE(m_controller.get(requestType::Post, "", m_response, "").IsError());
  ASSERT_EQ(m_server.Requests().size(), 1u);
  EXPECT_EQ(m_server.Requests()[0].target, "/REST/v1/cassadmin/");
  EXPECT_EQ(m_server.Requests()[0].method, "POST");
  EXPECT_EQ(m_server.Requests()[0].body, "");
  EXPECT_TRUE(m_response.str() == big);
  EXPECT_TRUE(m_sleeps.Sleeps().empty());
}

TEST_F(RestRetryTest, MissingWaitTimeIsReportedAtEveryCallAndChangesNothing) {
  ASSERT_FALSE(Get().IsError());
  ASSERT_FALSE(Get().IsError());
  EXPECT_EQ(m_log->Count(kNoWaitTime), 2);
  for (const LogEntry& entry : m_log->Entries()) {
    if (entry.text != kNoWaitTime) continue;
    EXPECT_EQ(entry.level, -1);
    EXPECT_FALSE(entry.askedLevelFirst);
  }

  // Present, and even tiny, the value governs neither sleeps nor limits.
  m_store.Set("Cassandra", "nPriamWaitTime", "1");
  m_log->Clear();
  m_server.SetDefault(HttpAnswer::Status(500));
  Get();
  EXPECT_EQ(m_log->Count(kNoWaitTime), 0);
  EXPECT_EQ(m_sleeps.Sleeps(), Repeat(30000, 10));
}

TEST_F(RestRetryTest, OnlyTheWaitTimeMessageIgnoresTheLevel) {
  // A writer below -1 wants no failure lines: the per-attempt "Error: ..."
  // respects that; the missing wait time is written regardless.
  m_log->SetLevel(-2);
  m_server.Enqueue(HttpAnswer::Status(503));
  EXPECT_FALSE(Get().IsError());
  EXPECT_EQ(m_log->Texts(), std::vector<std::string>{kNoWaitTime});
}

// The launch's connection check gives each attempt 10 s whatever the host's
// limit ("info" answers in milliseconds); the host's own requests get the
// host's limit. Each bound below is far from what the other limit would
// have taken.
TEST_F(RestRetryTest, EachAttemptEndsAtTheLimitOfItsKind) {
  using Clock = std::chrono::steady_clock;
  EXPECT_EQ(m_controller.requestTimeLimit(), 300u);
  const CYrError refused = m_controller.setRequestTimeLimit(0);
  EXPECT_TRUE(FXErrorUtil::IsWin32(refused, kInvalidParameter)) << refused.AsString();
  EXPECT_EQ(m_controller.requestTimeLimit(), 300u);

  ASSERT_FALSE(m_controller.setRequestTimeLimit(3600).IsError());
  m_server.Enqueue(HttpAnswer::NoAnswer());
  Clock::time_point start = Clock::now();
  EXPECT_FALSE(m_controller.checkConnection().IsError());
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(60)) << "the check's 10 s, not an hour";
  EXPECT_EQ(m_server.Requests().size(), 2u);
  EXPECT_EQ(m_sleeps.Sleeps(), (std::vector<uint32_t>{30000, 30000}));

  ASSERT_FALSE(m_controller.setRequestTimeLimit(1).IsError());
  EXPECT_EQ(m_controller.requestTimeLimit(), 1u);
  m_server.Enqueue(HttpAnswer::NoAnswer());
  start = Clock::now();
  EXPECT_FALSE(Get().IsError());
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(8)) << "the host's 1 s, not the check's 10";
  EXPECT_EQ(m_server.Requests().size(), 4u);
}

// cancel() is final for its controller: every call that may wait returns the
// cancel error at once, sending nothing and sleeping not at all; a stop
// still works. It reaches no other object: neither another controller busy
// in another thread, nor the parent's object when a copy in a forked child
// is cancelled (the two share the descriptor).
TEST_F(RestRetryTest, ACancelEndsItsOwnObjectsCallsForGoodAndNoOtherObjects) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    m_controller.cancel();
    _exit(m_controller.cancelled() ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(status, 0);
  EXPECT_FALSE(m_controller.cancelled());
  EXPECT_FALSE(Get().IsError()) << "the parent's controller still works";

  // Two objects in two threads, both in a transfer the server never answers:
  // the cancel ends one, the other runs on to its own 1 s limit and then
  // succeeds at its next attempt.
  PriamUtil other(0, CYrString("/usr/bin/java"), "", "", "", false);
  ASSERT_TRUE(PriamUtilTestAccess::MarkStarted(other, PriamUtilTestAccess::url(m_controller)));
  ASSERT_FALSE(other.setRequestTimeLimit(1).IsError());
  m_server.Enqueue(HttpAnswer::NoAnswer());
  m_server.Enqueue(HttpAnswer::NoAnswer());
  CYrError cancelled;
  CYrError answered;
  std::thread first([&] { cancelled = Get(); });
  std::thread second([&] {
    CYrString reply;
    answered = other.get(requestType::Get, "info", reply, "");
  });
  while (m_server.Requests().size() < 3) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  m_controller.cancel();
  first.join();
  second.join();
  EXPECT_TRUE(FXErrorUtil::IsWin32(cancelled, kCancelled)) << cancelled.AsString();
  EXPECT_FALSE(answered.IsError()) << answered.AsString();
  EXPECT_FALSE(other.cancelled());
  EXPECT_EQ(m_server.Requests().size(), 4u);
  const size_t slept = m_sleeps.Sleeps().size();

  m_controller.cancel();
  m_controller.cancel();
  EXPECT_TRUE(m_controller.cancelled());
  const std::vector<std::pair<const char*, std::function<CYrError()>>> calls = {
      {"get", [&] { return Get(); }},
      {"sendRequestWithErrorHandling",
       [&] {
         return m_controller.sendRequestWithErrorHandling(requestType::Get, "info", m_response, "");
       }},
      {"sendRequest",
       [&] { return m_controller.sendRequest(requestType::Get, "info", m_response, ""); }},
      {"checkConnection", [&] { return m_controller.checkConnection(); }},
      {"validatePriamPort", [&] { return m_controller.validatePriamPort(); }},
      {"startPriam", [&] { return m_controller.startPriam(); }},
  };
  for (const auto& call : calls) {
    SCOPED_TRACE(call.first);
    const CYrError error = call.second();
    EXPECT_TRUE(FXErrorUtil::IsWin32(error, kCancelled)) << error.AsString();
    EXPECT_EQ(error.Message(), "Cancelled by the host");
  }
  EXPECT_EQ(m_server.Requests().size(), 4u);
  EXPECT_EQ(m_sleeps.Sleeps().size(), slept);
  EXPECT_FALSE(m_controller.stopPriam().IsError());
  EXPECT_FALSE(m_controller.priamStarted());
}

}  // namespace
}  // namespace ZbCassandra
