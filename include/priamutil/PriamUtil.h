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
// Every operation returns a CYrError; none throws. The codes are named in
// PriamUtilErrors.h (included here); each call below says what it returns
// and why, how long it may block at most, and whether cancel() ends it.
// Tell errors apart by family and code; the messages are for people.
//
// Threads: calls on one object must come from one thread at a time, except
// cancel() and cancelled(), which any thread may call at any time while the
// object exists (not during its destruction), and a signal handler too.
// Different objects may be used by different threads at the same time, on
// the same configuration directory too: they share the process's claim on
// it, and only one of them runs a sidecar from it at a time. The static
// calls may come from any thread. The log writer (g_ptrLogWriter) is the
// process's: set it before the first object is made.
//
// Time: the host stays in charge of it. cancel() ends whatever the object
// is waiting for within 100 ms (the 30-second wait, the port check's
// commands, a transfer in flight, the retry sleeps, the wait for the end of
// a sidecar left by a dead host), and every wait of it that comes later:
// the calls that wait return kCancelled (Win32 1223, "Cancelled by the
// host") from then on, at once. A cancelled launch cleans up as any failed
// launch does: its sidecar is stopped and the secrets are out of the
// properties file. Cancel is final for the object; stopPriam() and the
// destructor still stop the sidecar and clean up, and are never cut short
// (they kill and then wait for the end, 5 s at most each; milliseconds in
// practice). A sidecar that is stopped (SIGSTOP, a debugger) answers
// nothing: each attempt to ask it fails at once (Win32 2250, "The Priam
// sidecar (process PID) is stopped; ...") and the retry loop goes on as for
// a sidecar that is not ready yet; a transfer in flight when it is stopped
// ends within a fraction of a second. Typical host: its SIGTERM handler
// calls cancel(); the thread in the library returns kCancelled, the host
// destroys the object, which stops the sidecar, and exits.
//
// Signals: the library installs no signal handler and changes no signal
// mask or disposition of the host. SIGCHLD is the host's: it may handle,
// block or ignore it (SIG_IGN) and may reap any child itself (waitpid(-1,
// ...)); the library still notices its sidecar's exit, whose status is then
// "exit status unknown (reaped elsewhere)", and judges its tool commands by
// their output. A signal that interrupts one of the library's waits (EINTR)
// does not end it: SA_RESTART is not needed, and only cancel() ends a wait.
// cancel() is the one call a signal handler may make (it is
// async-signal-safe: no lock, no allocation, errno kept). The sidecar and
// the tool commands start with default dispositions and an empty mask, in
// process groups of their own: a terminal's Ctrl-C or hang-up meant for the
// host does not reach them; the host decides (cancel(), then stop).
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
// while its pid and start time both match and it holds the lock its record
// names (a host that exec'd another program lost it, and its sidecar is an
// orphan); pids are compared in the host's own pid namespace, and a host
// in a namespace that cannot be seen from here (a container's neighbour,
// or outside it) is judged by the lock alone. Its directory is never taken
// from it, even when its lock file is removed, and once its directory is
// moved or replaced under it, its writes return 1627 and write nothing.
//
// A sidecar is recognised by what it runs: any process whose command line
// is a sidecar launch naming the directory. It leads a process group of its
// own, and every stop ends the group and whatever else of the directory
// still runs that no live host owns.
//
// Nothing of a directory outlives its host. From the first secret a
// controller writes into the properties file, and while its sidecar runs, a
// guardian process watches the host (guardianPid()): when the host ends in
// any way without having cleaned up (exit, SIGKILL, a crash, an exec of
// another program, its whole session killed), the guardian stops the
// sidecar's process group, takes the secrets out of the properties file and
// clears the record, within a second. The guardian is installed with the
// library ("priamutil/zbpriam-guardian" beside it); without it, a level -1
// message says so and nothing guards the directory when the host dies. A
// guardian that dies is replaced, and the sidecar's output goes on into the
// same file: at the controller's next call, and within moments while a call
// waits (a request, a retry sleep, the launch's wait); each replacement is
// logged at level -1. A stopped guardian (SIGSTOP) drains none of the
// sidecar's output: requests fail at once while it is stopped (Win32 2250,
// "... the guardian (process N) is stopped ..."), as for a stopped sidecar.
// The secrets leave the disk on every path: a launch takes them out
// however it ends (also when it is cancelled or refused before it starts a
// sidecar), and stopPriam() and the destructor take out those that no
// launch took out yet: write them again after a stop, before the next
// launch.
//
// fork: a child forked from the host (without exec) owns nothing of the
// host's controllers. Their copies in the child return 1627 ("This Priam
// controller belongs to process P") from every operation that would write,
// launch, stop or send a request, and destroying them touches neither the
// directory nor the sidecar, so a worker may return through exit(). The
// child holds no part of the lock, and its copies of the guardian's
// lifeline are closed in the fork itself (a pthread_atfork handler), so
// that the guardian still tells the host's end from a worker's; the
// library's descriptors (the lock, the sidecar's pidfd, the cancel
// descriptor, the lifeline, libcurl's sockets) are close-on-exec. cancel()
// on a copy in a child marks that copy alone, never the parent's object. A
// child may construct controllers of its own; they follow the same rules as
// any host's. A host with several threads should fork only to exec, as
// POSIX asks.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "CYrError.h"
#include "CYrString.h"
#include "PriamUtilErrors.h"

