// Earlier installations in the sandbox: finding one through /usr/Norvo/npxx
// (real directory, absolute, relative and dangling links) and moving it to a
// new installation base.
#include <gtest/gtest.h>

#include "installer/setup.h"
#include "installer/test_media_util.h"
#include "syscmd/SysCmd.h"

using namespace mediatest;

namespace {

void StartInstaller()
{
  setenv("LANG", "C", 1);
  flUseLog = 0;
  static char name[] = "test_previous";
  my_name = name;
  InitSysCmdList();
}

// Splits NORVO_TEST_ARG at '|' into at most n fields; the last one keeps
// the rest.
std::vector<std::string> Fields(size_t n)
{
  std::string arg = ScenarioArg();
  std::vector<std::string> f;
  for (size_t pos = 0;;) {
    size_t bar = f.size() + 1 == n ? std::string::npos : arg.find('|', pos);
    f.push_back(arg.substr(pos, bar == std::string::npos ? bar : bar - pos));
    if (bar == std::string::npos)
      return f;
    pos = bar + 1;
  }
}

// NORVO_TEST_ARG: shell commands that prepare the host. Prints the base found.
int LocateScenario()
{
  StartInstaller();
  if (std::system(ScenarioArg().c_str()) != 0)
    return 99;
  char *base = locatePreviousInstallation();
  std::printf("%s", base ? base : "<null>");
  return 0;
}

std::string &ChecksAtExit()
{
  static std::string checks;
  return checks;
}

// NORVO_TEST_ARG: "<from base>|<to base>|<preparation>|<checks>"; the checks
// run at exit, however the process ends, behind "== after ==".
int MoveScenario()
{
  std::vector<std::string> f = Fields(4);
  if (f.size() != 4)
    return 98;
  ChecksAtExit() = f[3];
  StartInstaller();
  if (std::system(f[2].c_str()) != 0)
    return 99;
  std::atexit([] {
    std::printf("\n== after ==\n");
    std::fflush(stdout);
    int rc = std::system(ChecksAtExit().c_str());
    (void)rc;
  });
  moveInstallation(f[0].c_str(), f[1].c_str());
  std::exit(0);
}

// A move from /usr to /opt (two file systems: mv copies, then removes) cut
// off while it removes the old tree, then the run again: no file of the
// complete copy may be lost. Prints what is left behind "== after ==".
int InterruptedMoveScenario()
{
  StartInstaller();
  flUseLog = 1;
  // An mv that copies the whole tree, removes part of the source and dies.
  if (std::system("mkdir -p /usr/Norvo/npxx/sub && cd /usr/Norvo/npxx && "
                  "echo 1 >a && echo 2 >b && echo 3 >sub/c && echo kept >printers.conf && "
                  "mv /usr/bin/mv /usr/bin/mv.real && "
                  "printf '#!/bin/sh\\ncp -a /usr/Norvo/npxx /opt/Norvo/ && "
                  "rm -rf /usr/Norvo/npxx/printers.conf /usr/Norvo/npxx/sub && kill -9 $$\\n' "
                  ">/usr/bin/mv && chmod 755 /usr/bin/mv") != 0)
    return 99;
  ChildResult cut = RunChild(
      [] {
        moveInstallation("/usr", "/opt");
        return 0;
      },
      nullptr);
  if (cut.status != 1 || std::system("mv.real -f /usr/bin/mv.real /usr/bin/mv") != 0)
    return 98;

  // The re-run finds the remains through the well-known location.
  char *base = locatePreviousInstallation();
  if (!base || std::strcmp(base, "/usr") != 0)
    return 97;
  moveInstallation(base, "/opt");
  std::printf("== after ==\n");
  std::fflush(stdout);
  return std::system("cd /opt/Norvo && find . | LC_ALL=C sort && readlink /usr/Norvo/npxx && "
                     "grep -c 'npxx was there already; it is kept as /opt/Norvo/npxx.old-1' "
                     "/tmp/test_previous.log");
}

MEDIA_SCENARIOS({{"previous-locate", LocateScenario},
                 {"previous-move", MoveScenario},
                 {"previous-interrupted-move", InterruptedMoveScenario}});

class Previous : public ::testing::Test {
protected:
  void SetUp() override { SKIP_WITHOUT_SANDBOX(); }

  static std::string Locate(const std::string &prep)
  {
    ChildResult r = RunScenarioInSandbox({}, "previous-locate", nullptr, prep);
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
  }

  static ChildResult Move(const std::string &from, const std::string &to, const std::string &prep,
                          const std::string &checks)
  {
    return RunScenarioInSandbox({}, "previous-move", nullptr,
                                from + "|" + to + "|" + prep + "|" + checks);
  }

