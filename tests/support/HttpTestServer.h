// A real HTTP server on 127.0.0.1 for tests, scripted by the test.
//
// The server listens on an ephemeral port from construction and answers on
// its own threads until the object is destroyed. Each request takes the next
// scripted answer from a queue, or the default answer when the queue is
// empty, and is recorded before it is answered. Every method is accepted, on
// every path.
//
//   HttpTestServer server;
//   server.Enqueue(HttpAnswer::Status(503, "busy"));
//   ... send requests to server.Url("/REST") ...
//   EXPECT_EQ(server.Requests().size(), 1u);
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace httplib {
class Server;
}

namespace testsupport {

struct HttpAnswer {
  enum class Kind {
    kReply,          // status and body
    kCloseMidReply,  // headers and half the body, then the connection is closed
    kNoAnswer,       // nothing is sent until the server is destroyed
  };

  Kind kind = Kind::kReply;
  int status = 200;
  std::string body;
  int delayMs = 0;  // wait this long before answering

  static HttpAnswer Status(int status, std::string body = std::string());
  static HttpAnswer CloseMidReply(std::string body);
  static HttpAnswer NoAnswer();
};

struct RecordedRequest {
  std::string method;
  std::string target;  // the request target exactly as sent (path and query)
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;     // empty for a GET: the server library never reads its body
  int remotePort = -1;  // the client's port: equal for requests on one connection

  // The values of header `name` (any case), in the order they came.
  std::vector<std::string> HeaderValues(const std::string& name) const;
};

class HttpTestServer {
 public:
  HttpTestServer();
  // Releases answers that are still held back, stops the server and joins
  // its threads.
  ~HttpTestServer();
  HttpTestServer(const HttpTestServer&) = delete;
  HttpTestServer& operator=(const HttpTestServer&) = delete;

  int port() const { return m_port; }
  // "http://127.0.0.1:PORT" followed by `path`.
  std::string Url(const std::string& path = std::string()) const;

  // Answers are used in the order they were queued; then the default one.
  void Enqueue(HttpAnswer answer);
  void SetDefault(HttpAnswer answer);

  std::vector<RecordedRequest> Requests() const;

 private:
  HttpAnswer NextAnswer();
  void Record(RecordedRequest request);
  // Waits `ms` milliseconds, or forever when negative; returns early (false)
  // when the server is being destroyed.
  bool WaitUnlessStopping(int ms);

  std::unique_ptr<httplib::Server> m_server;
  std::thread m_thread;
  int m_port = 0;

  mutable std::mutex m_mutex;
  std::condition_variable m_stopping;
  bool m_stop = false;
  std::deque<HttpAnswer> m_queue;
  HttpAnswer m_default;
  std::vector<RecordedRequest> m_requests;
};

}  // namespace testsupport