#define PRIAMUTIL_EXPORT __attribute__((visibility("default")))
// The class's private members stay inside the library: no host can call
// them, so none is part of its interface.
#define PRIAMUTIL_LOCAL __attribute__((visibility("hidden")))

class YrCancelScope;
class ZBLibCurl;
class ZbProcess;

namespace ZbCassandra {

struct ClaimCheck;
struct DirectoryShare;
class HostControl;
struct SidecarSupervision;

// The kind of a REST request: GET or POST on the sidecar.
enum class requestType : int { Get = 0, Post = 1 };

// Why a call failed: a fixed set of causes, which later versions only add
// to (a host treats an unknown value as kOther). PriamUtil::failureOf()
// tells it for an error a call returned, beside the code's family and
// number, which stay what each call documents.
enum class FailureReason : int {
  kNone = 0,                      // no failure: the error was a success
  kCancelled = 1,                 // cancel() ended it; the object is cancelled for good
  kDeadlinePassed = 2,            // the call's own time limit passed (setCallTimeLimit())
  kDirectoryHeld = 3,             // another live host holds the directory or runs its sidecar
  kInitializationFailed = 4,      // construction failed (initFailure() tells why)
  kForkCopy = 5,                  // the object is a copy made by fork()
  kNoFreePort = 6,                // no free port for the sidecar
  kSidecarExitedDuringStart = 7,  // the sidecar could not start or exited in its start
  kSidecarNotRunning = 8,         // the sidecar had exited by then (launch it again)
  kSidecarNotLaunched = 9,        // no sidecar was launched, or the host stopped it
  kSidecarStopped = 10,           // the sidecar is stopped (SIGSTOP, a debugger)
  kGuardianStopped = 11,          // the sidecar's guardian is stopped
  kNotAnswering = 12,             // no answer: refused, or the attempt's time limit passed
  kHttpUnauthorized = 13,         // the sidecar answered 401: its credentials are wrong
  kHttpNotFound = 14,             // the sidecar answered 404: it knows no such operation
  kHttpUnavailable = 15,          // the sidecar answered 503: its back end is unavailable
  kHttpOther = 16,                // another answer than 2xx, 401, 404 and 503
  kSecretsNotRemoved = 17,        // the secrets stayed in the properties file
  kPortUnknown = 18,              // the port the sidecar listens on could not be told
  kInvalidArgument = 19,          // an argument was refused
  kFileError = 20,                // a file of the node or the directory could not be used
  kDirectoryMoved = 21,           // the directory was moved or replaced under its owner
  kOther = 22,                    // anything else (the error's message says what)
};

class PRIAMUTIL_EXPORT PriamUtil {
 public:
  // priamPort: the sidecar's port, 0 to pick a free one at launch.
  // javaPath: the Java executable, empty to discover it.
  // priamDir: holds "priam.jar" and the log4j template "zblog4j.properties".
  // priamConfDir: where "zbPriam.properties" and "zbPriamlog4j.properties"
  //   are prepared; empty to skip that set-up.
  // cassandraConfDir: the node's configuration directory.
  // ignoreConnectionFailure: keep a launched sidecar that did not answer.
  // Runs the initialization sequence below; its failure is logged and kept
  // in initFailed(). Blocks while it runs the node's tool commands (ps,
  // which, whereis, netstat: milliseconds each, 120 s at most each) and, on
  // taking the directory, stops the sidecars that dead hosts left there (5 s
  // at most). Nothing can cancel it: the object does not exist yet.
  PriamUtil(int priamPort, const CYrString& javaPath, const std::string& priamDir,
            const std::string& priamConfDir, const std::string& cassandraConfDir,
            bool ignoreConnectionFailure);
  // Stops a started sidecar as stopPriam() does, cancelled or not, takes out
  // the secrets it wrote that no launch took out, and gives the directory
  // up when it is the process's last controller on it.
  ~PriamUtil();
  PriamUtil(const PriamUtil&) = delete;
  PriamUtil& operator=(const PriamUtil&) = delete;
  PriamUtil(PriamUtil&&) = delete;
  PriamUtil& operator=(PriamUtil&&) = delete;