  static std::string After(const ChildResult &r)
  {
    size_t at = r.out.find("== after ==\n");
    return at == std::string::npos ? "<no checks>" : r.out.substr(at + 12);
  }
};

TEST_F(Previous, FoundThroughTheWellKnownLocation)
{
  EXPECT_EQ(Locate("rm -rf /usr/Norvo"), "<null>");
  EXPECT_EQ(Locate("mkdir -p /usr/Norvo/npxx"), "/usr");
  EXPECT_EQ(Locate("mkdir -p /usr/Norvo /opt/Norvo/npxx && ln -s /opt/Norvo/npxx /usr/Norvo/npxx"),
            "/opt");
  EXPECT_EQ(Locate("mkdir -p /usr/Norvo && ln -s /opt/Norvo/npxx/ /usr/Norvo/npxx"), "/opt");
  EXPECT_EQ(Locate("mkdir -p /usr/Norvo && ln -s ../../opt/Norvo/npxx /usr/Norvo/npxx"),
            "/usr/../../opt");
  // A dangling link still names the earlier installation.
  EXPECT_EQ(Locate("mkdir -p /usr/Norvo && ln -s /data/Norvo/npxx /usr/Norvo/npxx"), "/data");
  // Something else than a directory there counts like a directory.
  EXPECT_EQ(Locate("mkdir -p /usr/Norvo && touch /usr/Norvo/npxx"), "/usr");
}

constexpr char STATE[] = "for p in /usr/Norvo/npxx /opt/Norvo/npxx; do "
                         "  if [ -L $p ]; then echo \"$p -> $(readlink $p)\"; "
                         "  elif [ -d $p ]; then echo \"$p dir: $(ls $p | tr '\\n' ' ')\"; "
                         "  else echo \"$p none\"; fi; "
                         "done; echo \"/opt/Norvo mode $(stat -c %a /opt/Norvo 2>/dev/null)\"";

TEST_F(Previous, MoveFromUsrLeavesALinkBehind)
{
  ChildResult r =
      Move("/usr", "/opt", "mkdir -p /usr/Norvo/npxx && touch /usr/Norvo/npxx/npqadmin", STATE);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(
      After(r),
      "/usr/Norvo/npxx -> /opt/Norvo/npxx\n/opt/Norvo/npxx dir: npqadmin \n/opt/Norvo mode 755\n");
}

TEST_F(Previous, MoveToUsrReplacesTheLinkWithTheDirectory)
{
  ChildResult r = Move("/opt", "/usr",
                       "mkdir -p /opt/Norvo/npxx /usr/Norvo && touch /opt/Norvo/npxx/npqadmin && "
                       "ln -s /opt/Norvo/npxx /usr/Norvo/npxx",
                       STATE);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(After(r),
            "/usr/Norvo/npxx dir: npqadmin \n/opt/Norvo/npxx none\n/opt/Norvo mode 755\n");
}

TEST_F(Previous, AnOldDestinationIsReplaced)
{
  ChildResult r = Move(
      "/usr", "/opt",
      "mkdir -p /usr/Norvo/npxx /opt/Norvo/npxx && touch /usr/Norvo/npxx/new /opt/Norvo/npxx/stale",
      STATE);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(After(r),
            "/usr/Norvo/npxx -> /opt/Norvo/npxx\n/opt/Norvo/npxx dir: new \n/opt/Norvo mode 755\n");
}

TEST_F(Previous, TwoSpellingsOfOneDirectoryMoveNothing)
{
  // A relative link gives the base /usr/../../opt; "install /opt" names the
  // same directory, which must not be removed as the "old destination".
  ChildResult r = Move("/usr/../../opt", "/opt",
                       "mkdir -p /opt/Norvo/npxx /usr/Norvo && touch /opt/Norvo/npxx/npqadmin && "
                       "ln -s ../../opt/Norvo/npxx /usr/Norvo/npxx && chmod 750 /opt/Norvo",
                       STATE);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(
      After(r),
      "/usr/Norvo/npxx -> ../../opt/Norvo/npxx\n/opt/Norvo/npxx dir: npqadmin \n/opt/Norvo mode 750\n");
}

TEST_F(Previous, AFailedMoveEndsTheRunWithStatus1)
{
  // The link dangles: there is nothing to move.
  ChildResult r =
      Move("/data", "/opt", "mkdir -p /usr/Norvo && ln -s /data/Norvo/npxx /usr/Norvo/npxx", STATE);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("ERROR: "), std::string::npos) << r.out;
  EXPECT_EQ(After(r),
            "/usr/Norvo/npxx -> /data/Norvo/npxx\n/opt/Norvo/npxx none\n/opt/Norvo mode 755\n");
}

TEST_F(Previous, AnInterruptedMoveNeverLosesTheCompleteCopy)
{
  ChildResult r = RunScenarioInSandbox({}, "previous-interrupted-move", nullptr);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(After(r), ".\n./npxx\n./npxx.old-1\n./npxx.old-1/a\n./npxx.old-1/b\n"
                      "./npxx.old-1/printers.conf\n./npxx.old-1/sub\n./npxx.old-1/sub/c\n"
                      "./npxx/a\n./npxx/b\n/opt/Norvo/npxx\n1\n")
      << r.out << r.err;
}

}  // namespace
