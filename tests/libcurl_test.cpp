// The HTTP client against a real server on 127.0.0.1.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "HttpTestServer.h"
#include "RefusingPort.h"
#include "ScopedCancel.h"
#include "ScopedEnvironment.h"
#include "ZBLibCurl.h"
#include "ZbProcess.h"

namespace {

using testsupport::HttpAnswer;
using testsupport::HttpTestServer;
using testsupport::RecordedRequest;
using testsupport::RefusingPort;
using testsupport::ScopedEnv;

class LibCurlTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_curl.ZBLibCurlInit(nullptr, false, false, nullptr)); }

  bool Send(_http_req_type_ type, const std::string& path, const std::string& body = "") {
    return m_curl.ZBLibCurlSendHttpReq(type, m_server.Url(path).c_str(), body.data(), body.size(),
                                       false, nullptr);
  }

  // The whole reply of the last exchange, NUL bytes included.
  std::string Reply(bool succeeded) {
    uint64_t length = 12345;
    const char* text = m_curl.GetHttpResponse(&length, succeeded);
    EXPECT_NE(text, nullptr);
    if (!text) return std::string();
    EXPECT_EQ(text[length], '\0') << "the reply must be NUL-terminated";
    return std::string(text, length);
  }

  RecordedRequest OnlyRequest() const {
    const std::vector<RecordedRequest> requests = m_server.Requests();
    EXPECT_EQ(requests.size(), 1u);
    return requests.empty() ? RecordedRequest() : requests.front();
  }

  HttpTestServer m_server;
  ZBLibCurl m_curl;
};

TEST_F(LibCurlTest, RequestTypesMapToGetAndPostAndCarryTheirBodies) {
  const std::string binary("\x00\x01\xff{\"a\":1}\r\n\x00", 12);
  // One handle serves all four, so no request may inherit an earlier one's
  // method or body.
  ASSERT_TRUE(Send(HTTP_REQ_POST, "/REST/v1/cassadmin/backup", binary));
  ASSERT_TRUE(Send(HTTP_REQ_GET, "/REST/v1/cassadmin/info"));
  ASSERT_TRUE(Send(HTTP_REQ_GET, "/with/body?x=1", "{}"));
  ASSERT_TRUE(Send(HTTP_REQ_POST, "/empty"));

  const std::vector<RecordedRequest> requests = m_server.Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].target, "/REST/v1/cassadmin/backup");
  EXPECT_EQ(requests[0].body, binary);
  EXPECT_EQ(requests[0].HeaderValues("Content-Length"), std::vector<std::string>{"12"});
  EXPECT_EQ(requests[1].method, "GET");
  EXPECT_EQ(requests[1].target, "/REST/v1/cassadmin/info");
  EXPECT_EQ(requests[1].body, "");
  EXPECT_EQ(requests[2].method, "GET");
  EXPECT_EQ(requests[2].target, "/with/body?x=1");
  // The test server does not read a GET's body; its declared length shows
  // that it went out.
  EXPECT_EQ(requests[2].HeaderValues("Content-Length"), std::vector<std::string>{"2"});
  EXPECT_EQ(requests[3].method, "POST");
  EXPECT_EQ(requests[3].body, "");
  EXPECT_EQ(requests[3].HeaderValues("Content-Length"), std::vector<std::string>{"0"});
}