  // Initialization sequence, run by the constructor; as long as it (not
  // ended by cancel()). Win32 1168 kNotFound: no Java executable; 87
  // kInvalidParameter: the node's YAML file cannot be used; 13 kInvalidData:
  // the log4j file cannot be written; errno 1627 kFunctionFailed: another
  // host holds the Priam configuration directory (directoryHolder() names
  // it), it was moved, or this is a copy made by fork(); errno family with
  // a system errno value: a template cannot be copied.
  CYrError initialize();
  CYrError initializeJavaPath();
  CYrError initializePaths();
  CYrError initializePriamConfFilePath();
  CYrError initializeCassandraConfFilePath();
  CYrError initializePorts();
  // Why a call failed, for a host to act on: the cause, whether making the
  // same call again later can succeed without the host doing anything else,
  // and what the cause names.
  struct Failure {
    FailureReason reason = FailureReason::kNone;
    bool retryLater = false;
    pid_t holder = 0;    // kDirectoryHeld: the host that holds the directory (0: not known)
    int httpStatus = 0;  // kHttp*: the status of the last answer
    std::string how;     // kSidecarExitedDuringStart, kSidecarNotRunning: how it ended
    CYrError initError;  // kInitializationFailed: construction's own error
  };
  // The cause of `error`, as a call of this object returned it (the last
  // few calls' errors are told exactly; an older one by its code alone, as
  // kOther when the code does not say). Does not block. For success: kNone.
  //   kCancelled: retryLater false (a new object is needed).
  //   kDeadlinePassed, kDirectoryHeld, kNoFreePort, kSidecarStopped,
  //   kGuardianStopped, kNotAnswering, kHttpUnavailable, kHttpOther,
  //   kPortUnknown: retryLater true.
  //   Every other cause: false (a launch may still help: kSidecarNotRunning
  //   and kSidecarNotLaunched need startPriam() first).
  Failure failureOf(const CYrError& error) const;
  // Why construction failed (initFailed()); kNone when it did not. A
  // directory another host held is kDirectoryHeld, naming it.
  Failure initFailure() const;

  // Set `key` to `value` in the text file at `file`, keeping every other line.
  // Milliseconds. Win32 87: a key or value that would break the line
  // format; errno family with a system errno value: the file cannot be read
  // or written.
  CYrError AddOrUpdateFieldInConfigFile(const std::string& file, const std::string& key,
                                        const std::string& value);

