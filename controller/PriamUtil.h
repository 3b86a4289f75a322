// The controller of the Priam backup sidecar next to a local Apache
// Cassandra or ScyllaDB node.
//
// One object stands for one sidecar on this host. Construction discovers the
// node (Java executable, YAML file and flavor, CQL port and host, JMX port)
// and prepares the sidecar's properties and log4j files; a failure there is
// logged and kept in initFailed(), and startPriam() then refuses to launch.
// The host writes the connection properties, starts the sidecar, sends it
// REST requests and stops it (or destroys the object, which stops it).
//
// Every operation returns a CYrError; none throws. Calls on one object must
// come from one thread at a time.
//
// One host process owns a Priam configuration directory. The first write
// into it by any controller of the process (the file set-up at construction,
// the property writers, the secret removal, a launch) locks it for the
// process ("zbPriam.lock", with the record "zbPriam.sidecar"); first it stops
// every sidecar of the directory that no live host owns. The process's
// controllers on one directory share the lock, and the last one destroyed
// gives it up, so ptr.reset(new PriamUtil(...)) keeps the directory
// throughout. While another live process holds the directory nothing is
// written into it: construction still discovers the node but leaves the
// files alone and sets initFailed(), and the writers and startPriam return
// 1627 naming the directory and the holder. A host counts as alive only
// while its pid and start time both match; its directory is never taken
// from it, even when its lock file is removed, and once its directory is
// moved or replaced under it, its writes return 1627 and write nothing.
//
// A sidecar is recognised by what it runs: any process whose command line
// is a sidecar launch naming the directory. It leads a process group of its
// own, and every stop ends the group and whatever else of the directory
// still runs that no live host owns.
//
// fork: a child forked from the host (without exec) owns nothing of the
// host's controllers. Their copies in the child return 1627 ("This Priam
// controller belongs to process P") from every operation that would write,
// launch, stop or send a request, and destroying them touches neither the
// directory nor the sidecar, so a worker may return through exit(). The
// child holds no part of the lock; the library's descriptors (the lock,
// the sidecar's pidfd, libcurl's sockets) are close-on-exec. A child may
// construct controllers of its own; they follow the same rules as any
// host's. A host with several threads should fork only to exec, as POSIX
// asks.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "CYrError.h"
#include "CYrString.h"

#define PRIAMUTIL_EXPORT __attribute__((visibility("default")))

class ZBLibCurl;
class ZbProcess;

namespace ZbCassandra {

struct ClaimCheck;

// The kind of a REST request: GET or POST on the sidecar.
enum class requestType : int { Get = 0, Post = 1 };

class PRIAMUTIL_EXPORT PriamUtil {
 public:
  // priamPort: the sidecar's port, 0 to pick a free one at launch.
  // javaPath: the Java executable, empty to discover it.
  // priamDir: holds "priam.jar" and the log4j template "zblog4j.properties".
  // priamConfDir: where "zbPriam.properties" and "zbPriamlog4j.properties"
  //   are prepared; empty to skip that set-up.
  // cassandraConfDir: the node's configuration directory.
  // ignoreConnectionFailure: keep a launched sidecar that did not answer.
  PriamUtil(int priamPort, const CYrString& javaPath, const std::string& priamDir,
            const std::string& priamConfDir, const std::string& cassandraConfDir,
            bool ignoreConnectionFailure);
  // Stops a started sidecar.
  ~PriamUtil();
  PriamUtil(const PriamUtil&) = delete;
  PriamUtil& operator=(const PriamUtil&) = delete;
  PriamUtil(PriamUtil&&) = delete;
  PriamUtil& operator=(PriamUtil&&) = delete;

  // Initialization sequence, run by the constructor.
  CYrError initialize();
  CYrError initializeJavaPath();
  CYrError initializePaths();
  CYrError initializePriamConfFilePath();
  CYrError initializeCassandraConfFilePath();
  CYrError initializePorts();
  // Set `key` to `value` in the text file at `file`, keeping every other line.
  CYrError AddOrUpdateFieldInConfigFile(const std::string& file, const std::string& key,
                                        const std::string& value);

  // Sidecar launch and stop. startPriam blocks for at least 30 seconds once
  // the sidecar process runs (it waits for it to answer) and removes the
  // secrets from the properties file before it returns; when they cannot be
  // removed, it says so: Win32 13 "Priam started, but its secrets could not
  // be removed from FILE: ..." while the sidecar runs all the same, or the
  // launch's own error with that added. A guardian process runs beside the
  // sidecar: it stops the sidecar and removes the secrets if this host dies. One sidecar runs per
  // Priam configuration directory: a launch refuses at once (1627, "Priam is
  // already running for DIR (process PID)") while another controller of this
  // process has its sidecar running from the directory, or another process
  // holds the directory. stopPriam keeps the directory.
  CYrError startPriam();
  CYrError GetFreePort(std::string host, int& port);
  CYrError validatePriamPort();
  CYrError checkConnection();
  CYrError stopPriam();

