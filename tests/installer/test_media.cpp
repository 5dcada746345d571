// The distribution medium: the list file, the joining of the archive
// segments, the readiness check with its earlier-daemon prompt, and whole
// runs from a distribution made by scripts/mkdist.sh through the run
// sequence's steps 6 to 10 inside the sandbox.
#include <gtest/gtest.h>

#include <grp.h>

#include "installer/setup.h"
#include "installer/test_media_util.h"
#include "syscmd/SysCmd.h"

using namespace mediatest;

namespace {

constexpr char PROMPT[] = "\nDo You want to continue with the installation? [yn] ";
constexpr char DAEMON_NOTE[] =
    "\nIf you currently have Norvo printer software installed that uses NPrintD\n"
    "print daemon, you must delete all your Norvo print queues prior to installing\n"
    "this package.\n\nNOTE: NPrintD is located in <install directory>/Norvo/npxx\n";

void StartInstaller()
{
  setenv("LANG", "C", 1);
  flUseLog = 0;
  static char name[] = "test_media";
  my_name = name;
  InitSysCmdList();
}

size_t Count(const std::string &text, const std::string &what)
{
  size_t n = 0;
  for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1))
    ++n;
  return n;
}

// ---- the list file -----------------------------------------------------------

TEST(DistributionList, DisksIsReadAsWritten)
{
  TempDir dir;
  WriteFile(dir / "disks", "disks isize tsize\npkg_tar.001\nend_of_list\n");
  WriteFile(dir / "DISKS", "other\n");
  ChildResult r = RunChild(
      [&] {
        StartInstaller();
        GetDisksData(dir.path().c_str());
        std::printf("%s", LineBuf);
        return 0;
      },
      nullptr);
  EXPECT_EQ(r.out, "disks isize tsize\npkg_tar.001\nend_of_list\n");
}

TEST(DistributionList, DISKSIsUpperCasedUpToTheEndMark)
{
  TempDir dir;
  WriteFile(dir / "DISKS",
            "disks isize tsize\npkg_tar.001 Pkg_Tar.002\nend_of_list\nlater words\n");
  ChildResult r = RunChild(
      [&] {
        StartInstaller();
        GetDisksData(dir.path().c_str());
        std::printf("%s", LineBuf);
        return 0;
      },
      nullptr);
  EXPECT_EQ(r.out, "DISKS ISIZE TSIZE\nPKG_TAR.001 PKG_TAR.002\nend_of_list\nlater words\n");
}

TEST(DistributionList, NoListEndsTheRunWithStatus1)
{
  TempDir dir;
  ChildResult r = RunChild(
      [&] {
        StartInstaller();
        GetDisksData(dir.path().c_str());
        return 42;
      },
      nullptr);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ERROR: can't open file, NorvoInstall/disks\n");
}

// ---- joining the segments ----------------------------------------------------

// Joins in a work area holding `files` (name -> content) with `list` as its
// list file `listName`; the joined archive's content.
std::string Join(const std::string &listName, const std::string &list,
                 const std::vector<std::pair<std::string, std::string>> &files)
{
  TempDir work;
  WriteFile(work / listName, list);
  for (const auto &[name, content] : files)
    WriteFile(work / name, content);
  ChildResult r = RunChild(
      [&] {
        StartInstaller();
        pNorvoInstallDir = SaveStr_(work.path().c_str());
        genZFile();
        return 0;
      },
      nullptr);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  std::string archive = work / "Linuxi386Npxx.tar.Z";
  return Exists(archive) ? ReadAll(archive) : "<none>";
}