  // Launch the sidecar: on a free port (or the given one), followed to the
  // port it really listens on, then a 30-second wait and the "info" request
  // with the retry loop of get() (each attempt bounded by 10 s, whatever
  // setRequestTimeLimit() says: "info" answers in milliseconds). The secrets
  // leave the properties file before it returns, whatever the outcome; write
  // them again before the next launch. A sidecar of an earlier launch that
  // still runs is stopped first. With port 0 given at construction, a
  // relaunch whose earlier port was taken meanwhile picks a new free one.
  // The output of a sidecar that ended by itself is kept aside
  // ("zbPriam.out.crash") before the next launch starts its own. Bounded by
  // setCallTimeLimit() when set (Win32 1460). Success: the sidecar runs and
  // answered (or the constructor's ignoreConnectionFailure keeps it all the
  // same).
  //   Blocks 30 s and a fraction when the sidecar answers; at most 7 min
  //   10 s of waiting for it (30 s, ten attempts of 10 s, 300 s of retry
  //   sleeps), plus the port check's two tool commands (milliseconds; 120 s
  //   at most each) and the stops before and after (5 s at most each). A
  //   sidecar that exits ends it at once; cancel() ends it.
  //   Returns:
  //   - Win32 1223 kCancelled: cancel() came before or during it; nothing of
  //     the launch is left running.
  //   - Win32 1460 kTimeout: its time limit (setCallTimeLimit()) passed; as
  //     for a cancel, nothing of the launch is left running.
  //   - errno 1627 kFunctionFailed, nothing started: "Failed to initialize
  //     Priam" (initFailed()); "Priam is already running for DIR (process
  //     PID)" (another controller of this process, or another host, runs a
  //     sidecar from the directory) or "The Priam configuration directory
  //     DIR belongs to another host ..." (directoryHolder() names it); "FAILED
  //     TO LOCATE FREE PORT"; "FAILED TO START THE PROCESS [...]"; the
  //     directory moved; a copy made by fork().
  //   - errno 1627 kFunctionFailed: "The Priam sidecar exited during its
  //     start (HOW)": the JVM's own words (priamExited() tells them too).
  //   - Win32 1359 kInternalError: its port could not be told; the sidecar
  //     is left running (priamStarted()) until stopPriam() or the
  //     destructor.
  //   - the connection check's last failure, as get() returns it (Win32 5,
  //     5006, 2250); errno 2250 " Curl Init failed ".
  //   - Win32 13 kInvalidData "Priam started, but its secrets could not be
  //     removed from FILE: ...": the sidecar runs all the same; after any
  //     other failure the text of that failure is added to its error.
  //   A guardian process runs beside the sidecar: it stops the sidecar and
  //   takes the secrets out if this host dies (guardianPid()). A refusal,
  //   an early failure and a cancel take out the secrets this controller
  //   wrote as well.
  //   After any other failure, and after a refusal, nothing of it runs. The
  //   next startPriam() launches anew, also after an exit (after a refusal,
  //   once the other sidecar is gone); after cancel() it returns kCancelled
  //   at once.
  CYrError startPriam();
  // A free TCP port on `host`'s address, in `port`; does not block. errno
  // 1627 when there is none (the port is then 0) or the name is unknown.
  CYrError GetFreePort(std::string host, int& port);
  // The launch's port check (ps, then netstat): adopts the port the sidecar
  // listens on. Two tool commands, 120 s at most each; ended by cancel()
  // (kCancelled). Win32 1359 when no port is found; the sidecar's exit as
  // startPriam() or get() report it.
  CYrError validatePriamPort();
  // The launch's 30-second wait, then "info" with the retry loop, each
  // attempt bounded by 10 s: 7 min 10 s at most; ended by cancel() and by the
  // sidecar's exit. Returns what get() returns.
  CYrError checkConnection();
  // Kill the sidecar's process group, reap it, then stop whatever else of
  // the directory runs that no live host owns, and record how it ended; the
  // directory stays this host's. Secrets this controller wrote that no
  // launch took out yet leave the properties file (a failure is logged at
  // level -1, and the guardian stays), and its guardian leaves. Success also
  // when nothing runs. Waits for the ends: milliseconds, 5 s at most for
  // each of the two, 1 s for the guardian; never ended by cancel(). errno
  // 1359 kInternalError: SIGKILL was refused; errno 1627: a copy made by
  // fork() (it stops nothing).
  CYrError stopPriam();

