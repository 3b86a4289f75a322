// One REST request to a sidecar stood in for by a scripted local server.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CapturingLogWriter.h"
#include "FXErrorUtil.h"
#include "HeaderAppendFault.h"
#include "HttpTestServer.h"
#include "PriamUtil.h"
#include "PriamUtilTestAccess.h"
#include "RefusingPort.h"
#include "ScopedEnvironment.h"
#include "common/ErrorCodes.h"

namespace ZbCassandra {
namespace {

using testsupport::HeaderAppendFault;
using testsupport::HttpAnswer;
using testsupport::HttpTestServer;
using testsupport::LogEntry;
using testsupport::RecordedRequest;
using testsupport::RefusingPort;
using testsupport::ScopedConfigStore;
using testsupport::ScopedLogCapture;

constexpr const char* kSendRequest = "PriamUtil::sendRequest(";
constexpr const char* kSetHeaders = "PriamUtil::setCommonCurlHeaders(";

// The one location an error was built at, or "" when it has another count.
std::string OnlyLocation(const CYrError& error) {
  const std::vector<CYrError::Frame> frames = error.Frames();
  if (frames.size() != 1 || frames[0].file != "PriamUtil") return "";
  return frames[0].function;
}

class RestRequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(m_controller.initFailed());
    m_baseUrl = "http://127.0.0.1:" + std::to_string(m_server.port()) + "/REST";
    ASSERT_TRUE(PriamUtilTestAccess::MarkStarted(m_controller, m_baseUrl));
    m_log->Clear();
  }

  CYrError Send(requestType type, const std::string& path, const std::string& body = "") {
    return m_controller.sendRequest(type, CYrString(path), m_response, CYrString(body));
  }

  RecordedRequest OnlyRequest() const {
    const std::vector<RecordedRequest> requests = m_server.Requests();
    EXPECT_EQ(requests.size(), 1u);
    return requests.empty() ? RecordedRequest() : requests.front();
  }

  // The texts logged at level 0 with the function of `operation` as context.
  std::vector<std::string> Logged(const std::string& operation) const {
    std::vector<std::string> texts;
    for (const LogEntry& entry : m_log->Entries()) {
      if (entry.level == 0 && entry.context.find(operation) != std::string::npos) {
        texts.push_back(entry.text);
      }
    }
    return texts;
  }

  ScopedConfigStore m_store;
  ScopedLogCapture m_log;
  HttpTestServer m_server;
  PriamUtil m_controller{0, CYrString("/usr/bin/java"), "", "", "", false};
  std::string m_baseUrl;
  CYrString m_response{"left over"};
};

TEST_F(RestRequestTest, SuccessSendsMethodUrlHeadersAndBodyAndReturnsTheReply) {
  m_server.Enqueue(HttpAnswer::Status(200, "{\"snapshot\":\"done\"}"));
  const CYrError error = Send(requestType::Post, "backup/status?now=1&x=%41", "{\"a\":\"b\"}");
  ASSERT_FALSE(error.IsError()) << error.AsString();
  EXPECT_EQ(m_response.str(), "{\"snapshot\":\"done\"}");

  const RecordedRequest request = OnlyRequest();
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.target, "/REST/v1/cassadmin/backup/status?now=1&x=%41");
  EXPECT_EQ(request.body, "{\"a\":\"b\"}");
  EXPECT_EQ(request.HeaderValues("Content-Type"), std::vector<std::string>{"application/json"});
  EXPECT_EQ(request.HeaderValues("User-Agent"), std::vector<std::string>{"curl/7.32.0"});
  EXPECT_EQ(
      Logged(kSendRequest),
      std::vector<std::string>{" URL [" + m_baseUrl + "/v1/cassadmin/backup/status?now=1&x=%41] "});
}

TEST_F(RestRequestTest, EmptyPathAndEmptyBodyGoOutAsTheyAre) {
  ASSERT_FALSE(Send(requestType::Get, "").IsError());
  const RecordedRequest request = OnlyRequest();
  EXPECT_EQ(request.method, "GET");
  EXPECT_EQ(request.target, "/REST/v1/cassadmin/");
  EXPECT_TRUE(request.HeaderValues("Content-Length").empty());
  EXPECT_EQ(m_response.str(), "");
}