TEST_F(LibCurlTest, HeaderListGoesOnEveryRequestUntilFreed) {
  ASSERT_TRUE(m_curl.ZBLibCurlAppendHeader(HTTP_HDR_GENERIC, "Content-Type: application/json"));
  ASSERT_TRUE(m_curl.ZBLibCurlAppendHeader(HTTP_HDR_GENERIC, "User-Agent: curl/7.32.0"));
  ASSERT_TRUE(Send(HTTP_REQ_POST, "/a", "{}"));
  ASSERT_TRUE(Send(HTTP_REQ_GET, "/b"));
  m_curl.ZBLibCurlFreeHttpHeaderList();
  ASSERT_TRUE(Send(HTTP_REQ_GET, "/c"));
  m_curl.ZBLibCurlFreeHttpHeaderList();  // freeing an empty list is harmless

  const std::vector<RecordedRequest> requests = m_server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(requests[i].HeaderValues("Content-Type"),
              std::vector<std::string>{"application/json"});
    EXPECT_EQ(requests[i].HeaderValues("User-Agent"), std::vector<std::string>{"curl/7.32.0"});
  }
  EXPECT_TRUE(requests[2].HeaderValues("Content-Type").empty());
  EXPECT_TRUE(requests[2].HeaderValues("User-Agent").empty());
}

TEST_F(LibCurlTest, HeaderLineThatWouldSmuggleAnotherLineIsRefused) {
  EXPECT_FALSE(m_curl.ZBLibCurlAppendHeader(HTTP_HDR_GENERIC, "X-A: 1\r\nX-Injected: 2"));
  EXPECT_FALSE(m_curl.ZBLibCurlAppendHeader(HTTP_HDR_GENERIC, "X-B: 1\nX-Injected: 3"));
  EXPECT_FALSE(m_curl.ZBLibCurlAppendHeader(HTTP_HDR_GENERIC, nullptr));
  ASSERT_TRUE(Send(HTTP_REQ_GET, "/"));
  const RecordedRequest request = OnlyRequest();
  EXPECT_TRUE(request.HeaderValues("X-Injected").empty());
  EXPECT_TRUE(request.HeaderValues("X-A").empty());
  EXPECT_TRUE(request.HeaderValues("X-B").empty());
}

TEST_F(LibCurlTest, ReplyIsKeptAfterSuccessAndAfterFailure) {
  m_server.Enqueue(HttpAnswer::Status(200, "{\"status\":\"ok\"}"));
  m_server.Enqueue(HttpAnswer::Status(500, "internal trouble"));
  m_server.Enqueue(HttpAnswer::Status(204));

  ASSERT_TRUE(Send(HTTP_REQ_GET, "/ok"));
  EXPECT_EQ(Reply(true), "{\"status\":\"ok\"}");
  EXPECT_FALSE(Send(HTTP_REQ_GET, "/fails"));
  EXPECT_EQ(m_curl.GetHttpErrorCode(), 500);
  EXPECT_EQ(Reply(false), "internal trouble");
  // A reply without a body leaves nothing of the earlier ones behind.
  ASSERT_TRUE(Send(HTTP_REQ_GET, "/empty"));
  EXPECT_EQ(Reply(true), "");
}

TEST_F(LibCurlTest, AuthenticationAndUnavailableAnswersFailWithTheirStatus) {
  for (int status : {401, 503}) {
    m_server.Enqueue(HttpAnswer::Status(status, "no"));
    EXPECT_FALSE(Send(HTTP_REQ_GET, "/x")) << status;
    EXPECT_EQ(m_curl.GetHttpErrorCode(), status);
    EXPECT_EQ(Reply(false), "no");
  }
}

TEST_F(LibCurlTest, RefusedConnectionFailsWithNeitherAuthenticationNorUnavailableStatus) {
  m_server.Enqueue(HttpAnswer::Status(503, "earlier reply"));
  EXPECT_FALSE(Send(HTTP_REQ_GET, "/x"));
  RefusingPort nobody;
  EXPECT_FALSE(m_curl.ZBLibCurlSendHttpReq(HTTP_REQ_GET, nobody.Url("/REST").c_str(), "", 0, false,
                                           nullptr));
  const int64_t status = m_curl.GetHttpErrorCode();
  EXPECT_NE(status, 401);
  EXPECT_NE(status, 503);
  EXPECT_EQ(Reply(false), "");
  EXPECT_FALSE(m_curl.GetTransportError().empty());
}

