// Helpers of the media, free-space, process-guard, earlier-installation and
// system-query tests: running code in a child process with a given standard
// input, inside the project's sandbox, and with real watched processes.
//
// Sandboxed scenarios: a test file lists its scenarios with
// MEDIA_SCENARIOS({{"name", fn}, ...}); RunScenarioInSandbox starts this very
// test program inside scripts/sandbox.sh with NORVO_TEST_SCENARIO=name, and
// the table runs fn while the program starts up (before any test) and ends
// the process with fn's result.
#ifndef NORVO_TEST_MEDIA_UTIL_H
#define NORVO_TEST_MEDIA_UTIL_H

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/ChildProcess.h"
#include "common/TempDir.h"

namespace mediatest {

using ::TempDir;
using testcommon::ChildResult;
using testcommon::ReadAll;
using testcommon::RunChild;
using testcommon::RunProgram;
using testcommon::WaitStatus;
using testcommon::WriteFile;

inline bool Exists(const std::string &path)
{
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

inline std::string SourceDir()
{
  const char *env = std::getenv("NORVO_SOURCE_DIR");
  return env ? env : NORVO_SOURCE_DIR;
}

inline std::string BinaryDir()
{
  const char *env = std::getenv("NORVO_BINARY_DIR");
  return env ? env : NORVO_BINARY_DIR;
}

inline std::string SelfPath()
{
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  buf[n > 0 ? n : 0] = '\0';
  return buf;
}

// Empty when scripts/sandbox.sh can run here; otherwise why not.
inline std::string WhyNoSandbox()
{
  if (geteuid() != 0)
    return "the sandbox needs root";
  std::string script = SourceDir() + "/scripts/sandbox.sh";
  if (!Exists(script))
    return "scripts/sandbox.sh is missing";
  ChildResult r = RunProgram({"/bin/bash", script, "--check"}, nullptr);
  if (r.status != 0)
    return "sandbox unusable: " + r.err;
  return "";
}

#define SKIP_WITHOUT_SANDBOX()                                                                     \
  do {                                                                                             \
    std::string why_ = ::mediatest::WhyNoSandbox();                                                \
    if (!why_.empty())                                                                             \
      GTEST_SKIP() << "SKIPPED (no sandbox): " << why_;                                            \
  } while (0)

// Where the folder of the program that runs a scenario appears inside the
// sandbox: a place of its own, outside the sandbox's fresh /tmp.
inline constexpr char kProgramsInside[] = "/norvo-test-programs";

// Runs scenario `name` of the test program `program` inside the sandbox with
// the given sandbox options; `arg` reaches it as NORVO_TEST_ARG. `prefix`
// goes in front of the program (e.g. setpriv and its options). The program's
// folder is bound in at kProgramsInside and the program run from there: a
// build folder under the host's /tmp would be hidden by the sandbox's fresh
// /tmp, and one under a private folder (a checkout in /root) cannot be
// reached by the unprivileged user a prefix may switch to. The build folder
// itself is bound in as well when it lies under /tmp, since scenarios use
// what it holds (the built setup).
inline ChildResult RunProgramScenarioInSandbox(const std::string &program,
                                               const std::vector<std::string> &options,
                                               const std::string &name, const char *input,
                                               const std::string &arg = "",
                                               const std::vector<std::string> &prefix = {})
{
  size_t slash = program.rfind('/');
  std::string folder = slash == 0 ? "/" : program.substr(0, slash);
  std::vector<std::string> argv = {"/bin/bash", SourceDir() + "/scripts/sandbox.sh"};
  argv.insert(argv.end(), options.begin(), options.end());
  argv.insert(argv.end(), {"--bind", folder + ":" + kProgramsInside, "--chdir", "/", "--"});
  argv.insert(argv.end(), prefix.begin(), prefix.end());
  argv.insert(argv.end(), {"/usr/bin/env", "NORVO_TEST_SCENARIO=" + name, "NORVO_TEST_ARG=" + arg,
                           "LANG=C", kProgramsInside + program.substr(slash)});
  return RunProgram(argv, input,
                    {"NORVO_SOURCE_DIR=" + SourceDir(), "NORVO_BINARY_DIR=" + BinaryDir()});
}

// Runs scenario `name` of this very test program inside the sandbox.
inline ChildResult RunScenarioInSandbox(const std::vector<std::string> &options,
                                        const std::string &name, const char *input,
                                        const std::string &arg = "",
                                        const std::vector<std::string> &prefix = {})
{
  return RunProgramScenarioInSandbox(SelfPath(), options, name, input, arg, prefix);
}

inline std::string ScenarioArg()
{
  const char *arg = std::getenv("NORVO_TEST_ARG");
  return arg ? arg : "";
}

// The scenarios of one test file. When this program was started for one of
// them, it runs while the program starts up and ends the process.
class ScenarioTable {
public:
  ScenarioTable(std::initializer_list<std::pair<const char *, int (*)()>> table)
  {
    const char *wanted = std::getenv("NORVO_TEST_SCENARIO");
    if (!wanted)
      return;
    for (const auto &[name, fn] : table) {
      if (std::strcmp(name, wanted) != 0)
        continue;
      int rc = fn();
      std::fflush(nullptr);
      _exit(rc);
    }
  }
};

#define MEDIA_SCENARIOS(...) static ::mediatest::ScenarioTable media_scenarios_(__VA_ARGS__)

// A running copy of sleep under the command name `name` (at most 15
// characters, the kernel's limit). A keeper process between the test and
// the sleeper reaps it as soon as it ends, so that an ended sleeper does not
// linger in the process table as a zombie of the test. Both are killed at the
// end of the scope.
class WatchedProcess {
public:
  WatchedProcess(const TempDir &dir, const std::string &name, int seconds)
  {
    std::string copy = dir / name;
    if (!Exists(copy))
      TempDir::Run("cp /bin/sleep '" + copy + "'");
    std::string secs = std::to_string(seconds);
    int fds[2];
    if (pipe(fds) != 0)
      return;
    keeper_ = fork();
    if (keeper_ == 0) {
      setpgid(0, 0);
      close(fds[0]);
      pid_t sleeper = fork();
      if (sleeper == 0) {
        int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        execl(copy.c_str(), name.c_str(), secs.c_str(), static_cast<char *>(nullptr));
        _exit(127);
      }
      ssize_t w = write(fds[1], &sleeper, sizeof sleeper);
      (void)w;
      close(fds[1]);
      int raw = 0;
      waitpid(sleeper, &raw, 0);
      _exit(0);
    }
    setpgid(keeper_, keeper_);
    close(fds[1]);
    if (read(fds[0], &pid_, sizeof pid_) != sizeof pid_)
      pid_ = -1;
    close(fds[0]);
    // Wait until exec has given the sleeper its new name.
    std::string comm = "/proc/" + std::to_string(pid_) + "/comm";
    for (int i = 0; i < 2000 && ReadAll(comm) != name + "\n"; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ~WatchedProcess()
  {
    if (keeper_ > 0) {
      kill(-keeper_, SIGKILL);
      waitpid(keeper_, nullptr, 0);
    }
  }
  pid_t pid() const { return pid_; }
  // True while the sleeper has not ended.
  bool Running() const { return kill(pid_, 0) == 0; }

private:
  pid_t keeper_ = -1;
  pid_t pid_ = -1;
};

// A command name no other test uses at the same time ("<prefix><pid>").
inline std::string UniqueName(const std::string &prefix)
{
  std::string name = prefix + std::to_string(getpid());
  return name.substr(0, 15);
}

}  // namespace mediatest

#endif