TEST(JoinSegments, InListOrderSkippingMissingAndOtherWords)
{
  EXPECT_EQ(Join("disks", "disks isize\npkg_tar.003 pkg_tar.001\npkg_tar.002\nend_of_list\n",
                 {{"pkg_tar.001", "A"}, {"pkg_tar.002", "B"}, {"pkg_tar.003", "C"}}),
            "CAB");
  // A listed segment that is missing is skipped; "pkg_tar" without the dot
  // and anything behind the end mark are not segments to join.
  EXPECT_EQ(
      Join("disks", "disks pkg_tar pkg_tar.009 pkg_tar.002 pkg_tar.001 end_of_list pkg_tar.003\n",
           {{"pkg_tar", "x"}, {"pkg_tar.001", "A"}, {"pkg_tar.002", "B"}, {"pkg_tar.003", "C"}}),
      "BA");
  // Tabs do not separate words of the list here.
  EXPECT_EQ(Join("disks", "pkg_tar.001\tpkg_tar.002 pkg_tar.003\nend_of_list\n",
                 {{"pkg_tar.001", "A"}, {"pkg_tar.002", "B"}, {"pkg_tar.003", "C"}}),
            "C");
  EXPECT_EQ(Join("disks", "disks isize tsize\nend_of_list\n", {}), "<none>");
}

TEST(JoinSegments, UpperCaseMediumJoinsUpperCaseSegments)
{
  EXPECT_EQ(Join("DISKS", "disks pkg_tar.002 pkg_tar.001\nend_of_list\n",
                 {{"PKG_TAR.001", "A"}, {"PKG_TAR.002", "B"}, {"pkg_tar.001", "a"}}),
            "BA");
}

// ---- readiness: root and the earlier print daemon -----------------------------

// readyForInstallation in a child with pAppDir = `app`: status 11 for
// "go on", 10 for a refusal; exits of its own are passed through.
ChildResult Ready(const std::string &app, const char *input)
{
  return RunChild(
      [&] {
        StartInstaller();
        pAppDir = SaveStr_(app.c_str());
        return readyForInstallation() ? 11 : 10;
      },
      input);
}

TEST(Readiness, RootWithoutOldDaemonGoesOnQuietly)
{
  if (geteuid() != 0)
    GTEST_SKIP() << "SKIPPED: needs root";
  TempDir app;
  ChildResult r = Ready(app.path(), nullptr);
  EXPECT_EQ(r.status, 11);
  EXPECT_EQ(r.out, "");
}

TEST(Readiness, OtherUsersAreToldToBecomeRoot)
{
  if (geteuid() != 0)
    GTEST_SKIP() << "SKIPPED: needs root to become another user";
  TempDir app;
  ChildResult r = RunChild(
      [&] {
        StartInstaller();
        pAppDir = SaveStr_(app.path().c_str());
        if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
          return 99;
        return readyForInstallation() ? 11 : 10;
      },
      nullptr);
  EXPECT_EQ(r.status, 10);
  EXPECT_EQ(r.out, "nobody is logged in\nYou must become root to run test_media\n");
}

class OldDaemonPrompt : public ::testing::Test {
protected:
  void SetUp() override
  {
    if (geteuid() != 0)
      GTEST_SKIP() << "SKIPPED: needs root";
    WriteFile(app / "NPrintD", "");
  }
  TempDir app;
};

TEST_F(OldDaemonPrompt, YesAnswersGoOn)
{
  for (const char *answer : {"y\n", "yes\n", "  y  \n", "y"}) {
    ChildResult r = Ready(app.path(), answer);
    EXPECT_EQ(r.status, 11) << answer;
    EXPECT_EQ(r.out, std::string(DAEMON_NOTE) + PROMPT) << answer;
  }
}

TEST_F(OldDaemonPrompt, OtherWordsAndEmptyLinesAskAgain)
{
  ChildResult r = Ready(app.path(), "YES\n\nmaybe\nYe\ny\n");
  EXPECT_EQ(r.status, 11);
  EXPECT_EQ(Count(r.out, PROMPT), 5u) << r.out;
  // An overlong line is one answer, not several.
  r = Ready(app.path(), (std::string(600, 'x') + "y\ny\n").c_str());
  EXPECT_EQ(r.status, 11);
  EXPECT_EQ(Count(r.out, PROMPT), 2u) << r.out;
}