TEST_F(RestRequestTest, ConsecutiveRequestsEachCarryExactlyTheTwoHeaders) {
  ASSERT_FALSE(Send(requestType::Post, "a", "{}").IsError());
  ASSERT_FALSE(Send(requestType::Get, "b").IsError());
  const std::vector<RecordedRequest> requests = m_server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  for (const RecordedRequest& request : requests) {
    EXPECT_EQ(request.HeaderValues("Content-Type"), std::vector<std::string>{"application/json"});
    EXPECT_EQ(request.HeaderValues("User-Agent"), std::vector<std::string>{"curl/7.32.0"});
    for (const auto& header : request.headers) {
      EXPECT_TRUE(header.first == "Host" || header.first == "Accept" ||
                  header.first == "Content-Length" || header.first == "Content-Type" ||
                  header.first == "User-Agent")
          << "unexpected header " << header.first;
    }
  }
}

TEST_F(RestRequestTest, UnavailableAndAuthenticationAnswersAreClassifiedAndKeepTheReply) {
  m_server.Enqueue(HttpAnswer::Status(503, "back end down"));
  CYrError error = Send(requestType::Get, "info");
  EXPECT_TRUE(FXErrorUtil::IsWin32(error, kResourceUnavailable));
  EXPECT_EQ(error.Message(), "JMXConnectionError");
  EXPECT_NE(OnlyLocation(error).find(kSendRequest), std::string::npos);
  EXPECT_EQ(m_response.str(), "back end down");
  const std::string url = m_baseUrl + "/v1/cassadmin/info";
  EXPECT_EQ(
      Logged(kSendRequest),
      (std::vector<std::string>{" URL [" + url + "] ",
                                " Error: API failed. operation [0]. URL[" + url +
                                    "]. Request [] ErrorCode [503] ErrorCode [back end down]   ",
                                " Service unavilable "}));

  m_log->Clear();
  m_server.Enqueue(HttpAnswer::Status(401, "who are you"));
  error = Send(requestType::Post, "info", "{}");
  EXPECT_TRUE(FXErrorUtil::IsWin32(error, kAccessDenied));
  EXPECT_EQ(error.Message(), "AuthenticationError");
  EXPECT_NE(OnlyLocation(error).find(kSendRequest), std::string::npos);
  EXPECT_EQ(m_response.str(), "who are you");
  EXPECT_EQ(Logged(kSendRequest).back(), "Authentication error");
}

TEST_F(RestRequestTest, OtherFailuresAreNotConnectedAndShowOperationZero) {
  m_server.Enqueue(HttpAnswer::Status(500, "boom"));
  // A POST, yet the operation reads 0.
  const CYrError error = Send(requestType::Post, "repair", "{\"ks\":1}");
  const std::string url = m_baseUrl + "/v1/cassadmin/repair";
  EXPECT_TRUE(FXErrorUtil::IsWin32(error, kNotConnected));
  EXPECT_EQ(error.Message(), " Error: API failed. operation [0]. URL[" + url +
                                 "]. Request [{\"ks\":1}] ErrorCode [500] Result [boom]  ");
  EXPECT_NE(OnlyLocation(error).find(kSendRequest), std::string::npos);
  EXPECT_EQ(m_response.str(), "boom");
  EXPECT_EQ(Logged(kSendRequest).back(),
            " Error: API failed. operation [0]. URL[" + url +
                "]. Request [{\"ks\":1}] ErrorCode [500] ErrorCode [boom]   ");
}

TEST_F(RestRequestTest, RefusedConnectionIsNotConnectedWithAnEmptyReply) {
  RefusingPort nobody;
  PriamUtilTestAccess::url(m_controller) = nobody.Url("/REST");
  const CYrError error = Send(requestType::Get, "info");
  EXPECT_TRUE(FXErrorUtil::IsWin32(error, kNotConnected));
  EXPECT_EQ(error.Message(), " Error: API failed. operation [0]. URL[" + nobody.Url("/REST") +
                                 "/v1/cassadmin/info]. Request [] ErrorCode [0] Result []  ");
  EXPECT_EQ(m_response.str(), "");
}

TEST_F(RestRequestTest, NothingIsSentBeforeTheStartOrAfterTheStop) {
  PriamUtil idle(0, CYrString("/usr/bin/java"), "", "", "", false);
  CYrError error = idle.sendRequest(requestType::Get, "info", m_response, "");
  EXPECT_TRUE(FXErrorUtil::IsErrNo(error, kNotConnected));
  EXPECT_EQ(error.Message(), " Priam server not initialized ");
  EXPECT_NE(OnlyLocation(error).find(kSendRequest), std::string::npos);

  ASSERT_FALSE(m_controller.stopPriam().IsError());
  error = Send(requestType::Get, "info");
  EXPECT_TRUE(FXErrorUtil::IsErrNo(error, kNotConnected));
  EXPECT_EQ(m_response.str(), "left over");
  EXPECT_TRUE(m_server.Requests().empty());
  EXPECT_TRUE(Logged(kSendRequest).empty());
}