  // REST requests to the sidecar, under "/v1/cassadmin/". get retries a
  // sidecar that is not ready for up to about five minutes.
  CYrError get(requestType type, const CYrString& path, CYrString& response,
               const CYrString& request);
  CYrError sendRequestWithErrorHandling(requestType type, const CYrString& path,
                                        CYrString& response, const CYrString& request);
  CYrError sendRequest(requestType type, const CYrString& path, CYrString& response,
                       const CYrString& request);
  CYrError setCommonCurlHeaders();
  CYrError post(const std::string& request, std::string& response);
  CYrError sendReq();

  // Properties for the sidecar, written before a launch.
  CYrError writePriamProperty(std::string cqlHost);
  CYrError writePriamProperties(std::map<std::string, std::string> properties);
  // Take the passwords and the token out of the properties file.
  CYrError deleteEntries();

  // Questions about the node, answered from its YAML file.
  CYrError getCassandraDataDir(std::vector<std::string>& directories);
  CYrError getCassandraSeeds(std::vector<std::string>* seeds);
  // Copies the YAML path and flavor when both are known; otherwise leaves
  // both arguments as they were.
  void getConfFileNameCassFlavor(std::string& file, std::string& flavor);

  int priamPort() const { return m_priamPort; }
  const std::string& priamUrl() const { return m_priamUrl; }
  const CYrString& javaPath() const { return m_javaPath; }
  const std::string& cassandraYamlFile() const { return m_cassandraYamlFile; }
  const std::string& cassandraFlavor() const { return m_cassandraFlavor; }
  bool priamStarted() const { return m_priamStarted; }
  bool initFailed() const { return m_initFailed; }
  const std::string& cqlPort() const { return m_cqlPort; }
  const std::string& jmxPort() const { return m_jmxPort; }
  const std::string& cqlHost() const { return m_cqlHost; }
  // The sidecar's pid while one was launched and not reaped, else 0.
  pid_t priamPid() const;
  // True once the launched sidecar has exited, whatever ended it (also a
  // stop). `how`, when given, receives "exit status N" or "killed by signal
  // N (SIGKILL)" ("exit status unknown" when the host reaped it), followed
  // by the last line the sidecar wrote to its output file "zbPriam.out".
  // Once it has exited, requests return 2250 at once and startPriam 1627.
  bool priamExited(std::string* how = nullptr) const;
  // The guardian that runs beside the sidecar (it stops the sidecar and
  // takes the secrets out if this host dies), 0 when none runs.
  pid_t guardianPid() const;
  // When another live process holds the Priam configuration directory (this
  // controller then wrote nothing there): that host's pid, else 0. `sidecar`,
  // when given, receives the pid of the holder's running sidecar, or 0.
  pid_t directoryHolder(pid_t* sidecar = nullptr) const;
  // The sidecar that a host that died had left running from the directory,
  // stopped when this controller took the directory; 0 when there was none.
  pid_t stoppedOrphanPid() const;
  // What a Priam configuration directory holds now, for an operator's
  // questions, without a controller. Everything is told from the running
  // system: the owner counts as alive only when its pid and start time both
  // match (a zombie is dead), and the sidecars are the processes whose
  // command line is a sidecar launch naming the directory, whatever any
  // file says.
  struct DirectoryReport {
    pid_t owner = 0;  // the host the record names, 0 for none
    bool ownerAlive = false;
    pid_t lockHolder = 0;     // the process the system's lock table names, 0 for none
    bool recordLeft = false;  // the record file exists
    struct Sidecar {
      pid_t pid = 0;
      uint64_t startTime = 0;  // in clock ticks since boot
      pid_t host = 0;          // the host that launched it, 0 when it names none
      bool hostAlive = false;
      bool owners = false;  // the live owner's own; otherwise an orphan or another host's
    };
    std::vector<Sidecar> sidecars;  // every sidecar process of the directory
    pid_t recordedSidecar = 0;      // the owner's own, as its record names it
    bool starting = false;          // its launch still waits for it to answer
    int port = 0;                   // its REST port, 0 when not known
    pid_t guardian = 0;             // the guardian that runs beside it, 0 for none
    // How the owner's last sidecar ended, and when (seconds since the
    // epoch), while the record keeps it; empty and 0 otherwise.
    std::string ended;
    int64_t endedAt = 0;
    // Secret keys are in zbPriam.properties while no launch is under way.
    bool secretsLeft = false;
    // The directory's own output file ("zbPriam.out", a regular file of the
    // directory's owner), empty when the record names none or another file;
    // its last lines (three at most, oldest first), each made printable and
    // cut to 200 bytes.
    std::string output;
    std::vector<std::string> lastOutput;
  };
  // Reads and takes nothing. 1627 when the directory or its record cannot
  // be read, or the record or lock file is larger than 64 KiB (refused
  // unread): the state is then unknown.
  static CYrError reportDirectory(const std::string& priamConfDir, DirectoryReport* report);
  // Stop every sidecar of the directory that no live host owns, and take the
  // secrets out of its properties file when no live host owns the directory
  // (it is taken for that moment, and given up again). A live host's sidecar
  // is stopped only with `force`, and its files are left alone. When no
  // sidecar was stopped and a live host owns the directory: refused (1627,
  // naming it). `*stopped` receives the pids of the processes stopped; an
  // error with pids there means they are stopped but the secrets could not
  // be removed.
  static CYrError stopDirectorySidecars(const std::string& priamConfDir, bool force,
                                        std::vector<pid_t>* stopped);

