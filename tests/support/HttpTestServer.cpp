#include "HttpTestServer.h"

#include <httplib.h>
#include <strings.h>

#include <atomic>
#include <chrono>
#include <stdexcept>

namespace testsupport {

namespace {

// Headers that the server library adds to a request for its handlers; they
// were not sent by the client.
bool IsAddedByServer(const std::string& name) {
  for (const char* added : {"REMOTE_ADDR", "REMOTE_PORT", "LOCAL_ADDR", "LOCAL_PORT"}) {
    if (name == added) return true;
  }
  return false;
}

RecordedRequest Recording(const httplib::Request& request) {
  RecordedRequest recorded;
  recorded.method = request.method;
  recorded.target = request.target;
  for (const auto& header : request.headers) {
    if (!IsAddedByServer(header.first)) recorded.headers.push_back(header);
  }
  recorded.body = request.body;
  recorded.remotePort = request.remote_port;
  return recorded;
}

}  // namespace

HttpAnswer HttpAnswer::Status(int status, std::string body) {
  HttpAnswer answer;
  answer.status = status;
  answer.body = std::move(body);
  return answer;
}

HttpAnswer HttpAnswer::CloseMidReply(std::string body) {
  HttpAnswer answer;
  answer.kind = Kind::kCloseMidReply;
  answer.body = std::move(body);
  return answer;
}

HttpAnswer HttpAnswer::NoAnswer() {
  HttpAnswer answer;
  answer.kind = Kind::kNoAnswer;
  return answer;
}

std::vector<std::string> RecordedRequest::HeaderValues(const std::string& name) const {
  std::vector<std::string> values;
  for (const auto& header : headers) {
    if (strcasecmp(header.first.c_str(), name.c_str()) == 0) values.push_back(header.second);
  }
  return values;
}

HttpTestServer::HttpTestServer() : m_server(new httplib::Server()) {
  auto handler = [this](const httplib::Request& request, httplib::Response& response) {
    Record(Recording(request));
    const HttpAnswer answer = NextAnswer();
    if (answer.delayMs > 0 && !WaitUnlessStopping(answer.delayMs)) return;
    switch (answer.kind) {
      case HttpAnswer::Kind::kReply:
        response.status = answer.status;
        response.set_content(answer.body, "text/plain");
        break;
      case HttpAnswer::Kind::kCloseMidReply: {
        // Promise the whole body, send half of it, then give up: the server
        // closes the connection when the provider fails.
        const std::string half = answer.body.substr(0, answer.body.size() / 2);
        response.status = answer.status;
        response.set_content_provider(answer.body.size(), "text/plain",
                                      [half](size_t, size_t, httplib::DataSink& sink) {
                                        sink.write(half.data(), half.size());
                                        return false;
                                      });
        break;
      }
      case HttpAnswer::Kind::kNoAnswer:
        WaitUnlessStopping(-1);
        break;
    }
  };
  m_server->set_tcp_nodelay(true);
  m_server->set_keep_alive_max_count(100000);
  m_server->Get(".*", handler);
  m_server->Post(".*", handler);
  m_server->Put(".*", handler);
  m_server->Patch(".*", handler);
  m_server->Delete(".*", handler);
  m_server->Options(".*", handler);

  // The socket listens from here on, so a client may connect at once.
  m_port = m_server->bind_to_any_port("127.0.0.1");
  if (m_port <= 0) throw std::runtime_error("cannot bind a test HTTP server on 127.0.0.1");
  auto finished = std::make_shared<std::atomic<bool>>(false);
  m_thread = std::thread([this, finished] {
    m_server->listen_after_bind();
    *finished = true;
  });
  // stop() is ignored until the accept loop runs; wait for it, so that the
  // destructor can always end the thread.
  while (!m_server->is_running() && !*finished) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

HttpTestServer::~HttpTestServer() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stop = true;
  }
  m_stopping.notify_all();
  m_server->stop();
  m_thread.join();
}

std::string HttpTestServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

void HttpTestServer::Enqueue(HttpAnswer answer) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_queue.push_back(std::move(answer));
}

void HttpTestServer::SetDefault(HttpAnswer answer) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_default = std::move(answer);
}

std::vector<RecordedRequest> HttpTestServer::Requests() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_requests;
}

HttpAnswer HttpTestServer::NextAnswer() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_queue.empty()) return m_default;
  HttpAnswer answer = std::move(m_queue.front());
  m_queue.pop_front();
  return answer;
}

void HttpTestServer::Record(RecordedRequest request) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_requests.push_back(std::move(request));
}

bool HttpTestServer::WaitUnlessStopping(int ms) {
  std::unique_lock<std::mutex> lock(m_mutex);
  if (ms < 0) {
    m_stopping.wait(lock, [this] { return m_stop; });
  } else {
    m_stopping.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stop; });
  }
  return !m_stop;
}

}  // namespace testsupport
