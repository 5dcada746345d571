// Whole runs of the built setup program inside the sandbox, started from a
// distribution made by scripts/mkdist.sh: the host before, the command, the
// host after.
#include <gtest/gtest.h>

#include "installer/test_media_util.h"

using namespace mediatest;

namespace {

class SetupRun : public ::testing::Test {
protected:
  void SetUp() override
  {
    SKIP_WITHOUT_SANDBOX();
    std::vector<std::string> argv = {"/bin/bash",      SourceDir() + "/scripts/mkdist.sh",
                                     "--setup",        BinaryDir() + "/setup",
                                     "--segment-size", "2K",
                                     "--force",        SourceDir() + "/examples",
                                     dist.path()};
    ChildResult r = RunProgram(argv, nullptr);
    ASSERT_EQ(r.status, 0) << r.err;
    chmod(dist.path().c_str(), 0755);
  }

  // Runs "<prep>; /tmp/dist/setup <args>; echo status=$?; <checks>" in the
  // sandbox, with setup's standard input from `input` (null: at its end).
  ChildResult Run(const std::string &prep, const std::string &args, const std::string &checks,
                  const char *input = nullptr, const std::string &runAs = "")
  {
    std::string script = prep + "\n" + runAs + " /tmp/dist/setup " + args +
                         " <&3 3<&-\necho \"status=$?\"\n" + checks;
    return RunProgram({"/bin/bash", SourceDir() + "/scripts/sandbox.sh", "--copy",
                       dist.path() + ":/tmp/dist", "--chdir", "/tmp/dist", "--", "/bin/sh", "-c",
                       "exec 3<&0 </dev/null; " + script},
                      input, {"LANG=C"});
  }

  static std::string After(const ChildResult &r)
  {
    size_t at = r.out.find("status=");
    return at == std::string::npos ? "<no status>" : r.out.substr(at);
  }

