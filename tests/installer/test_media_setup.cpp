// Whole runs of the built setup program inside the sandbox, started from a
// distribution made by scripts/mkdist.sh: the host before, the command, the
// host after.
#include <gtest/gtest.h>

#include "installer/test_media_util.h"

using namespace mediatest;

namespace {

// True when the built setup carries the installation steps (main runs them).
bool SetupRunsTheInstallation() {
  return ReadAll(BinaryDir() + "/setup").find("installFromSite") != std::string::npos;
}

class SetupRun : public ::testing::Test {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_SANDBOX();
    if (!SetupRunsTheInstallation())
      GTEST_SKIP() << "SKIPPED: the built setup does not run the installation steps yet (main ends after the "
                      "command line)";
    std::vector<std::string> argv = {"/bin/bash", SourceDir() + "/scripts/mkdist.sh", "--setup",
                                     BinaryDir() + "/setup", "--segment-size", "2K", "--force",
                                     SourceDir() + "/examples", dist.path()};
    ChildResult r = RunProgram(argv, nullptr);
    ASSERT_EQ(r.status, 0) << r.err;
    chmod(dist.path().c_str(), 0755);
  }

  // Runs "<prep>; /tmp/dist/setup <args>; echo status=$?; <checks>" in the
  // sandbox, with setup's standard input from `input` (null: at its end).
  ChildResult Run(const std::string &prep, const std::string &args, const std::string &checks,
                  const char *input = nullptr, const std::string &runAs = "") {
    std::string script = prep + "\n" + runAs + " /tmp/dist/setup " + args + " <&3 3<&-\necho \"status=$?\"\n" + checks;
    return RunProgram({"/bin/bash", SourceDir() + "/scripts/sandbox.sh", "--copy", dist.path() + ":/tmp/dist",
                       "--chdir", "/tmp/dist", "--", "/bin/sh", "-c", "exec 3<&0 </dev/null; " + script},
                      input, {"LANG=C"});
  }

  static std::string After(const ChildResult &r) {
    size_t at = r.out.find("status=");
    return at == std::string::npos ? "<no status>" : r.out.substr(at);
  }

  TempDir dist;
};

TEST_F(SetupRun, FreshInstallationIntoOpt) {
  ChildResult r = Run("", "install /opt",
                      "readlink /usr/Norvo/npxx; test -x /opt/Norvo/npxx/npqadmin && echo installed; "
                      "test -e /tmp/NorvoInstall || echo work=gone; head -1 /tmp/setup.log");
  EXPECT_EQ(After(r), "status=0\n/opt/Norvo/npxx\ninstalled\nwork=gone\ninitializing system\n") << r.out << r.err;
}

TEST_F(SetupRun, UnprivilegedUserIsToldToBecomeRoot) {
  ChildResult r = Run("", "install /opt", "test -e /opt/Norvo || echo nothing-installed", nullptr,
                      "setpriv --reuid=65534 --regid=65534 --clear-groups");
  EXPECT_NE(r.out.find("nobody is logged in\nYou must become root to run setup\n"), std::string::npos) << r.out;
  EXPECT_EQ(After(r), "status=0\nnothing-installed\n") << r.out << r.err;
}

TEST_F(SetupRun, UnansweredOldDaemonPromptEndsTheRun) {
  ChildResult r = Run("mkdir -p /usr/Norvo/npxx && touch /usr/Norvo/npxx/NPrintD", "",
                      "test -e /usr/Norvo/npxx/npqadmin || echo not-upgraded");
  EXPECT_NE(r.out.find("Do You want to continue with the installation? [yn] "), std::string::npos) << r.out;
  EXPECT_EQ(After(r), "status=0\nnot-upgraded\n") << r.out << r.err;
}

TEST_F(SetupRun, UnansweredProcessGuardEndsTheRunBeforeTheMove) {
  ChildResult r = Run("mkdir -p /usr/Norvo/npxx && cp /bin/sleep /tmp/nprint && (/tmp/nprint 60 >/dev/null 2>&1 &)",
                      "install /opt", "test -d /usr/Norvo/npxx -a ! -L /usr/Norvo/npxx && echo not-moved");
  EXPECT_NE(r.out.find("nprint ( "), std::string::npos) << r.out;
  EXPECT_EQ(After(r), "status=0\nnot-moved\n") << r.out << r.err;
}

}  // namespace