TEST_F(LibCurlTest, RequestsReuseOneConnection) {
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(Send(HTTP_REQ_GET, "/info"));
  const std::vector<RecordedRequest> requests = m_server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_GT(requests[0].remotePort, 0);
  EXPECT_EQ(requests[1].remotePort, requests[0].remotePort);
  EXPECT_EQ(requests[2].remotePort, requests[0].remotePort);
}

TEST_F(LibCurlTest, ProxySettingsOfTheEnvironmentAreIgnored) {
  RefusingPort proxy;
  const std::string proxyUrl = proxy.Url();
  ScopedEnv lower("http_proxy", proxyUrl.c_str());
  ScopedEnv upper("HTTP_PROXY", proxyUrl.c_str());
  ScopedEnv all("ALL_PROXY", proxyUrl.c_str());
  ScopedEnv allLower("all_proxy", proxyUrl.c_str());
  ScopedEnv noProxy("no_proxy", nullptr);
  ScopedEnv noProxyUpper("NO_PROXY", nullptr);
  ZBLibCurl fresh;  // a handle set up while the variables are there
  ASSERT_TRUE(fresh.ZBLibCurlInit(nullptr, false, false, nullptr));
  EXPECT_TRUE(fresh.ZBLibCurlSendHttpReq(HTTP_REQ_GET, m_server.Url("/direct").c_str(), "", 0,
                                         false, nullptr))
      << fresh.GetTransportError();
  EXPECT_EQ(OnlyRequest().target, "/direct");
}

TEST_F(LibCurlTest, HungServerIsCutOffByTheTotalTimeoutAndTheHandleStaysUsable) {
  m_server.Enqueue(HttpAnswer::NoAnswer());
  m_curl.SetTimeouts(1000, 300);
  EXPECT_FALSE(Send(HTTP_REQ_GET, "/hangs"));
  EXPECT_EQ(m_curl.GetHttpErrorCode(), 0);
  EXPECT_EQ(Reply(false), "");
  m_curl.SetTimeouts(10000, 30000);
  HttpAnswer slowButInTime = HttpAnswer::Status(200, "back");
  slowButInTime.delayMs = 20;
  m_server.Enqueue(slowButInTime);
  EXPECT_TRUE(Send(HTTP_REQ_GET, "/again"));
  EXPECT_EQ(Reply(true), "back");
}

// Far below the default total time-out of 300 s that would otherwise end
// the exchange.
constexpr int64_t kWellBeforeTheTimeOutMs = 5000;

// A server that takes the request and never answers: a cancel of the
// calling thread ends the exchange, and so does the server's process being
// stopped (it could never answer). The handle works on afterwards.
TEST_F(LibCurlTest, AHungExchangeEndsAtACancelOrOnceItsServerIsStopped) {
  ZbProcess server;  // stands for the process behind the port
  std::string error;
  ASSERT_TRUE(server.StartProcess("sleep", "sleep 1000", &error, 0)) << error;
  const pid_t peer = server.GetChildPid();
  struct Case {
    const char* what;
    bool stopTheServer;  // otherwise cancel
    std::string transportError;
  };
  const std::vector<Case> cases = {
      {"a cancel", false, "cancelled"},
      {"the server stopped", true, "the server (process " + std::to_string(peer) + ") is stopped"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    m_server.Enqueue(HttpAnswer::NoAnswer());
    std::thread stopper;
    {
      testsupport::ScopedCancel cancel(peer);
      if (test.stopTheServer) {
        stopper = std::thread([peer] {
          std::this_thread::sleep_for(std::chrono::milliseconds(300));
          kill(peer, SIGSTOP);
        });
      } else {
        cancel.CancelAfter(300);
      }
      const auto start = std::chrono::steady_clock::now();
      EXPECT_FALSE(Send(HTTP_REQ_GET, "/hangs"));
      EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now() - start)
                    .count(),
                kWellBeforeTheTimeOutMs);
      EXPECT_EQ(m_curl.GetTransportError(), test.transportError);
      EXPECT_EQ(m_curl.GetHttpErrorCode(), 0);
    }
    if (stopper.joinable()) stopper.join();
    kill(peer, SIGCONT);
    EXPECT_TRUE(Send(HTTP_REQ_GET, "/after")) << m_curl.GetTransportError();
  }
  kill(peer, SIGKILL);
  EXPECT_TRUE(server.Reap(true));
}