  TempDir dist;
};

TEST_F(SetupRun, FreshInstallationIntoOpt)
{
  ChildResult r =
      Run("", "install /opt",
          "readlink /usr/Norvo/npxx; test -x /opt/Norvo/npxx/npqadmin && echo installed; "
          "test -e /tmp/NorvoInstall || echo work=gone; head -1 /tmp/setup.log");
  EXPECT_EQ(After(r), "status=0\n/opt/Norvo/npxx\ninstalled\nwork=gone\ninitializing system\n")
      << r.out << r.err;
}

TEST_F(SetupRun, UnprivilegedUserIsToldToBecomeRoot)
{
  ChildResult r = Run("", "install /opt", "test -e /opt/Norvo || echo nothing-installed", nullptr,
                      "setpriv --reuid=65534 --regid=65534 --clear-groups");
  EXPECT_NE(r.out.find("nobody is logged in\nYou must become root to run setup\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(After(r), "status=0\nnothing-installed\n") << r.out << r.err;
}

TEST_F(SetupRun, UnansweredOldDaemonPromptEndsTheRun)
{
  ChildResult r = Run("mkdir -p /usr/Norvo/npxx && touch /usr/Norvo/npxx/NPrintD", "",
                      "test -e /usr/Norvo/npxx/npqadmin || echo not-upgraded");
  EXPECT_NE(r.out.find("Do You want to continue with the installation? [yn] "), std::string::npos)
      << r.out;
  EXPECT_EQ(After(r), "status=0\nnot-upgraded\n") << r.out << r.err;
}

TEST_F(SetupRun, UnansweredProcessGuardEndsTheRunBeforeTheMove)
{
  ChildResult r = Run(
      "mkdir -p /usr/Norvo/npxx && cp /bin/sleep /tmp/nprint && (/tmp/nprint 60 >/dev/null 2>&1 &)",
      "install /opt", "test -d /usr/Norvo/npxx -a ! -L /usr/Norvo/npxx && echo not-moved");
  EXPECT_NE(r.out.find("nprint ( "), std::string::npos) << r.out;
  EXPECT_EQ(After(r), "status=0\nnot-moved\n") << r.out << r.err;
}

// The work area holds what root copies into the system and makes
// set-user-ID: while setup waits at the earlier-daemon prompt, the copied
// distribution lies in a directory that only root can write into, also when
// someone planted a world-writable one under its name beforehand, and also
// when setup is started with a permissive umask.
TEST_F(SetupRun, WorkAreaIsWritableOnlyByItsOwner)
{
  ChildResult r = Run(
      "mkdir -p /usr/Norvo/npxx && touch /usr/Norvo/npxx/NPrintD\n"
      "mkdir -m 777 /tmp/NorvoInstall && touch /tmp/NorvoInstall/planted && chown -R 65534 /tmp/NorvoInstall\n"
      "mkfifo /tmp/answer\n"
      "umask 000\n"
      "/tmp/dist/setup </tmp/answer >/tmp/out 2>&1 & pid=$!\n"
      "exec 4>/tmp/answer\n"
      "for i in $(seq 200); do [ -e /tmp/NorvoInstall/pkg_tar.001 ] && break; sleep 0.05; done; sleep 0.3\n"
      "stat -c 'work=%a %U' /tmp/NorvoInstall; test -e /tmp/NorvoInstall/planted || echo planted=gone\n"
      "echo no >&4; exec 4>&-; wait $pid; echo \"setup=$?\"",
      "-v", "");
  EXPECT_NE(r.out.find("work=755 root\nplanted=gone\nsetup=0\n"), std::string::npos)
      << r.out << r.err;
}

// Started with standard input closed, every prompt meets the end of its
// input (as with /dev/null) instead of reading for ever: the earlier-daemon
// prompt, the process guard and the package list's checkps guard.
TEST_F(SetupRun, EveryPromptEndsWhenStandardInputIsClosed)
{
  std::string run =
      "timeout 60 /tmp/dist/setup install /opt <&- >/tmp/out 2>&1; echo closed=$?; "
      "grep -c 'nprint ( ' /tmp/out; grep -c 'continue with the installation' /tmp/out";
  ChildResult daemon = Run("mkdir -p /usr/Norvo/npxx && touch /usr/Norvo/npxx/NPrintD; " + run,
                           "-v", "test -e /usr/Norvo/npxx/npqadmin || echo not-upgraded");
  EXPECT_NE(daemon.out.find("closed=0\n0\n1\n"), std::string::npos) << daemon.out << daemon.err;
  EXPECT_NE(daemon.out.find("not-upgraded"), std::string::npos) << daemon.out;

  std::string nprint = "cp /bin/sleep /tmp/nprint && (/tmp/nprint 120 >/dev/null 2>&1 &); ";
  ChildResult guard = Run("mkdir -p /usr/Norvo/npxx && " + nprint + run, "-v",
                          "test -d /usr/Norvo/npxx -a ! -L /usr/Norvo/npxx && echo not-moved");
  EXPECT_NE(guard.out.find("closed=0\n1\n0\n"), std::string::npos) << guard.out << guard.err;
  EXPECT_NE(guard.out.find("not-moved"), std::string::npos) << guard.out;

  // A fresh installation meets only the package list's guard; the lines
  // behind it are not carried out.
  ChildResult checkps = Run(nprint + run, "-v",
                            "test -e /opt/Norvo/npxx/npstat && test ! -e /opt/Norvo/npxx/README "
                            "&& echo stopped-at-checkps");
  EXPECT_NE(checkps.out.find("closed=0\n1\n0\n"), std::string::npos) << checkps.out << checkps.err;
  EXPECT_NE(checkps.out.find("stopped-at-checkps"), std::string::npos) << checkps.out;
}

// A link planted at /tmp/setup.log before the run, to a file or to nowhere:
// the run writes its own log, commands' output included, and nothing else.
TEST_F(SetupRun, PlantedLogLinkIsReplacedByTheRunsOwnLog)
{
  std::string checks = "cat /tmp/sentinel; test -e /tmp/nowhere || echo nowhere=none; "
                       "test -f /tmp/setup.log -a ! -L /tmp/setup.log && echo log=own; "
                       "head -1 /tmp/setup.log; grep -c '^pkg/pkg.list$' /tmp/setup.log";
  for (const char *target : {"/tmp/sentinel", "/tmp/nowhere"}) {
    ChildResult r =
        Run("echo keep >/tmp/sentinel && ln -s " + std::string(target) + " /tmp/setup.log",
            "install /opt", checks);
    EXPECT_EQ(After(r), "status=0\nkeep\nnowhere=none\nlog=own\ninitializing system\n1\n")
        << target << "\n"
        << r.out << r.err;
  }
}

// Paths of the command line go into shell lines: one with a blank or a
// metacharacter is refused with status 2 before anything is created.
TEST_F(SetupRun, UnsafeCommandLinePathsAreRefusedBeforeAnyChange)
{
  ChildResult blank =
      Run("", "'/tmp/a /opt/x'", "test -e /tmp/a || test -e /opt/x || echo nothing-made");
  EXPECT_EQ(After(blank), "status=2\nnothing-made\n") << blank.out << blank.err;
  EXPECT_NE(blank.err.find("ERROR: refusing the directory \"/tmp/a /opt/x\""), std::string::npos)
      << blank.err;

  ChildResult meta = Run(
      "", "install '/opt;touch /tmp/pwned'",
      "test -e /tmp/pwned || test -e /opt/Norvo || test -e /tmp/NorvoInstall || echo nothing-made");
  EXPECT_EQ(After(meta), "status=2\nnothing-made\n") << meta.out << meta.err;
}

// A word of the distribution list with a shell metacharacter ends the run
// with status 1 before the work area is made or anything is copied.
TEST_F(SetupRun, UnsafeDistributionListWordEndsTheRun)
{
  ChildResult r = Run(
      "sed -i 's/^disks /disks x;touch${IFS}\\/tmp\\/pwned /' /tmp/dist/disks", "install /opt",
      "test -e /tmp/pwned || test -e /tmp/NorvoInstall || test -e /opt/Norvo || echo nothing-made");
  EXPECT_EQ(After(r), "status=1\nnothing-made\n") << r.out << r.err;
  EXPECT_NE(r.err.find("ERROR: distribution list names \"x;touch${IFS}/tmp/pwned\""),
            std::string::npos)
      << r.err;
}

// ---- Where the build lies --------------------------------------------------
// A scenario reports who runs it; the runner must reach the program from a
// private checkout (as /root is) and from a build folder under the host's
// /tmp, which the sandbox's fresh /tmp hides.
int WhoRunsScenario()
{
  return geteuid() == 0 ? 10 : geteuid() == 65534 ? 11 : 12;
}

MEDIA_SCENARIOS({{"layout-who", WhoRunsScenario}});

// A copy of this test program at dir/rel (parents made with mode 0755).
std::string CopyOfThisProgram(const std::string &dir, const std::string &rel)
{
  std::string path = dir + "/" + rel;
  TempDir::Run("mkdir -p \"$(dirname '" + path + "')\" && cp '" + SelfPath() + "' '" + path + "'");
  return path;
}

TEST(ScenarioLayout, AProgramInAPrivateFolderRunsAsAnotherUser)
{
  SKIP_WITHOUT_SANDBOX();
  char tmpl[] = "/var/tmp/norvo-private-XXXXXX";  // mode 0700, outside /tmp
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  std::string program = CopyOfThisProgram(tmpl, "ck/build/tests/test_copy");
  ChildResult r = RunProgramScenarioInSandbox(
      program, {}, "layout-who", nullptr, "",
      {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
  TempDir::Run(std::string("rm -rf ") + tmpl);
  EXPECT_EQ(r.status, 11) << r.out << r.err;
}

TEST(ScenarioLayout, AProgramUnderTheHostsTmpRunsInside)
{
  SKIP_WITHOUT_SANDBOX();
  TempDir build;
  std::string program = CopyOfThisProgram(build.path(), "tests/test_copy");
  ChildResult r = RunProgramScenarioInSandbox(program, {}, "layout-who", nullptr);
  EXPECT_EQ(r.status, 10) << r.out << r.err;
}

}  // namespace