  // A REST request to the sidecar: `type` (GET or POST) on "/v1/cassadmin/"
  // followed by `path`, with `request` as its body; `response` receives the
  // reply text of the last attempt (also of a failed one). The retry loop:
  // after an attempt that failed, 30 s of sleep and up to ten attempts, or
  // 10 s and two attempts after a 503; none after a 401.
  //   Blocks at most ten attempts, each bounded by the request time limit
  //   (300 s unless setRequestTimeLimit() says otherwise), and 300 s of
  //   sleeps: 55 minutes with the default limit for a sidecar that takes
  //   requests and never answers; 5 minutes when each attempt fails at once
  //   (refused, stopped sidecar); 20 s after 503s. Ended by cancel() and by
  //   the sidecar's exit.
  //   Returns success for a 2xx answer, or:
  //   - Win32 5 kAccessDenied: 401, at once.
  //   - Win32 5006 kResourceUnavailable: 503 at the last attempt.
  //   - Win32 2250 kNotConnected: any other answer, or none (refused, time
  //     limit, stopped sidecar), at the last attempt.
  //   - errno 2250 kNotConnected "The Priam sidecar is not running (HOW)",
  //     at once, without an attempt: the library saw its sidecar exit,
  //     during the launch or after it, until the next startPriam() or
  //     stopPriam().
  //   - errno 2250 kNotConnected " Priam server not initialized ": no
  //     sidecar was launched, or the host stopped it; after the ten attempts
  //     and their 300 s of sleeps, as ever.
  //   - Win32 2250 kNotConnected "... the guardian (process N) is stopped
  //     ...": each attempt while the sidecar's guardian is stopped, at once.
  //   - Win32 87 kInvalidParameter: an unknown request type, at once.
  //   - Win32 1223 kCancelled: cancel() came before or during it.
  //   - Win32 1460 kTimeout: its time limit (setCallTimeLimit()) passed.
  //   - errno 1627 kFunctionFailed: a copy made by fork().
  CYrError get(requestType type, const CYrString& path, CYrString& response,
               const CYrString& request);
  // The retry loop itself; get() forwards to it.
  CYrError sendRequestWithErrorHandling(requestType type, const CYrString& path,
                                        CYrString& response, const CYrString& request);
  // One attempt, bounded by the request time limit; ended by cancel(). The
  // errors of get(); " Priam server not initialized " at once.
  CYrError sendRequest(requestType type, const CYrString& path, CYrString& response,
                       const CYrString& request);
  // The two common header lines; does not block. errno 1627 when one cannot
  // be added.
  CYrError setCommonCurlHeaders();
  // A stub kept for hosts built against the full interface: it sends
  // nothing and touches neither argument. Success, or the sidecar's exit as
  // get() returns it. For a POST use get(requestType::Post, ...).
  CYrError post(const std::string& request, std::string& response);
  // A stub: sends nothing, returns success.
  CYrError sendReq();

  // Properties for the sidecar, written before a launch: milliseconds (a
  // first write into the directory, when construction did not take it,
  // stops what dead hosts left there: 5 s at most). A write that puts
  // secrets on disk starts the directory's guardian first, unless one runs
  // (a millisecond or two). Not ended by cancel().
  // Win32 87 kInvalidParameter: a key or value that would break the file's
  // format; Win32 13 kInvalidData: the file cannot be read or written;
  // errno 1627 kFunctionFailed: the directory is another host's, was moved,
  // or this is a copy made by fork(); nothing was written then.
  CYrError writePriamProperty(std::string cqlHost);
  CYrError writePriamProperties(std::map<std::string, std::string> properties);
  // Take the passwords and the token out of the properties file; as the
  // writers above.
  CYrError deleteEntries();

