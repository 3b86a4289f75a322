// One GET "info" three ways against the same local server: through the
// controller, through a bare libcurl handle that keeps its connection, and
// through one curl command-line run per request.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <memory>
#include <string>

#include "BenchPlan.h"
#include "ChildRun.h"
#include "HttpTestServer.h"
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

// The server and a controller marked started at it, shared by the three
// benchmarks for the whole run.
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

void ControllerGet(benchmark::State& state, const NodeLayout& layout) {
  RestRig& rig = Rig(layout);
  for (auto _ : state) {
    CYrString response;
    const CYrError error = rig.controller.get(ZbCassandra::requestType::Get, "info", response, "");
    if (error.IsError() || response.str() != kInfoReply) {
      state.SkipWithError(("get failed: " + error.AsString()).c_str());
      break;
    }
  }
}

void RawLibcurl(benchmark::State& state, const NodeLayout& layout) {
  RestRig& rig = Rig(layout);
  CURL* curl = curl_easy_init();
  curl_slist* headers = curl_slist_append(nullptr, kContentType);
  headers = curl_slist_append(headers, kUserAgent);
  std::string reply;
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_PROXY, "");
  curl_easy_setopt(curl, CURLOPT_URL, rig.infoUrl.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply);
  for (auto _ : state) {
    reply.clear();
    long status = 0;
    if (curl_easy_perform(curl) != CURLE_OK ||
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK || status != 200 ||
        reply != kInfoReply) {
      state.SkipWithError("libcurl GET failed");
      break;
    }
  }
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
}

void CurlCommand(benchmark::State& state, const NodeLayout& layout) {
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
  benchmark::RegisterBenchmark("rest/PriamUtil::get",
                               [node](benchmark::State& state) { ControllerGet(state, *node); })
      ->UseRealTime()
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("rest/libcurl_keepalive",
                               [node](benchmark::State& state) { RawLibcurl(state, *node); })
      ->UseRealTime()
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("rest/curl_command",
                               [node](benchmark::State& state) { CurlCommand(state, *node); })
      ->UseRealTime()
      ->Unit(benchmark::kMicrosecond);

  plan->order.insert(plan->order.end(),
                     {"rest/PriamUtil::get", "rest/libcurl_keepalive", "rest/curl_command"});
  plan->targets.push_back(
      {"rest/PriamUtil::get", "rest/libcurl_keepalive", Target::Kind::kRatio, 1.10, 1});
  plan->targets.push_back(
      {"rest/curl_command", "rest/libcurl_keepalive", Target::Kind::kRatio, 0, 1});
}

}  // namespace bench
