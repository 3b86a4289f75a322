#include "PriamctlProcess.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

extern char** environ;

namespace clitest {

namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> Environment(const std::map<std::string, std::string>& extra) {
  std::vector<std::string> result;
  for (char** entry = environ; *entry; ++entry) {
    const std::string text = *entry;
    if (extra.count(text.substr(0, text.find('='))) == 0) result.push_back(text);
  }
  for (const auto& variable : extra) result.push_back(variable.first + "=" + variable.second);
  return result;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& text : strings) pointers.push_back(&text[0]);
  pointers.push_back(nullptr);
  return pointers;
}

int ExitCode(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

PriamctlProcess::PriamctlProcess(const std::vector<std::string>& args,
                                 const std::map<std::string, std::string>& env,
                                 const std::vector<std::string>& launcher) {
  std::vector<std::string> argv = launcher;
  argv.push_back(PRIAMCTL_BINARY);
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<std::string> envp = Environment(env);
  std::vector<char*> argvPointers = Pointers(argv);
  std::vector<char*> envPointers = Pointers(envp);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, m_capture.file("out").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, m_capture.file("err").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  // A default mask and default handlers, whatever the test runner has.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  sigset_t all;
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  if (posix_spawnp(&m_pid, argv[0].c_str(), &actions, &attributes, argvPointers.data(),
                   envPointers.data()) != 0) {
    m_pid = -1;
  }
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
}

PriamctlProcess::~PriamctlProcess() {
  if (m_pid > 0) {
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
  }
}

std::string PriamctlProcess::Out() const { return Slurp(m_capture.file("out")); }
std::string PriamctlProcess::Err() const { return Slurp(m_capture.file("err")); }

Outcome PriamctlProcess::Wait(int seconds) {
  Outcome outcome;
  int status = 0;
  const bool ended =
      m_pid > 0 && WaitUntil([&] { return waitpid(m_pid, &status, WNOHANG) == m_pid; }, seconds);
  if (ended) {
    outcome.exitCode = ExitCode(status);
    m_pid = -1;
  }
  outcome.out = Out();
  outcome.err = Err();
  return outcome;
}

Outcome RunPriamctl(const std::vector<std::string>& args,
                    const std::map<std::string, std::string>& env,
                    const std::vector<std::string>& launcher) {
  PriamctlProcess process(args, env, launcher);
  return process.Wait();
}

namespace {

struct ProcessEntry {
  pid_t pid;
  char state;
  pid_t ppid;
  std::string commandLine;  // arguments joined by blanks
};

std::vector<ProcessEntry> ProcessTable() {
  std::vector<ProcessEntry> table;
  DIR* proc = opendir("/proc");
  if (!proc) return table;
  while (const dirent* entry = readdir(proc)) {
    const pid_t pid = static_cast<pid_t>(atoi(entry->d_name));
    if (pid <= 0) continue;
    const std::string dir = "/proc/" + std::to_string(pid);
    // "pid (comm) state ppid ...": comm may hold blanks, so read after ")".
    const std::string stat = Slurp(dir + "/stat");
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    ProcessEntry process{pid, 0, 0, Slurp(dir + "/cmdline")};
    std::replace(process.commandLine.begin(), process.commandLine.end(), '\0', ' ');
    std::istringstream fields(stat.substr(close + 1));
    fields >> process.state >> process.ppid;
    table.push_back(process);
  }
  closedir(proc);
  return table;
}

}  // namespace

std::vector<pid_t> ChildrenOf(pid_t parent, const std::string& running) {
  std::vector<pid_t> children;
  for (const ProcessEntry& process : ProcessTable()) {
    if (process.ppid == parent && process.commandLine.find(running) != std::string::npos) {
      children.push_back(process.pid);
    }
  }
  return children;
}

bool SidecarRunsFor(const std::string& confDir) {
  const std::string option = "-Dzbpriam.config.file=" + confDir + " ";
  for (const ProcessEntry& process : ProcessTable()) {
    if (process.state != 'Z' && process.commandLine.find(option) != std::string::npos) return true;
  }
  return false;
}

}  // namespace clitest