  // Questions about the node, answered from its YAML file: milliseconds.
  // Win32 87 kInvalidParameter: the file cannot be read, or does not say.
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
  // N (SIGKILL)" ("exit status unknown" when the host reaped it), then who
  // stopped it when someone else said so before its SIGKILL (", stopped by
  // an operator (priamctl stop --force)"; SidecarActivity::EndedBy),
  // followed by the last line the sidecar wrote to its output file
  // "zbPriam.out".
  // Once the library has seen it exit, requests return its errno 2250 at
  // once, until the next startPriam() (which launches anew) or stopPriam().
  bool priamExited(std::string* how = nullptr) const;
  // The guardian that runs now, beside the sidecar or for the secrets on
  // disk (it stops the sidecar and takes the secrets out if this host
  // dies), 0 when none runs; never a guardian that has ended.
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
  // match (a zombie is dead) and it holds the directory's lock, and the
  // sidecars are the processes whose command line is a sidecar launch
  // naming the directory, whatever any file says. Pids are the caller's:
  // a host in another pid namespace (a container) is named by its pid as
  // the caller sees it, or by its own pid there when the caller cannot see
  // into that namespace; DirectoryDetails tells which.
  struct DirectoryReport {
    pid_t owner = 0;  // the host the record names, 0 for none
    // Also a host that cannot be seen from here, while it holds the lock.
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
  // Reads and takes nothing; a scan of the process table (1 s at most for a
  // process caught in its exec). 1627 when the directory or its record cannot
  // be read, or the record or lock file is larger than 64 KiB (refused
  // unread): the state is then unknown.
  static CYrError reportDirectory(const std::string& priamConfDir, DirectoryReport* report);
  // Where the processes of a DirectoryReport run, for a caller that may be
  // in another pid namespace than the hosts (a container, or outside one).
  // A host's own pid is the one in its namespace; the caller sees it under
  // another, or not at all when the host's namespace is not below its own.
  struct DirectoryDetails {
    bool ownerElsewhere = false;  // the owner runs in another pid namespace
    pid_t ownerPidThere = 0;      // the owner's pid in its namespace, 0 for none
    pid_t ownerPidHere = 0;       // as the caller sees it, 0 when it cannot (or it ended)
    // The owner's sidecar as its record names it (its pid there) when the
    // caller cannot see the owner's namespace, so not the sidecar either;
    // 0 otherwise (DirectoryReport::recordedSidecar names a visible one).
    pid_t unseenSidecar = 0;
    struct Sidecar {
      bool hostElsewhere = false;  // its host runs in another pid namespace
      pid_t hostPidThere = 0;      // as the sidecar names it, 0 for none
      pid_t hostPidHere = 0;       // as the caller sees it, 0 when it cannot
    };
    std::vector<Sidecar> sidecars;  // one for each of the report's, in its order
  };
  // reportDirectory() above, and in `details` (when given) where each
  // process runs. The same time and errors.
  static CYrError reportDirectory(const std::string& priamConfDir, DirectoryReport* report,
                                  DirectoryDetails* details);
  // How the directory's sidecar is doing, as systemctl status tells of a
  // service, and how the last one ended. That end is kept in the file
  // "zbPriam.ended" of the directory (owner-only, replaced whole), which
  // outlives the record: whoever ends a sidecar writes it, saying who it was.
  // New in 1.3.0.
  struct SidecarActivity {
    enum State : int {
      kNotRunning = 0,  // none runs; `lastEnd` tells how the last one ended, when known
      kStarting = 1,    // a live host's launch waits for its sidecar to answer
      kRunning = 2,     // a live host's sidecar runs
      kStopped = 3,     // a live host's sidecar is stopped (SIGSTOP, a tracer): it answers nothing
      kFailed = 4,      // none runs, and the last one ended without being asked to
      kOrphaned = 5,    // one runs that no live host owns (its host died, or exec'd)
    };
    enum EndedBy : int {
      kNobody = 0,         // it exited, or someone else killed it
      kItsHost = 1,        // its host stopped it (stopPriam(), the destructor)
      kOperator = 2,       // stopDirectorySidecars() (priamctl stop)
      kOperatorForce = 3,  // stopDirectorySidecars() with `force` (priamctl stop --force)
      kGuardian = 4,       // its guardian, once its host had died
      kNextHost = 5,       // a host that took the directory after its host had died
    };
    struct End {
      std::string how;  // its exit: "exit status 1", "killed by signal 9 (SIGKILL)"; may be empty
      EndedBy by = kNobody;
      // Both in words, as priamExited() and the record say them: "killed by
      // signal 9 (SIGKILL), stopped by an operator (priamctl stop --force)".
      std::string text;
      int64_t at = 0;  // seconds since the epoch; 0 when not known (its host has not seen it)
      pid_t pid = 0;   // the sidecar, in its host's pid namespace
      pid_t host = 0;  // its host there; 0 when not known
      bool duringStart = false;  // before its launch was over
    };
    State state = kNotRunning;
    int64_t since = 0;  // when it came to that state, seconds since the epoch; 0 when not known
    // The sidecar the state is about (the leader of its process group), 0
    // for none or one that cannot be seen from here; the tasks of its group
    // (their threads, as systemd counts a unit's tasks) and their resident
    // memory together.
    pid_t mainPid = 0;
    uint32_t tasks = 0;
    uint64_t memoryBytes = 0;
    bool ended = false;  // `lastEnd` is known
    End lastEnd;
    // The directory's own output file ("zbPriam.out", a regular file of the
    // directory's owner), empty when there is none; its last lines, oldest
    // first, made printable and cut to 200 bytes each.
    std::string output;
    std::vector<std::string> lastOutput;
  };
  // reportDirectory() (into `report` and `details`, when given), and what
  // becomes of its sidecar in `activity`, with at most `outputLines` lines
  // of output (those in the file's last 64 KiB). The same time and errors.
  static CYrError reportSidecarActivity(const std::string& priamConfDir, size_t outputLines,
                                        SidecarActivity* activity, DirectoryReport* report,
                                        DirectoryDetails* details);
  // Stop every sidecar of the directory that no live host owns, and take the
  // secrets out of its properties file when no live host owns the directory
  // (it is taken for that moment, and given up again). A live host's sidecar
  // is stopped only with `force`, and its files are left alone; so is that
  // of a host in another pid namespace that holds the lock, even one the
  // caller cannot see. A host that exec'd another program lost its lock and
  // owns nothing any more. When no sidecar was stopped and a live host owns
  // the directory: refused (1627, naming it). `*stopped` receives the pids of the processes
  // stopped; an error with pids there means they are stopped but the secrets could not be removed.
  // Waits for their end, 5 s at most. errno 1627 kFunctionFailed.
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