  // The view of 1.1.0, from reportDirectory(): kept for hosts built
  // against it.
  struct DirectoryState {
    pid_t holder = 0;             // the live process that holds the lock, 0 for none
    bool recordLeft = false;      // the record file exists
    pid_t host = 0;               // the host the record names, 0 for none
    bool hostAlive = false;       // that host still runs
    pid_t sidecar = 0;            // the sidecar the record names, 0 for none
    bool sidecarRunning = false;  // it still runs as this directory's sidecar
    uint64_t startTime = 0;       // its start, in clock ticks since boot
    int port = 0;                 // its REST port, 0 when not known
    std::string output;           // the file its output goes to, empty for none
    std::vector<std::string> lastOutput;
  };
  static CYrError inspectDirectory(const std::string& priamConfDir, DirectoryState* state);
  // stopDirectorySidecars(), naming the first process stopped.
  static CYrError stopDirectorySidecar(const std::string& priamConfDir, bool force, pid_t* stopped);

  // Extra words for the Java command line, between the executable and the
  // sidecar's own options (for example "-Xmx512m").
  void setJavaOptions(const std::string& options) { m_javaOptions = options; }

 private:
  friend class PriamUtilTestAccess;
  // The directory's claim, and what the controller keeps on its sidecar.
  struct Supervision;

  // Move the port and the base URL to the port the sidecar really uses.
  void adoptPriamPort(int port);
  // Take (or share) the process's claim on the configuration directory
  // before anything is written there, or check that the claim still holds;
  // 1627 while another process holds it, when it moved or was taken, or the
  // lock cannot be taken. A `launch` logs why, and names a holder whose
  // sidecar runs as "already running".
  CYrError ownDirectory(bool launch = false);
  // The error for a directory that another process holds; `launch` names
  // its running sidecar as "already running"; `lockLost` says that its lock
  // was free all the same.
  CYrError heldElsewhereError(pid_t holder, pid_t holderSidecar, bool launch, bool lockLost) const;
  // The error for a claim that may no longer be written under.
  CYrError claimLostError(const ClaimCheck& check) const;
  // This object was copied into a child that the host forked: it owns
  // nothing there, and every operation that would act returns this error.
  bool copiedByFork() const;
  CYrError forkedChildError() const;
  // The launch's claim: the directory, and no other live sidecar running
  // from it (sidecars nobody alive owns are stopped). The launched sidecar
  // is recorded, and once stopped, how it ended (the directory stays).
  CYrError claimSidecar();
  void recordSidecar(bool starting);
  void releaseSidecar(const std::string& how);
  // The sidecar's output: the descriptor it is given (the pipe to its
  // guardian, or without one the output file itself; -1 for /dev/null),
  // the guardian started beside it, and ended once the sidecar is gone.
  int prepareSidecarOutput();
  void startGuardian();
  void endGuardian();

  // Take the secrets out of the properties file after a launch attempt; a
  // failure is logged and goes into the launch's `*status`.
  void forgetSecrets(CYrError* status);
  // The sidecar was launched, is considered running, and has exited.
  bool sidecarGone() const;
  // Its exit as an error: 1627 during the launch, 2250 afterwards. Logged
  // at level -1 the first time.
  CYrError sidecarExitError();
  // What the library's own waits watch: readable once the sidecar has
  // exited; -1 when no sidecar is considered running.
  int sidecarExitDescriptor() const;

  std::unique_ptr<ZBLibCurl> m_curl;
  std::unique_ptr<ZbProcess> m_process;
  std::unique_ptr<Supervision> m_supervision;
  int m_priamPort;
  CYrString m_javaPath;
  std::string m_priamUrl;
  std::string m_priamDir;
  std::string m_priamConfDir;
  std::string m_cassandraConfDir;
  std::string m_cassandraYamlFile;
  std::string m_cassandraFlavor;
  bool m_priamStarted;
  bool m_ignoreConnectionFailure;
  bool m_initFailed;
  std::string m_cqlPort;
  std::string m_jmxPort;
  std::string m_cqlHost;
  std::string m_javaOptions;
};

}  // namespace ZbCassandra