TEST_F(LibCurlTest, NonPositiveTimeoutsLeaveEveryExchangeBounded) {
  m_curl.SetTimeouts(5000, 2000);
  // 0 would mean "wait forever" to libcurl, and a negative value would make
  // every later request fail to set up.
  m_curl.SetTimeouts(0, -1);
  ASSERT_TRUE(Send(HTTP_REQ_GET, "/fine")) << m_curl.GetTransportError();
  m_server.Enqueue(HttpAnswer::NoAnswer());
  EXPECT_FALSE(Send(HTTP_REQ_GET, "/hangs"));
}

TEST_F(LibCurlTest, HugeReplyArrivesWhole) {
  std::string big(50u * 1024 * 1024, 'x');
  for (size_t i = 0; i < big.size(); i += 4096) big[i] = static_cast<char>('a' + (i / 4096) % 26);
  m_server.Enqueue(HttpAnswer::Status(200, big));
  ASSERT_TRUE(Send(HTTP_REQ_GET, "/big"));
  const std::string reply = Reply(true);
  EXPECT_EQ(reply.size(), big.size());
  EXPECT_TRUE(reply == big);
}

TEST_F(LibCurlTest, ReplyWithNulBytesKeepsItsFullLength) {
  const std::string withNul("ab\0cd\0", 6);
  m_server.Enqueue(HttpAnswer::Status(200, withNul));
  ASSERT_TRUE(Send(HTTP_REQ_GET, "/nul"));
  EXPECT_EQ(Reply(true), withNul);
  EXPECT_STREQ(m_curl.GetHttpResponse(nullptr, true), "ab");
}

TEST_F(LibCurlTest, ConnectionClosedMidReplyIsAFailure) {
  m_server.Enqueue(HttpAnswer::CloseMidReply(std::string(100000, 'y')));
  EXPECT_FALSE(Send(HTTP_REQ_GET, "/cut"));
  const int64_t status = m_curl.GetHttpErrorCode();
  EXPECT_NE(status, 401);
  EXPECT_NE(status, 503);
  EXPECT_LE(Reply(false).size(), 100000u);
  EXPECT_FALSE(m_curl.GetTransportError().empty());
}

TEST_F(LibCurlTest, OverlongUrlFailsAndTheHandleStaysUsable) {
  const std::string url = m_server.Url("/") + std::string(9u * 1000 * 1000, 'u');
  EXPECT_FALSE(m_curl.ZBLibCurlSendHttpReq(HTTP_REQ_POST, url.c_str(), "{}", 2, false, nullptr));
  EXPECT_EQ(Reply(false), "");
  EXPECT_TRUE(Send(HTTP_REQ_GET, "/after"));
  EXPECT_EQ(OnlyRequest().target, "/after");
}

TEST(LibCurlWithoutInit, SendFailsAndTheReplyIsEmptyText) {
  HttpTestServer server;
  ZBLibCurl curl;
  uint64_t length = 99;
  EXPECT_STREQ(curl.GetHttpResponse(&length, false), "");
  EXPECT_EQ(length, 0u);
  EXPECT_FALSE(
      curl.ZBLibCurlSendHttpReq(HTTP_REQ_GET, server.Url("/").c_str(), "", 0, false, nullptr));
  EXPECT_STREQ(curl.GetHttpResponse(&length, false), "");
  EXPECT_TRUE(server.Requests().empty());
}

}  // namespace
