#include "SidecarStatus.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "TableOutput.h"
#include "ZBLibCurl.h"

namespace priamctl {

namespace {

constexpr long kAskTimeoutMs = 2000;

// Seconds since the sidecar started: the system's uptime less its start,
// both counted from boot.
long UptimeSeconds(uint64_t startTicks) {
  std::ifstream uptime("/proc/uptime");
  double sinceBoot = 0;
  const long ticksPerSecond = sysconf(_SC_CLK_TCK);
  if (!(uptime >> sinceBoot) || ticksPerSecond <= 0) return -1;
  const double started = static_cast<double>(startTicks) / static_cast<double>(ticksPerSecond);
  return sinceBoot >= started ? static_cast<long>(sinceBoot - started) : -1;
}

// One request, as the library would send it, but once and briefly: an
// operator asks whether it answers now, not whether it would in 5 minutes.
void AskInfo(SidecarStatus* status) {
  ZBLibCurl client;
  if (!client.ZBLibCurlInit(nullptr, false, false, nullptr)) {
    status->askError = "cannot set up an HTTP client";
    return;
  }
  client.SetTimeouts(kAskTimeoutMs, kAskTimeoutMs);
  const std::string url =
      "http://localhost:" + std::to_string(status->state.port) + "/REST/v1/cassadmin/info";
  status->asked = true;
  client.ZBLibCurlSendHttpReq(HTTP_REQ_GET, url.c_str(), "", 0, false, nullptr);
  status->httpStatus = static_cast<long>(client.GetHttpErrorCode());
  status->askError = client.GetTransportError();
}

std::string Duration(long seconds) {
  if (seconds < 0) return "for an unknown time";
  if (seconds < 60) return std::to_string(seconds) + " s";
  if (seconds < 3600) {
    return std::to_string(seconds / 60) + " min " + std::to_string(seconds % 60) + " s";
  }
  if (seconds < 86400) {
    return std::to_string(seconds / 3600) + " h " + std::to_string(seconds / 60 % 60) + " min";
  }
  return std::to_string(seconds / 86400) + " d " + std::to_string(seconds / 3600 % 24) + " h";
}

std::string StateText(const SidecarStatus& status) {
  const auto& state = status.state;
  switch (StatusExitCode(status)) {
    case kStatusRunning:
      return "running";
    case kStatusDeadWithRecord:
      return state.sidecar > 0 ? "not running; its record is left (the sidecar, process " +
                                     std::to_string(state.sidecar) + ", has ended)"
                               : "not running; the record of a host that died is left";
    default:
      return "not running";
  }
}

std::string OwnerText(const SidecarStatus& status) {
  const auto& state = status.state;
  if (state.holder > 0) return "process " + std::to_string(state.holder) + ", alive";
  if (state.host <= 0) return "none";
  std::string text = "process " + std::to_string(state.host) + ", dead";
  if (state.sidecarRunning) text += ": its sidecar is an orphan; priamctl stop stops it";
  return text;
}

std::string AnswerText(const SidecarStatus& status) {
  if (!status.asked) return "-";
  if (status.httpStatus >= 200 && status.httpStatus < 300) {
    return "yes (HTTP " + std::to_string(status.httpStatus) + ")";
  }
  if (status.httpStatus > 0) return "no: it answered HTTP " + std::to_string(status.httpStatus);
  return "no: " + (status.askError.empty() ? std::string("no answer") : status.askError);
}

}  // namespace

bool GatherSidecarStatus(const std::string& directory, SidecarStatus* status, std::string* error) {
  status->directory = directory;
  const CYrError inspected = ZbCassandra::PriamUtil::inspectDirectory(directory, &status->state);
  if (inspected.IsError()) {
    *error = inspected.Message();
    return false;
  }
  if (status->state.sidecarRunning) {
    status->uptimeSeconds = UptimeSeconds(status->state.startTime);
    if (status->state.port > 0) AskInfo(status);
  }
  return true;
}

int StatusExitCode(const SidecarStatus& status) {
  const auto& state = status.state;
  if (state.sidecarRunning) return kStatusRunning;
  const bool deadHost = state.host > 0 && !state.hostAlive;
  if (state.recordLeft && (state.sidecar > 0 || deadHost)) return kStatusDeadWithRecord;
  return kStatusNotRunning;
}

std::string SidecarStatusTable(const SidecarStatus& status) {
  const auto& state = status.state;
  std::vector<TableRow> rows = {
      {"Directory", status.directory}, {"State", StateText(status)}, {"Owner", OwnerText(status)}};
  if (state.sidecarRunning) {
    rows.push_back({"Sidecar", "process " + std::to_string(state.sidecar) + ", up " +
                                   Duration(status.uptimeSeconds) + ", port " +
                                   (state.port > 0 ? std::to_string(state.port) : "not known")});
    rows.push_back({"Answers info", AnswerText(status)});
  }
  if (!state.output.empty()) {
    rows.push_back({"Output", state.output});
    std::string lines;
    for (const std::string& line : state.lastOutput) lines += (lines.empty() ? "" : "\n") + line;
    rows.push_back({"Last output", lines.empty() ? "-" : lines});
  }
  return FormatTable(rows);
}

nlohmann::json SidecarStatusJson(const SidecarStatus& status) {
  const auto& state = status.state;
  nlohmann::json json;
  json["directory"] = status.directory;
  json["running"] = state.sidecarRunning;
  json["exit_code"] = StatusExitCode(status);
  json["state"] = StateText(status);
  json["holder"] = state.holder > 0 ? nlohmann::json(state.holder) : nlohmann::json(nullptr);
  json["owner"] = state.host > 0 ? nlohmann::json{{"pid", state.host}, {"alive", state.hostAlive}}
                                 : nlohmann::json(nullptr);
  json["sidecar"] = nullptr;
  if (state.sidecar > 0) {
    json["sidecar"] = {
        {"pid", state.sidecar},
        {"running", state.sidecarRunning},
        {"port", state.port > 0 ? nlohmann::json(state.port) : nullptr},
        {"uptime_seconds", status.uptimeSeconds >= 0 ? nlohmann::json(status.uptimeSeconds)
                                                     : nlohmann::json(nullptr)}};
  }
  json["answers_info"] = nullptr;
  if (status.asked) {
    json["answers_info"] = {{"answered", status.httpStatus >= 200 && status.httpStatus < 300},
                            {"http_status", status.httpStatus},
                            {"error", status.askError}};
  }
  json["output"] = state.output.empty()
                       ? nlohmann::json(nullptr)
                       : nlohmann::json{{"file", state.output}, {"last_lines", state.lastOutput}};
  return json;
}

}  // namespace priamctl
