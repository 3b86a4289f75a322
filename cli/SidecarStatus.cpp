#include "SidecarStatus.h"

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "SystemctlWords.h"
#include "TableOutput.h"
#include "ZBLibCurl.h"

namespace priamctl {

namespace {

using Report = ZbCassandra::PriamUtil::DirectoryReport;
using Details = ZbCassandra::PriamUtil::DirectoryDetails;

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

std::vector<pid_t> Orphans(const Report& state) {
  std::vector<pid_t> pids;
  for (const Report::Sidecar& sidecar : state.sidecars) {
    if (!sidecar.owners && !sidecar.hostAlive) pids.push_back(sidecar.pid);
  }
  return pids;
}

// The owner runs where it cannot be seen from here, and so does its sidecar.
bool UnseenSidecar(const SidecarStatus& status) {
  return status.state.sidecars.empty() && status.details.unseenSidecar > 0;
}

using Activity = ZbCassandra::PriamUtil::SidecarActivity;

bool DeadOwnerLeftItsRecord(const Report& state) {
  return state.owner > 0 && !state.ownerAlive && state.recordLeft;
}

// The state in words, without its time.
std::string StateText(const SidecarStatus& status) {
  switch (status.activity.state) {
    case Activity::kRunning:
      if (UnseenSidecar(status)) {
        return "running in another pid namespace, as its live owner's record says (it cannot be "
               "seen from here)";
      }
      return "running";
    case Activity::kStarting:
      return "starting (its launch waits for it to answer)";
    case Activity::kStopped:
      return "stopped (SIGSTOP or a tracer): it runs no code and answers nothing until it is "
             "continued (SIGCONT)";
    case Activity::kFailed:
      return status.activity.lastEnd.duringStart ? "failed during its start" : "failed";
    case Activity::kOrphaned:
      return "orphaned: it runs, but no live host owns it; priamctl stop stops it";
    case Activity::kNotRunning:
      break;
  }
  return DeadOwnerLeftItsRecord(status.state)
             ? "not running; the record of a host that died is left"
             : "not running";
}

// The state, and since when, as systemctl's "Active:" line.
std::string StateLine(const SidecarStatus& status) {
  const int64_t since = status.activity.since;
  return StateText(status) + (since > 0 ? " since " + SinceText(since, status.now) : "");
}

// How the last sidecar ended, who ended it, and when.
std::string LastEndText(const SidecarStatus& status) {
  const Activity::End& end = status.activity.lastEnd;
  std::string text = "process " + std::to_string(end.pid);
  if (end.host > 0) text += " (host process " + std::to_string(end.host) + ")";
  text += ": " + (end.text.empty() ? std::string("ended, how is not known") : end.text);
  if (end.by == Activity::kNobody) text += ", not asked to stop";
  if (end.duringStart) text += ", during its start";
  if (end.at > 0) return text + ", on " + SinceText(end.at, status.now);
  return status.state.ownerAlive ? text + "; its host has not seen it end yet" : text;
}

const char* ActivityWord(Activity::State state) {
  switch (state) {
    case Activity::kRunning:
      return "running";
    case Activity::kStarting:
      return "starting";
    case Activity::kStopped:
      return "stopped";
    case Activity::kFailed:
      return "failed";
    case Activity::kOrphaned:
      return "orphaned";
    case Activity::kNotRunning:
      break;
  }
  return "not-running";
}

nlohmann::json EndedByWord(Activity::EndedBy by) {
  switch (by) {
    case Activity::kItsHost:
      return "host";
    case Activity::kOperator:
      return "operator";
    case Activity::kOperatorForce:
      return "operator-force";
    case Activity::kGuardian:
      return "guardian";
    case Activity::kNextHost:
      return "next-host";
    case Activity::kNobody:
      break;
  }
  return nullptr;
}

std::string OwnerText(const Report& state, const Details& details) {
  if (state.owner <= 0) {
    return state.lockHolder > 0
               ? "none named; the lock is held by process " + std::to_string(state.lockHolder)
               : "none";
  }
  const std::string pid = "process " + std::to_string(state.owner);
  if (!details.ownerElsewhere) return pid + (state.ownerAlive ? ", alive" : ", dead");
  if (!state.ownerAlive) return pid + ", dead (in another pid namespace)";
  if (details.ownerPidHere == 0) {
    return pid + ", alive (in another pid namespace, which cannot be seen from here)";
  }
  return pid + ", alive (in another pid namespace, where it is process " +
         std::to_string(details.ownerPidThere) + ")";
}

// One line per sidecar process: whose it is, how long it runs.
std::string SidecarLine(const Report& state, const Report::Sidecar& sidecar,
                        const Details::Sidecar& where, long uptime) {
  std::string line = "process " + std::to_string(sidecar.pid) + ", up " + Duration(uptime);
  if (sidecar.owners) {
    if (sidecar.pid == state.recordedSidecar) {
      line += ", port " + (state.port > 0 ? std::to_string(state.port) : std::string("not known"));
    }
    return line + ", the owner's";
  }
  if (sidecar.hostAlive) {
    return line + ", of the live host " +
           HostProcessText(sidecar.host, where.hostPidThere, where.hostElsewhere) +
           ", which does not own the directory";
  }
  const std::string host = sidecar.host > 0
                               ? "its host, process " + std::to_string(sidecar.host) + ", is dead"
                               : "it names no host";
  return line + ", an orphan (" + host + "); priamctl stop stops it";
}

// The owner's sidecar, named by its record only.
std::string UnseenSidecarLine(const SidecarStatus& status) {
  const Report& state = status.state;
  return "process " + std::to_string(status.details.unseenSidecar) +
         " in the owner's pid namespace, port " +
         (state.port > 0 ? std::to_string(state.port) : std::string("not known")) +
         ", the owner's (not seen from here)";
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

bool GatherSidecarStatus(const std::string& directory, int outputLines, SidecarStatus* status,
                         std::string* error) {
  status->directory = directory;
  status->outputLines = outputLines;
  const CYrError inspected = ZbCassandra::PriamUtil::reportSidecarActivity(
      directory, static_cast<size_t>(outputLines), &status->activity, &status->state,
      &status->details);
  if (inspected.IsError()) {
    *error = inspected.Message();
    return false;
  }
  status->now = static_cast<int64_t>(time(nullptr));
  for (const Report::Sidecar& sidecar : status->state.sidecars) {
    status->uptimeSeconds.push_back(UptimeSeconds(sidecar.startTime));
  }
  // A stopped sidecar cannot answer: asking would only wait.
  const bool named = status->state.recordedSidecar > 0 || status->details.unseenSidecar > 0;
  if (named && status->state.port > 0 && status->activity.state != Activity::kStopped) {
    AskInfo(status);
  }
  return true;
}

std::string HostProcessText(pid_t pid, pid_t pidThere, bool elsewhere) {
  const std::string text = "process " + std::to_string(pid);
  if (!elsewhere) return text;
  if (pid == pidThere) return text + " in another pid namespace, which cannot be seen from here";
  return text + ", known as process " + std::to_string(pidThere) + " in its own pid namespace";
}

int StatusExitCode(const SidecarStatus& status) {
  switch (status.activity.state) {
    case Activity::kRunning:
    case Activity::kStarting:
      return kStatusRunning;
    case Activity::kStopped:
    case Activity::kFailed:
    case Activity::kOrphaned:
      return kStatusFailed;
    case Activity::kNotRunning:
      break;
  }
  return DeadOwnerLeftItsRecord(status.state) ? kStatusFailed : kStatusNotRunning;
}

std::string SidecarStatusTable(const SidecarStatus& status) {
  const Report& state = status.state;
  std::vector<TableRow> rows = {{"Directory", status.directory},
                                {"State", StateLine(status)},
                                {"Owner", OwnerText(state, status.details)}};
  const Activity& activity = status.activity;
  if (activity.mainPid > 0) {
    rows.push_back({"Main PID", std::to_string(activity.mainPid)});
    rows.push_back({"Tasks", std::to_string(activity.tasks)});
    rows.push_back({"Memory", SizeText(activity.memoryBytes)});
  }
  std::string sidecars;
  for (size_t i = 0; i < state.sidecars.size(); ++i) {
    sidecars +=
        (i == 0 ? "" : "\n") +
        SidecarLine(state, state.sidecars[i], status.details.sidecars[i], status.uptimeSeconds[i]);
  }
  if (UnseenSidecar(status)) sidecars = UnseenSidecarLine(status);
  if (!sidecars.empty()) rows.push_back({"Sidecar", sidecars});
  if (state.guardian > 0) {
    rows.push_back(
        {"Guardian", "process " + std::to_string(state.guardian) +
                         " (stops the sidecar and removes the secrets if the owner dies)"});
  } else if (OwnersSidecarRuns(state)) {
    rows.push_back({"Guardian", kNoGuardian});
  }
  if (status.asked) rows.push_back({"Answers info", AnswerText(status)});
  if (activity.ended) rows.push_back({"Last end", LastEndText(status)});
  if (state.secretsLeft) rows.push_back({"Warning", kSecretsWarning});
  if (!activity.output.empty()) {
    rows.push_back({"Output", activity.output});
    std::string lines;
    for (const std::string& line : activity.lastOutput) {
      lines += (lines.empty() ? "" : "\n") + line;
    }
    if (status.outputLines > 0) rows.push_back({"Last output", lines.empty() ? "-" : lines});
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
  const Activity& activity = status.activity;
  const auto positiveOrNull = [](int64_t value) {
    return value > 0 ? nlohmann::json(value) : nlohmann::json(nullptr);
  };
  json["activity"] = ActivityWord(activity.state);
  json["since"] = positiveOrNull(activity.since);
  json["main_pid"] = positiveOrNull(activity.mainPid);
  json["tasks"] = activity.mainPid > 0 ? nlohmann::json(activity.tasks) : nlohmann::json(nullptr);
  json["memory_bytes"] =
      activity.mainPid > 0 ? nlohmann::json(activity.memoryBytes) : nlohmann::json(nullptr);
  const pid_t holder = state.ownerAlive ? state.owner : state.lockHolder;
  json["holder"] = holder > 0 ? nlohmann::json(holder) : nlohmann::json(nullptr);
  json["owner"] = nullptr;
  if (state.owner > 0) {
    json["owner"] = {{"pid", state.owner}, {"alive", state.ownerAlive}};
    if (status.details.ownerElsewhere) {
      json["owner"]["pid_namespace"] = {{"other", true},
                                        {"pid_there", status.details.ownerPidThere},
                                        {"seen", status.details.ownerPidHere > 0}};
    }
  }
  json["sidecar"] = nullptr;
  json["sidecars"] = nlohmann::json::array();
  for (size_t i = 0; i < state.sidecars.size(); ++i) {
    const Report::Sidecar& sidecar = state.sidecars[i];
    const Details::Sidecar& where = status.details.sidecars[i];
    nlohmann::json host = nullptr;
    if (sidecar.host > 0) {
      host = {{"pid", sidecar.host}, {"alive", sidecar.hostAlive}};
      if (where.hostElsewhere) {
        host["pid_namespace"] = {
            {"other", true}, {"pid_there", where.hostPidThere}, {"seen", where.hostPidHere > 0}};
      }
    }
    json["sidecars"].push_back({{"pid", sidecar.pid},
                                {"host", host},
                                {"owners", sidecar.owners},
                                {"uptime_seconds", orNull(status.uptimeSeconds[i])}});
    if (sidecar.pid == state.recordedSidecar) {
      json["sidecar"] = {{"pid", sidecar.pid},
                         {"running", true},
                         {"port", state.port > 0 ? nlohmann::json(state.port) : nullptr},
                         {"uptime_seconds", orNull(status.uptimeSeconds[i])}};
    }
  }
  if (UnseenSidecar(status)) {
    json["sidecar"] = {{"pid", status.details.unseenSidecar},
                       {"running", true},
                       {"port", state.port > 0 ? nlohmann::json(state.port) : nullptr},
                       {"uptime_seconds", nullptr},
                       {"in_owners_pid_namespace", true}};
  }
  json["orphans"] = Orphans(state);
  json["guardian"] = state.guardian > 0 ? nlohmann::json(state.guardian) : nlohmann::json(nullptr);
  json["ended"] = nullptr;
  if (activity.ended) {
    const Activity::End& end = activity.lastEnd;
    json["ended"] = {{"how", end.text},
                     {"at", positiveOrNull(end.at)},
                     {"exit", end.how.empty() ? nlohmann::json(nullptr) : nlohmann::json(end.how)},
                     {"by", EndedByWord(end.by)},
                     {"failed", end.by == Activity::kNobody},
                     {"during_start", end.duringStart},
                     {"pid", positiveOrNull(end.pid)},
                     {"host", positiveOrNull(end.host)}};
  }
  json["secrets_left"] = state.secretsLeft;
  json["answers_info"] = nullptr;
  if (status.asked) {
    json["answers_info"] = {{"answered", status.httpStatus >= 200 && status.httpStatus < 300},
                            {"http_status", status.httpStatus},
                            {"error", status.askError}};
  }
  json["output"] = activity.output.empty() ? nlohmann::json(nullptr)
                                           : nlohmann::json{{"file", activity.output},
                                                            {"last_lines", activity.lastOutput}};
  return json;
}

}  // namespace priamctl
