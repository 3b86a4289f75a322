#include "SidecarStatus.h"

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "TableOutput.h"
#include "ZBLibCurl.h"

namespace priamctl {

namespace {

using Report = ZbCassandra::PriamUtil::DirectoryReport;

constexpr long kAskTimeoutMs = 2000;

// Seconds since a process started: the system's uptime less its start,
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

std::string UtcTime(int64_t seconds) {
  const time_t when = static_cast<time_t>(seconds);
  struct tm parts;
  char text[64] = "";
  if (gmtime_r(&when, &parts)) strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts);
  return text;
}

std::vector<pid_t> Orphans(const Report& state) {
  std::vector<pid_t> pids;
  for (const Report::Sidecar& sidecar : state.sidecars) {
    if (!sidecar.owners && !sidecar.hostAlive) pids.push_back(sidecar.pid);
  }
  return pids;
}

std::string StateText(const SidecarStatus& status) {
  const Report& state = status.state;
  switch (StatusExitCode(status)) {
    case kStatusRunning:
      return state.starting ? "starting (its launch waits for it to answer)" : "running";
    case kStatusDeadWithRecord:
      return !state.ended.empty() || state.ownerAlive
                 ? "not running; its record is left (the sidecar has ended)"
                 : "not running; the record of a host that died is left";
    default:
      return "not running";
  }
}

std::string OwnerText(const Report& state) {
  if (state.owner <= 0) {
    return state.lockHolder > 0
               ? "none named; the lock is held by process " + std::to_string(state.lockHolder)
               : "none";
  }
  return "process " + std::to_string(state.owner) + (state.ownerAlive ? ", alive" : ", dead");
}

// One line per sidecar process: whose it is, how long it runs.
std::string SidecarLine(const Report& state, const Report::Sidecar& sidecar, long uptime) {
  std::string line = "process " + std::to_string(sidecar.pid) + ", up " + Duration(uptime);
  if (sidecar.owners) {
    if (sidecar.pid == state.recordedSidecar) {
      line += ", port " + (state.port > 0 ? std::to_string(state.port) : std::string("not known"));
    }
    return line + ", the owner's";
  }
  if (sidecar.hostAlive) {
    return line + ", of the live host process " + std::to_string(sidecar.host) +
           ", which does not own the directory";
  }
  const std::string host = sidecar.host > 0
                               ? "its host, process " + std::to_string(sidecar.host) + ", is dead"
                               : "it names no host";
  return line + ", an orphan (" + host + "); priamctl stop stops it";
}

std::string AnswerText(const SidecarStatus& status) {
  if (!status.asked) return "-";
  if (status.httpStatus >= 200 && status.httpStatus < 300) {
    return "yes (HTTP " + std::to_string(status.httpStatus) + ")";
  }
  if (status.httpStatus > 0) return "no: it answered HTTP " + std::to_string(status.httpStatus);
  return "no: " + (status.askError.empty() ? std::string("no answer") : status.askError);
}

// The guardian was killed, or the library found none to start: nothing
// ends this sidecar if its host dies.
bool OwnersSidecarRuns(const Report& state) {
  for (const Report::Sidecar& sidecar : state.sidecars) {
    if (sidecar.owners && sidecar.pid == state.recordedSidecar) return true;
  }
  return false;
}

constexpr const char kNoGuardian[] =
    "none: if the owner dies, the sidecar and any secrets on disk stay until priamctl stop is run";

constexpr const char kSecretsWarning[] =
    "zbPriam.properties holds secrets while no launch runs; priamctl stop removes them once no "
    "host owns the directory";

}  // namespace

bool GatherSidecarStatus(const std::string& directory, SidecarStatus* status, std::string* error) {
  status->directory = directory;
  const CYrError inspected = ZbCassandra::PriamUtil::reportDirectory(directory, &status->state);
  if (inspected.IsError()) {
    *error = inspected.Message();
    return false;
  }
  for (const Report::Sidecar& sidecar : status->state.sidecars) {
    status->uptimeSeconds.push_back(UptimeSeconds(sidecar.startTime));
  }
  if (status->state.recordedSidecar > 0 && status->state.port > 0) AskInfo(status);
  return true;
}