  // End every blocking call of this object, now and from here on (see the
  // top of this file). Any thread may call it, and a signal handler: it is
  // async-signal-safe and returns at once. Final for the object.
  void cancel() noexcept;
  // cancel() has been called.
  bool cancelled() const noexcept;
  // The longest one attempt of the host's requests (get(),
  // sendRequestWithErrorHandling(), sendRequest()) may take, in seconds, 1
  // or more; 300 unless set. A long operation may need hours. Not the
  // launch's check, whose attempts get 10 s. Win32 87 for 0.
  CYrError setRequestTimeLimit(uint32_t seconds);
  uint32_t requestTimeLimit() const;
  // The longest one whole call may take, retries and sleeps included, in
  // milliseconds; 0 (the default): as long as the call documents. Bounds
  // startPriam(), get(), sendRequestWithErrorHandling(), sendRequest(),
  // checkConnection() and validatePriamPort(), each from its start; when
  // it passes, the call returns Win32 1460 kTimeout at once
  // (kDeadlinePassed), as a cancel would end it (a launch stops its sidecar
  // and takes the secrets out), but the object is not cancelled: the next
  // call works. Never cuts a stop short.
  void setCallTimeLimit(uint32_t milliseconds);
  uint32_t callTimeLimit() const;
  // Whether a request that the sidecar answers 404 (an operation it does not
  // know) goes through the retry loop like any other failure (true, the
  // default), or fails at once (false).
  void setNotFoundRetried(bool retried);

 private:
  friend class PriamUtilTestAccess;
  // The directory's claim, and what the controller keeps on its sidecar.
  struct Supervision;
  // Its parts, for the operations defined with their subsystem.
  PRIAMUTIL_LOCAL DirectoryShare& directoryShare() const;
  PRIAMUTIL_LOCAL SidecarSupervision& sidecarSupervision() const;