TEST_F(OldDaemonPrompt, NoEndsTheRunWithStatus0)
{
  ChildResult r = Ready(app.path(), "no\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Count(r.out, PROMPT), 1u);
}

TEST_F(OldDaemonPrompt, EndOfInputEndsTheRunInsteadOfAskingForever)
{
  ChildResult r = Ready(app.path(), nullptr);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Count(r.out, PROMPT), 1u);
  EXPECT_NE(r.err.find("end of input"), std::string::npos) << r.err;
  r = Ready(app.path(), "maybe\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Count(r.out, PROMPT), 2u);
}

TEST_F(OldDaemonPrompt, TheStopProgramAlsoCounts)
{
  std::remove((app / "NPrintD").c_str());
  WriteFile(app / "NPrintDStop", "");
  EXPECT_EQ(Ready(app.path(), "y\n").out, std::string(DAEMON_NOTE) + PROMPT);
}

// ---- in the sandbox -------------------------------------------------------------

// "n" removes the old daemon's run-level links and goes on.
int AnswerNScenario()
{
  StartInstaller();
  if (std::system("mkdir -p /etc/rc2.d /opt/app && touch /opt/app/NPrintD /etc/rc2.d/KNorvoPrintD "
                  "/etc/rc2.d/SNorvoPrintD /etc/rc2.d/S99other") != 0)
    return 99;
  pAppDir = SaveStr_("/opt/app");
  bool ready = readyForInstallation();
  bool linksGone = !Exists("/etc/rc2.d/KNorvoPrintD") && !Exists("/etc/rc2.d/SNorvoPrintD");
  return (ready ? 1 : 0) + (linksGone ? 2 : 0) + (Exists("/etc/rc2.d/S99other") ? 4 : 0);
}

std::string &ChecksAtExit()
{
  static std::string checks;
  return checks;
}

// Steps 6 to 10 of the run sequence, through the function main runs them with, on the distribution
// in /tmp/dist. NORVO_TEST_ARG: "<install base, or empty>|<shell commands
// run first>|<shell checks>"; the checks run when the process ends, however
// it ends, behind the line "== after ==".
int DriveScenario()
{
  std::string arg = ScenarioArg();
  size_t bar = arg.find('|');
  std::string base = arg.substr(0, bar);
  size_t bar2 = arg.find('|', bar + 1);
  if (bar == std::string::npos || bar2 == std::string::npos)
    return 98;
  std::string prep = arg.substr(bar + 1, bar2 - bar - 1);
  ChecksAtExit() = arg.substr(bar2 + 1);
  if (!prep.empty() && std::system(prep.c_str()) != 0)
    return 99;
  std::atexit([] {
    std::printf("\n== after ==\n");
    std::fflush(stdout);
    int rc = std::system(ChecksAtExit().c_str());
    (void)rc;
  });

  flUseLog = 1;
  static char name[] = "setup";
  my_name = name;
  pNorvoInstallDir = SaveStr("/tmp/%sInstall", szMakerDir);
  if (const char *work = std::getenv("NORVO_TEST_WORK")) {  // a work area relative to /tmp
    if (chdir("/tmp") != 0)
      return 97;
    pNorvoInstallDir = SaveStr_(work);
  }
  pPathToSetup = SaveStr_("/tmp/dist");
  InitSysCmdList();
  nlsSetupStrCvt(10);
  if (!base.empty())
    pCmdLineInstallDir = StripToBaseName(SaveStr_(base.c_str()));

  runInstallation();
  exit_app(0);
}

MEDIA_SCENARIOS({{"media-answer-n", AnswerNScenario}, {"media-drive", DriveScenario}});

TEST(OldDaemonPromptSandbox, NRemovesTheDaemonLinksAndGoesOn)
{
  SKIP_WITHOUT_SANDBOX();
  ChildResult r = RunScenarioInSandbox({}, "media-answer-n", "n\n");
  EXPECT_EQ(r.status, 7) << r.out << r.err;
}

// A distribution of examples/pkg made by scripts/mkdist.sh.
class Distribution : public ::testing::Test {
protected:
  void SetUp() override { SKIP_WITHOUT_SANDBOX(); }

  // Makes the distribution with mkdist options; false when that failed.
  bool Make(const std::vector<std::string> &options)
  {
    std::vector<std::string> argv = {"/bin/bash",      SourceDir() + "/scripts/mkdist.sh",
                                     "--setup",        BinaryDir() + "/setup",
                                     "--segment-size", "2K",
                                     "--force"};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.insert(argv.end(), {SourceDir() + "/examples", dist.path()});
    chmod(dist.path().c_str(), 0755);  // readable by the unprivileged user too
    ChildResult r = RunProgram(argv, nullptr);
    EXPECT_EQ(r.status, 0) << r.err;
    return r.status == 0;
  }

  ChildResult Drive(const std::string &base, const std::string &checks, const char *input = nullptr,
                    const std::vector<std::string> &prefix = {},
                    const std::vector<std::string> &extra = {}, const std::string &prep = "")
  {
    std::vector<std::string> options = {"--copy", dist.path() + ":/tmp/dist"};
    options.insert(options.end(), extra.begin(), extra.end());
    return RunScenarioInSandbox(options, "media-drive", input, base + "|" + prep + "|" + checks,
                                prefix);
  }

  static std::string After(const ChildResult &r)
  {
    size_t at = r.out.find("== after ==\n");
    return at == std::string::npos ? "" : r.out.substr(at + 12);
  }

  TempDir dist;
};

constexpr char FRESH_CHECKS[] =
    "test -d /opt/Norvo/npxx && echo app=yes; "
    "echo link=$(readlink /usr/Norvo/npxx); "
    "echo download=$(stat -c %a /var/spool/Norvo/npxx/__npa_download__); "
    "echo setuid=$(stat -c %a /opt/Norvo/npxx/nprnpxxtty); "
    "test -e /tmp/NorvoInstall || echo work=gone; "
    "echo calls=$(sed 's/.*args=//' /tmp/npqadmin.calls | tr '\\n' ' ')";

TEST_F(Distribution, FreshInstallationFromAMadeDistribution)
{
  ASSERT_TRUE(Make({}));
  ChildResult r = Drive("/opt", FRESH_CHECKS);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(
      After(r),
      "app=yes\nlink=/opt/Norvo/npxx\ndownload=777\nsetuid=4755\nwork=gone\ncalls=-upgrade -clean\n")
      << r.out << r.err;
}

TEST_F(Distribution, UpperCaseMediumInstallsAsWell)
{
  ASSERT_TRUE(Make({"--upper"}));
  ASSERT_TRUE(Exists(dist / "DISKS") && Exists(dist / "PKG_TAR.001") && !Exists(dist / "disks"));
  ChildResult r = Drive("/opt", FRESH_CHECKS);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(
      After(r),
      "app=yes\nlink=/opt/Norvo/npxx\ndownload=777\nsetuid=4755\nwork=gone\ncalls=-upgrade -clean\n")
      << r.out << r.err;
}

TEST_F(Distribution, SegmentsListedInReverseOrderMakeABrokenArchive)
{
  ASSERT_TRUE(Make({"--reverse"}));
  ChildResult r = Drive("/opt", "test -e /opt/Norvo && echo installed");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("ERROR: "), std::string::npos) << r.out;
  EXPECT_EQ(After(r), "");
}