int StatusExitCode(const SidecarStatus& status) {
  const Report& state = status.state;
  if (!state.sidecars.empty()) return kStatusRunning;
  const bool deadHost = state.owner > 0 && !state.ownerAlive;
  if (state.recordLeft && (!state.ended.empty() || deadHost)) return kStatusDeadWithRecord;
  return kStatusNotRunning;
}

std::string SidecarStatusTable(const SidecarStatus& status) {
  const Report& state = status.state;
  std::vector<TableRow> rows = {
      {"Directory", status.directory}, {"State", StateText(status)}, {"Owner", OwnerText(state)}};
  std::string sidecars;
  for (size_t i = 0; i < state.sidecars.size(); ++i) {
    sidecars +=
        (i == 0 ? "" : "\n") + SidecarLine(state, state.sidecars[i], status.uptimeSeconds[i]);
  }
  if (!sidecars.empty()) rows.push_back({"Sidecar", sidecars});
  if (state.guardian > 0) {
    rows.push_back(
        {"Guardian", "process " + std::to_string(state.guardian) +
                         " (stops the sidecar and removes the secrets if the owner dies)"});
  } else if (OwnersSidecarRuns(state)) {
    rows.push_back({"Guardian", kNoGuardian});
  }
  if (status.asked) rows.push_back({"Answers info", AnswerText(status)});
  if (!state.ended.empty()) {
    rows.push_back({"Last ended", state.ended + ", " + UtcTime(state.endedAt)});
  }
  if (state.secretsLeft) rows.push_back({"Warning", kSecretsWarning});
  if (!state.output.empty()) {
    rows.push_back({"Output", state.output});
    std::string lines;
    for (const std::string& line : state.lastOutput) lines += (lines.empty() ? "" : "\n") + line;
    rows.push_back({"Last output", lines.empty() ? "-" : lines});
  }
  return FormatTable(rows);
}

nlohmann::json SidecarStatusJson(const SidecarStatus& status) {
  const Report& state = status.state;
  const auto orNull = [](long value) {
    return value >= 0 ? nlohmann::json(value) : nlohmann::json(nullptr);
  };
  nlohmann::json json;
  json["directory"] = status.directory;
  json["running"] = !state.sidecars.empty();
  json["starting"] = state.starting;
  json["exit_code"] = StatusExitCode(status);
  json["state"] = StateText(status);
  const pid_t holder = state.ownerAlive ? state.owner : state.lockHolder;
  json["holder"] = holder > 0 ? nlohmann::json(holder) : nlohmann::json(nullptr);
  json["owner"] = state.owner > 0
                      ? nlohmann::json{{"pid", state.owner}, {"alive", state.ownerAlive}}
                      : nlohmann::json(nullptr);
  json["sidecar"] = nullptr;
  json["sidecars"] = nlohmann::json::array();
  for (size_t i = 0; i < state.sidecars.size(); ++i) {
    const Report::Sidecar& sidecar = state.sidecars[i];
    json["sidecars"].push_back(
        {{"pid", sidecar.pid},
         {"host", sidecar.host > 0
                      ? nlohmann::json{{"pid", sidecar.host}, {"alive", sidecar.hostAlive}}
                      : nlohmann::json(nullptr)},
         {"owners", sidecar.owners},
         {"uptime_seconds", orNull(status.uptimeSeconds[i])}});
    if (sidecar.pid == state.recordedSidecar) {
      json["sidecar"] = {{"pid", sidecar.pid},
                         {"running", true},
                         {"port", state.port > 0 ? nlohmann::json(state.port) : nullptr},
                         {"uptime_seconds", orNull(status.uptimeSeconds[i])}};
    }
  }
  json["orphans"] = Orphans(state);
  json["guardian"] = state.guardian > 0 ? nlohmann::json(state.guardian) : nlohmann::json(nullptr);
  json["ended"] = state.ended.empty() ? nlohmann::json(nullptr)
                                      : nlohmann::json{{"how", state.ended}, {"at", state.endedAt}};
  json["secrets_left"] = state.secretsLeft;
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
