// The running-process guard with real processes: copies of sleep run under
// watched names while the guard reads its selections from a prepared
// standard input; the waits are real.
#include <gtest/gtest.h>

#include <chrono>

#include "installer/setup.h"
#include "installer/test_media_util.h"
#include "syscmd/SysCmd.h"

using namespace mediatest;

namespace {

constexpr char MENU[] = "Would you like to:\n"
                        "1.  Wait 30 seconds for these processes to terminate\n"
                        "2.  Quit the installation\n"
                        "\nEnter a selection:  ";
constexpr char HEADING[] =
    "\nThe following processes are running.\nThe installer can not continue until these terminate:\n";

// The guard in a child: status 11 when the user quit, 10 when nothing runs.
ChildResult Guard(const std::string &names, const char *input)
{
  return RunChild(
      [&] {
        setenv("LANG", "C", 1);
        flUseLog = 0;
        static char name[] = "test_procguard";
        my_name = name;
        InitSysCmdList();
        return QuitForRunningProcesses(names.c_str()) ? 11 : 10;
      },
      input);
}

size_t Count(const std::string &text, const std::string &what)
{
  size_t n = 0;
  for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1))
    ++n;
  return n;
}

class ProcGuard : public ::testing::Test {
protected:
  TempDir dir;
  std::string name = UniqueName("npg");
  std::string names = ",npadmin," + name + ",nsf,";
};

TEST_F(ProcGuard, NothingRunningSaysNothing)
{
  ChildResult r = Guard(names, "2\n");
  EXPECT_EQ(r.status, 10);
  EXPECT_EQ(r.out, "");
}

TEST_F(ProcGuard, ChoosingTwoQuitsAfterOneMenu)
{
  WatchedProcess p(dir, name, 60);
  ChildResult r = Guard(names, "2\n");
  EXPECT_EQ(r.status, 11);
  EXPECT_EQ(r.out, std::string(HEADING) + name + " ( " + std::to_string(p.pid()) + " )\n\n" + MENU);
}

TEST_F(ProcGuard, AnyOtherAnswerShowsTheMenuAgain)
{
  WatchedProcess p(dir, name, 60);
  ChildResult r = Guard(names, "x\n\n2\n");
  EXPECT_EQ(r.status, 11);
  EXPECT_EQ(Count(r.out, MENU), 3u) << r.out;
}

TEST_F(ProcGuard, EndOfInputQuitsInsteadOfAskingForever)
{
  WatchedProcess p(dir, name, 60);
  ChildResult r = Guard(names, nullptr);
  EXPECT_EQ(r.status, 11);
  EXPECT_EQ(Count(r.out, MENU), 1u) << r.out;
  EXPECT_NE(r.err.find("end of input"), std::string::npos) << r.err;
  // A last answer without a line end is still taken.
  r = Guard(names, "x\n");
  EXPECT_EQ(r.status, 11);
  EXPECT_EQ(Count(r.out, MENU), 2u) << r.out;
}

TEST_F(ProcGuard, WaitingEndsAtTheFirstCheckThatFindsNothing)
{
  WatchedProcess p(dir, name, 12);
  auto start = std::chrono::steady_clock::now();
  ChildResult r = Guard(names, "1\n");
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(r.status, 10);
  EXPECT_EQ(Count(r.out, MENU), 1u) << r.out;
  EXPECT_GE(seconds, 14.5);  // the third check, 15 seconds after the choice
  EXPECT_LT(seconds, 20);
}

TEST_F(ProcGuard, AfterThirtySecondsOfWaitingTheMenuComesBack)
{
  WatchedProcess p(dir, name, 33);
  auto start = std::chrono::steady_clock::now();
  ChildResult r = Guard(names, "1\n1\n");
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(r.status, 10);
  EXPECT_EQ(Count(r.out, HEADING), 2u) << r.out;
  EXPECT_EQ(Count(r.out, MENU), 2u) << r.out;
  EXPECT_GE(seconds, 34.5);
  EXPECT_LT(seconds, 40);
}

}  // namespace