TEST_F(Distribution, AListedFileMissingOnTheMediumEndsTheRunWithStatus1)
{
  ASSERT_TRUE(Make({"--omit", "pkg_tar.002"}));
  ChildResult r = Drive("/opt", "test -e /opt/Norvo && echo installed; ls /tmp/NorvoInstall");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("ERROR: "), std::string::npos) << r.out;
  EXPECT_EQ(After(r), "disks\nisize\npkg_tar.001\ntsize\n");
}

TEST_F(Distribution, AWordPkgTarWithoutDotIsCopiedButNotJoined)
{
  ASSERT_TRUE(Make({}));
  std::string list = ReadAll(dist / "disks");
  WriteFile(dist / "disks", "pkg_tar " + list);
  WriteFile(dist / "pkg_tar", "not part of the archive");
  ChildResult r =
      Drive("/opt",
            "test -d /opt/Norvo/npxx && echo app=yes; grep -c 'dist/pkg_tar /tmp' /tmp/setup.log");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(After(r), "app=yes\n1\n");
}

TEST_F(Distribution, NonRootRunInstallsNothingAndStillCleansUp)
{
  ASSERT_TRUE(Make({}));
  ChildResult r = Drive(
      "/opt",
      "test -e /opt/Norvo || echo nothing-installed; test -e /tmp/NorvoInstall || echo work=gone",
      nullptr, {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("nobody is logged in\nYou must become root to run setup\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(After(r), "nothing-installed\nwork=gone\n");
}

TEST_F(Distribution, UpgradeOverTheOldDaemonAskedAndAnswered)
{
  ASSERT_TRUE(Make({}));
  TempDir old;
  std::string app = old / "npxx";
  mkdir(app.c_str(), 0755);
  WriteFile(app + "/NPrintD", "old daemon");
  std::string checks =
      "test -f /usr/Norvo/npxx/npqadmin && echo upgraded; test -e /tmp/NorvoInstall && echo work=left";
  // An earlier installation at /usr that ran the old print daemon.
  std::vector<std::string> extra = {"--copy", app + ":/usr/Norvo/npxx"};

  ChildResult r = Drive("", checks, "y\n", {}, extra);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(Count(r.out, PROMPT), 1u);
  EXPECT_EQ(After(r), "upgraded\n") << r.out << r.err;

  r = Drive("", checks, "no\n", {}, extra);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(After(r), "work=left\n") << r.out << r.err;

  r = Drive("", checks, nullptr, {}, extra);
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("end of input"), std::string::npos) << r.err;
  EXPECT_EQ(After(r), "work=left\n") << r.out << r.err;
}

TEST_F(Distribution, UpgradeIntoANewBaseMovesTheEarlierInstallationFirst)
{
  ASSERT_TRUE(Make({}));
  TempDir old;
  std::string app = old / "npxx";
  mkdir(app.c_str(), 0755);
  WriteFile(app + "/settings", "kept");
  std::vector<std::string> extra = {"--copy", app + ":/usr/Norvo/npxx"};
  std::string checks = "echo link=$(readlink /usr/Norvo/npxx); cat /opt/Norvo/npxx/settings; echo; "
                       "test -f /opt/Norvo/npxx/npqadmin && echo upgraded";
  ChildResult r = Drive("/opt", checks, nullptr, {}, extra);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(After(r), "link=/opt/Norvo/npxx\nkept\nupgraded\n") << r.out << r.err;
}

TEST_F(Distribution, RunningProgramsOfTheEarlierInstallationStopTheUpgrade)
{
  ASSERT_TRUE(Make({}));
  TempDir old;
  std::string app = old / "npxx";
  mkdir(app.c_str(), 0755);
  std::vector<std::string> extra = {"--copy", app + ":/usr/Norvo/npxx"};
  std::string prep = "cp /bin/sleep /tmp/npqadmin && /tmp/npqadmin 60 >/dev/null 2>&1 &";
  std::string checks =
      "test -L /usr/Norvo/npxx || echo not-moved; test -e /tmp/NorvoInstall || echo nothing-copied";
  // Quitting at the menu, and no answer at all, end the run with status 0.
  for (const char *input : {"2\n", static_cast<const char *>(nullptr)}) {
    ChildResult r = Drive("/opt", checks, input, {}, extra, prep);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("npqadmin ( "), std::string::npos) << r.out;
    EXPECT_EQ(After(r), "not-moved\nnothing-copied\n") << r.out << r.err;
  }
}

TEST_F(Distribution, RelativeWorkAreaWorksFromEveryDirectoryTheRunVisits)
{
  ASSERT_TRUE(Make({}));
  ChildResult r = Drive(
      "/opt",
      "test -f /opt/Norvo/npxx/npqadmin && echo installed; test -e /tmp/scratch/NorvoInstall || echo work=gone",
      nullptr, {"/usr/bin/env", "NORVO_TEST_WORK=scratch/NorvoInstall"}, {}, "mkdir /tmp/scratch");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(After(r), "installed\nwork=gone\n") << r.out << r.err;
}

}  // namespace