  // Move the port and the base URL to the port the sidecar really uses.
  PRIAMUTIL_LOCAL void adoptPriamPort(int port);
  // Take (or share) the process's claim on the configuration directory
  // before anything is written there, or check that the claim still holds;
  // 1627 while another process holds it, when it moved or was taken, or the
  // lock cannot be taken. A `launch` logs why, and names a holder whose
  // sidecar runs as "already running".
  PRIAMUTIL_LOCAL CYrError ownDirectory(bool launch = false);
  // Construction left the directory alone for this reason.
  PRIAMUTIL_LOCAL void rememberRefusal(const CYrError& refusal);
  // The error for a directory that another process holds; `launch` names
  // its running sidecar as "already running"; `lockLost` says that its lock
  // was free all the same.
  PRIAMUTIL_LOCAL CYrError heldElsewhereError(pid_t holder, pid_t holderSidecar, bool launch,
                                              bool lockLost) const;
  // The error for a claim that may no longer be written under.
  PRIAMUTIL_LOCAL CYrError claimLostError(const ClaimCheck& check) const;
  // This object was copied into a child that the host forked: it owns
  // nothing there, and every operation that would act returns this error.
  PRIAMUTIL_LOCAL bool copiedByFork() const;
  PRIAMUTIL_LOCAL CYrError forkedChildError() const;
  // The launch's claim: the directory, and no other live sidecar running
  // from it (sidecars nobody alive owns are stopped). The launched sidecar
  // is recorded, and once stopped, how it ended and who ended it (the
  // directory stays).
  PRIAMUTIL_LOCAL CYrError claimSidecar();
  PRIAMUTIL_LOCAL void recordSidecar(bool starting);
  PRIAMUTIL_LOCAL void releaseSidecar(bool stoppedByHost);
  // The sidecar's output: the descriptor it is given (the pipe to its
  // guardian, or without one the output file itself; -1 for /dev/null),
  // the guardian started beside it, and ended once the sidecar is gone.
  PRIAMUTIL_LOCAL int prepareSidecarOutput();
  PRIAMUTIL_LOCAL void startGuardian();
  PRIAMUTIL_LOCAL void endGuardian();

  // Take the secrets out of the properties file after a launch attempt; a
  // failure is logged and goes into the launch's `*status`.
  PRIAMUTIL_LOCAL void forgetSecrets(CYrError* status);
  // The sidecar was launched, is considered running, and has exited.
  PRIAMUTIL_LOCAL bool sidecarGone() const;
  // Its exit as an error: 1627 during the launch, 2250 afterwards. Logged
  // at level -1 the first time.
  PRIAMUTIL_LOCAL CYrError sidecarExitError();
  // What the library's own waits watch: readable once the sidecar has
  // exited; -1 when no sidecar is considered running.
  PRIAMUTIL_LOCAL int sidecarExitDescriptor() const;
  // This controller's cancel descriptor announced to the platform's waits on
  // the calling thread while the scope lives, with `peer` as the process its
  // HTTP exchanges go to.
  PRIAMUTIL_LOCAL YrCancelScope cancelScope(pid_t peer = 0) const;
  // The launch's status as the host hears it: a cancel fails it, and stops
  // whatever it kept running.
  PRIAMUTIL_LOCAL CYrError endLaunch(const CYrError& status);
  // cancel() was called, or the call's own time limit passed; and the error
  // that says which.
  PRIAMUTIL_LOCAL bool interrupted() const;
  PRIAMUTIL_LOCAL CYrError interruptionError(const FXCodeLocation& location) const;
  // Remember why `error`, which the call under way returns, came about.
  PRIAMUTIL_LOCAL const CYrError& noteFailure(const CYrError& error, FailureReason reason,
                                              pid_t holder = 0, int httpStatus = 0,
                                              const std::string& how = std::string()) const;
  // What the host controls from outside the calls; null when construction
  // could not make it.
  PRIAMUTIL_LOCAL HostControl* hostControl() const;

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