TEST_F(RestRequestTest, UnknownRequestTypeIsRefusedBeforeAnythingIsSent) {
  const CYrError error = Send(static_cast<requestType>(2), "info", "{}");
  EXPECT_TRUE(FXErrorUtil::IsWin32(error, kInvalidParameter));
  EXPECT_EQ(error.Message(), " Invalid request type [2] ");
  EXPECT_EQ(m_response.str(), "left over");
  EXPECT_TRUE(m_server.Requests().empty());
}

TEST_F(RestRequestTest, RequestGoesOutWithoutHeadersWhenTheFirstCannotBeSet) {
  HeaderAppendFault fault("Content-Type: application/json");
  ASSERT_FALSE(Send(requestType::Get, "info").IsError());
  EXPECT_EQ(fault.refusals(), 1);
  const RecordedRequest request = OnlyRequest();
  EXPECT_TRUE(request.HeaderValues("Content-Type").empty());
  EXPECT_TRUE(request.HeaderValues("User-Agent").empty());

  const CYrError expected = m_controller.setCommonCurlHeaders();
  EXPECT_TRUE(FXErrorUtil::IsErrNo(expected, kFunctionFailed));
  EXPECT_EQ(expected.Message(), "Failed to set CURL Accept header 2 ");
  EXPECT_NE(OnlyLocation(expected).find(kSetHeaders), std::string::npos);
  const std::vector<std::string> logged = Logged(kSendRequest);
  ASSERT_FALSE(logged.empty());
  // The location in the text is setCommonCurlHeaders' own, on the same line.
  EXPECT_EQ(logged.front(),
            " Unable to set the common headers, error[" + expected.AsString() + "]");
  EXPECT_EQ(Logged(kSetHeaders), (std::vector<std::string>{"Failed to set CURL Accept header 2 ",
                                                           "Failed to set CURL Accept header 2 "}));
}

TEST_F(RestRequestTest, RequestGoesOutWithTheFirstHeaderWhenTheSecondCannotBeSet) {
  HeaderAppendFault fault("User-Agent: curl/7.32.0");
  ASSERT_FALSE(Send(requestType::Get, "info").IsError());
  const RecordedRequest request = OnlyRequest();
  EXPECT_EQ(request.HeaderValues("Content-Type"), std::vector<std::string>{"application/json"});
  EXPECT_TRUE(request.HeaderValues("User-Agent").empty());
  EXPECT_EQ(Logged(kSetHeaders), std::vector<std::string>{"Failed to set CURL UserAgent header3 "});

  const CYrError error = m_controller.setCommonCurlHeaders();
  EXPECT_TRUE(FXErrorUtil::IsErrNo(error, kFunctionFailed));
  EXPECT_EQ(error.Message(), "Failed to set CURL UserAgent header3 ");
}

TEST_F(RestRequestTest, HugeReplyIsCopiedWhole) {
  const std::string big(50u * 1024 * 1024, 'j');
  m_server.Enqueue(HttpAnswer::Status(200, big));
  ASSERT_FALSE(Send(requestType::Get, "list").IsError());
  EXPECT_EQ(m_response.Length(), big.size());
  EXPECT_TRUE(m_response.str() == big);
}

TEST_F(RestRequestTest, ReplyIsTakenAsTextUpToItsFirstNulByte) {
  m_server.Enqueue(HttpAnswer::Status(200, std::string("{\"a\":1}\0tail", 12)));
  ASSERT_FALSE(Send(requestType::Get, "nul").IsError());
  EXPECT_EQ(m_response.str(), "{\"a\":1}");
}

TEST_F(RestRequestTest, ReplyCutMidwayIsNotConnected) {
  m_server.Enqueue(HttpAnswer::CloseMidReply(std::string(200000, 'c')));
  const CYrError error = Send(requestType::Get, "cut");
  EXPECT_TRUE(FXErrorUtil::IsWin32(error, kNotConnected));
  EXPECT_LE(m_response.Length(), 200000u);
}

TEST_F(RestRequestTest, PostAndSendReqSendNothing) {
  std::string output = "untouched";
  EXPECT_FALSE(m_controller.post("{\"x\":1}", output).IsError());
  EXPECT_EQ(output, "untouched");
  EXPECT_FALSE(m_controller.sendReq().IsError());
  EXPECT_TRUE(m_server.Requests().empty());
}

}  // namespace
}  // namespace ZbCassandra
