// One GET "info" three ways against the same local server: through the
// controller and through a bare libcurl handle that keeps its connection,
// turn about, and through one curl command-line run per request.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <sched.h>

#include <memory>
#include <string>

#include "BenchPlan.h"
#include "ChildRun.h"
#include "HttpTestServer.h"
#include "PairedRun.h"
#include "PriamUtil.h"
#include "PriamUtilTestAccess.h"

namespace bench {

namespace {

constexpr const char* kInfoReply =
    "{\"status\":\"running\",\"port\":8080,\"cassandra\":{\"cqlport\":9042,\"jmxport\":7199},"
    "\"settings\":{\"priam.cqlhost\":\"127.0.0.1\"}}";
// The headers the controller sends with every request.
constexpr const char* kContentType = "Content-Type: application/json";
constexpr const char* kUserAgent = "User-Agent: curl/7.32.0";

// Keeps the calling thread, and the threads it starts, on one CPU while it
// lives. Client and server then always take turns on it: otherwise a
// request's cost depends on whether the scheduler put the server's thread
// for that connection on the other CPU, where waking it takes an
// interrupt, and two connections could differ by half for that alone.
class OneCpu {
 public:
  OneCpu() {
    sched_getaffinity(0, sizeof m_before, &m_before);
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(Cpu(), &one);
    m_pinned = sched_setaffinity(0, sizeof one, &one) == 0;
  }
  ~OneCpu() {
    if (m_pinned) sched_setaffinity(0, sizeof m_before, &m_before);
  }
  OneCpu(const OneCpu&) = delete;
  OneCpu& operator=(const OneCpu&) = delete;

 private:
  // The same CPU every time: the first one this thread ran on here.
  static int Cpu() {
    static const int cpu = sched_getcpu() < 0 ? 0 : sched_getcpu();
    return cpu;
  }
  cpu_set_t m_before;
  bool m_pinned = false;
};

// The server and a controller marked started at it, shared by the
// benchmarks for the whole run. Create it on the one CPU: the server's
// threads stay there.
struct RestRig {
  explicit RestRig(const NodeLayout& layout)
      : controller(0, CYrString("/usr/bin/java"), layout.priamDir(), layout.confDir(),
                   layout.nodeDir(), false) {
    server.SetDefault(testsupport::HttpAnswer::Status(200, kInfoReply));
    ZbCassandra::PriamUtilTestAccess::MarkStarted(controller, server.Url("/REST"));
    infoUrl = server.Url("/REST/v1/cassadmin/info");
  }

  testsupport::HttpTestServer server;
  ZbCassandra::PriamUtil controller;
  std::string infoUrl;
};

RestRig& Rig(const NodeLayout& layout) {
  static RestRig rig(layout);
  return rig;
}

size_t Collect(char* data, size_t size, size_t count, void* into) {
  static_cast<std::string*>(into)->append(data, size * count);
  return size * count;
}

// A bare libcurl easy handle that keeps its connection, sending what the
// controller sends.
class RawClient {
 public:
  explicit RawClient(const std::string& url) : m_curl(curl_easy_init()) {
    m_headers = curl_slist_append(nullptr, kContentType);
    m_headers = curl_slist_append(m_headers, kUserAgent);
    curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(m_curl, CURLOPT_PROXY, "");
    curl_easy_setopt(m_curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(m_curl, CURLOPT_HTTPHEADER, m_headers);
    curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, &Collect);
    curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, &m_reply);
  }
  ~RawClient() {
    curl_slist_free_all(m_headers);
    curl_easy_cleanup(m_curl);
  }
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  std::string Get() {
    m_reply.clear();
    long status = 0;
    if (curl_easy_perform(m_curl) != CURLE_OK ||
        curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK || status != 200 ||
        m_reply != kInfoReply) {
      return "libcurl GET failed";
    }
    return "";
  }

 private:
  CURL* m_curl;
  curl_slist* m_headers = nullptr;
  std::string m_reply;
};

void ControllerVsLibcurl(benchmark::State& state, const NodeLayout& layout) {
  const OneCpu pinned;
  RestRig& rig = Rig(layout);
  RawClient raw(rig.infoUrl);
  RunPaired(
      state,
      [&rig] {
        CYrString response;
        const CYrError error =
            rig.controller.get(ZbCassandra::requestType::Get, "info", response, "");
        if (error.IsError() || response.str() != kInfoReply) {
          return "get failed: " + error.AsString();
        }
        return std::string();
      },
      [&raw] { return raw.Get(); });
}

void CurlCommand(benchmark::State& state, const NodeLayout& layout) {
  const OneCpu pinned;
  RestRig& rig = Rig(layout);
  const std::vector<std::string> command = {"curl",       "-s", "--noproxy", "*",        "-H",
                                            kContentType, "-H", kUserAgent,  rig.infoUrl};
  for (auto _ : state) {
    const ChildResult result = RunChild(command, true);
    if (result.status != 0 || result.output != kInfoReply) {
      state.SkipWithError("curl failed");
      break;
    }
  }
}

}  // namespace

void RegisterRestBenchmarks(const NodeLayout& layout, BenchPlan* plan) {
  const NodeLayout* node = &layout;
  benchmark::RegisterBenchmark(
      "rest/PriamUtil::get", [node](benchmark::State& state) { ControllerVsLibcurl(state, *node); })
      ->UseManualTime()
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("rest/curl_command",
                               [node](benchmark::State& state) { CurlCommand(state, *node); })
      ->UseRealTime()
      ->Unit(benchmark::kMicrosecond);

  plan->baselines["rest/PriamUtil::get"] = "rest/libcurl_keepalive";
  plan->order.insert(plan->order.end(),
                     {"rest/PriamUtil::get", "rest/libcurl_keepalive", "rest/curl_command"});
  plan->targets.push_back(
      {"rest/PriamUtil::get", "rest/libcurl_keepalive", Target::Kind::kRatio, 1.10, 1});
  plan->targets.push_back(
      {"rest/curl_command", "rest/libcurl_keepalive", Target::Kind::kRatio, 0, 1});
}

}  // namespace bench
