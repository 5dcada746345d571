// Running table commands: composed command lines, modes, index forms, the
// log, failures, start-up delays, and captured output.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "common/ChildProcess.h"
#include "common/TempDir.h"
#include "syscmd/SysCmd.h"

namespace {

using testcommon::ReadAll;

void WriteText(const std::string &path, const std::string &text, mode_t mode = 0644)
{
  testcommon::WriteFile(path, text);
  chmod(path.c_str(), mode);
}

bool EndsWith(const std::string &text, const std::string &end)
{
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool Exists(const std::string &path)
{
  return access(path.c_str(), F_OK) == 0;
}

std::vector<std::string> Texts(ResponseNode *list)
{
  std::vector<std::string> out;
  for (; list; list = list->next)
    out.push_back(list->text);
  return out;
}

// A real run of the command layer: logging on, the table filled from the
// host, a private log file and a private temporary directory.
class Exec : public testing::Test {
protected:
  TempDir tmp;
  std::string dir;
  std::string log;
  std::string logHead = "initializing system\n";

  void SetUp() override
  {
    my_name = SaveStr("test_syscmd_%d", static_cast<int>(getpid()));
    log = std::string("/tmp/") + my_name + ".log";
    ASSERT_FALSE(tmp.path().empty());
    dir = tmp.path();
    flUseLog = 1;
    for (int i = 0; i < COMLIST_SIZE; i++)
      ComList[i].path = nullptr;  // as at program start
    FullSearchPath = nullptr;
    InitSysCmdList();
    ASSERT_EQ(ReadAll(log), logHead);
  }
  void TearDown() override { unlink(log.c_str()); }

  // The part of the log written after InitSysCmdList.
  std::string LogTail() { return ReadAll(log).substr(logHead.size()); }

  // "<sh> -c \"<path>/<name> <flags> " as SysCmd starts every table command.
  std::string Head(int index)
  {
    return std::string(ComList[31].path) + "/sh -c \"" + ComList[index].path + "/" +
           ComList[index].name + " " + ComList[index].flags + " ";
  }

  // Replaces the located sh by a recorder that writes the argument of -c
  // (the command line as the shell receives it) to dir/argv, then runs it.
  std::string RecordShell()
  {
    std::string fake = dir + "/fakesh";
    mkdir(fake.c_str(), 0755);
    WriteText(fake + "/sh",
              "#!/bin/sh\nprintf '%s' \"$2\" > " + dir + "/argv\nexec /bin/sh \"$@\"\n", 0755);
    ComList[31].path = SaveStr_(fake.c_str());
    return dir + "/argv";
  }
};

}  // namespace

TEST_F(Exec, ModeOneComposesLogsAndShowsADot)
{
  std::string argv = RecordShell();
  WriteText(dir + "/src", "payload\n");
  testing::internal::CaptureStdout();
  int rc = SysCmd(9, 1, "%s/%s %s", dir.c_str(), "src", (dir + "/dst").c_str());
  std::string out = testing::internal::GetCapturedStdout();

  EXPECT_EQ(rc, 0);
  EXPECT_EQ(out, ".");
  EXPECT_EQ(ReadAll(dir + "/dst"), "payload\n");
  std::string cmd = std::string(ComList[9].path) + "/cp -p " + dir + "/src " + dir + "/dst";
  EXPECT_EQ(ReadAll(argv), cmd + " 1>>/tmp/" + my_name + ".log 2>>/tmp/" + my_name + ".log");
  EXPECT_EQ(LogTail(), Head(9) + dir + "/src " + dir + "/dst\n");
}

TEST_F(Exec, ModeOneAppendsTheCommandsOutputToTheLog)
{
  testing::internal::CaptureStdout();
  EXPECT_EQ(SysCmd(13, 1, "hello %s", "log"), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), ".");
  EXPECT_EQ(LogTail(), Head(13) + "hello log\nhello log\n");
}

TEST_F(Exec, ModeZeroIsSilentAndIgnoresFailure)
{
  std::string argv = RecordShell();
  testing::internal::CaptureStdout();
  EXPECT_EQ(SysCmd(13, 0, "quiet"), 0);
  EXPECT_EQ(ReadAll(argv), std::string(ComList[13].path) + "/echo  quiet 1>/dev/null 2>/dev/null");
  EXPECT_EQ(SysCmd(23, 0, "%s/missing", dir.c_str()), 2);  // ls: exit status 2
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(LogTail(), "");
}

TEST_F(Exec, OtherModesLeaveOutputAlone)
{
  testing::internal::CaptureStdout();
  EXPECT_EQ(SysCmd(13, 3, "visible"), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "visible\n");
  EXPECT_EQ(SysCmd(23, 7, "%s/missing 2>/dev/null", dir.c_str()), 2);
  EXPECT_EQ(LogTail(), "");
}

TEST_F(Exec, ModeOneFailureIsLoggedAsWarningAndReturned)
{
  testing::internal::CaptureStdout();
  int rc = SysCmd(23, 1, "%s/missing", dir.c_str());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), ".");
  EXPECT_EQ(rc, 2);
  std::string tail = LogTail();
  EXPECT_EQ(tail.rfind(Head(23) + dir + "/missing\n", 0), 0u) << tail;
  EXPECT_NE(tail.find("No such file"), std::string::npos) << tail;  // ls's own complaint
  EXPECT_TRUE(EndsWith(tail, "\nWARNING_MSG: command failed with exit status 2\n")) << tail;
}

TEST_F(Exec, ModeOneNamesTheSignalThatKilledTheCommand)
{
  int rc = SysCmd(1, 1, "kill -TERM $$");
  EXPECT_EQ(rc, 128 + SIGTERM);
  std::string tail = LogTail();
  EXPECT_EQ(tail.rfind("kill -TERM $$\n", 0), 0u) << tail;
  EXPECT_NE(tail.find("WARNING_MSG: command killed by signal 15 ("), std::string::npos) << tail;
}

TEST_F(Exec, ModeTwoFailureEndsTheProgramWithStatusOne)
{
  std::string out = dir + "/stdout";
  EXPECT_EXIT(
      {
        int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 1);
        SysCmd(23, 2, "%s/missing", dir.c_str());
        exit(0);
      },
      testing::ExitedWithCode(1), "");
  EXPECT_EQ(ReadAll(out), ".ERROR: command failed with exit status 2\n");
  std::string tail = LogTail();
  EXPECT_NE(tail.find(Head(23) + dir + "/missing\n"), std::string::npos) << tail;
  EXPECT_TRUE(EndsWith(tail, "\nERROR: command failed with exit status 2\n")) << tail;
}

TEST_F(Exec, ModeTwoSuccessReturnsZero)
{
  testing::internal::CaptureStdout();
  EXPECT_EQ(SysCmd(35, 2, "%s/made", dir.c_str()), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), ".");
  EXPECT_TRUE(Exists(dir + "/made"));
}

TEST_F(Exec, NegativeIndexIsQuietButKeepsTheFailurePolicy)
{
  std::string argv = RecordShell();
  WriteText(dir + "/seg1", "one\n");
  WriteText(dir + "/seg2", "two\n");
  testing::internal::CaptureStdout();
  EXPECT_EQ(SysCmd(-3, 2, "%s/%s >> %s/%s.tar.Z", dir.c_str(), "seg1", dir.c_str(), "arch"), 0);
  EXPECT_EQ(SysCmd(-3, 2, "%s/%s >> %s/%s.tar.Z", dir.c_str(), "seg2", dir.c_str(), "arch"), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(ReadAll(dir + "/arch.tar.Z"), "one\ntwo\n");
  EXPECT_EQ(ReadAll(argv),
            std::string(ComList[3].path) + "/cat  " + dir + "/seg2 >> " + dir + "/arch.tar.Z");
  EXPECT_EQ(LogTail(), "");

  EXPECT_EXIT(SysCmd(-3, 2, "%s/nothing >> %s/arch.tar.Z 2>/dev/null", dir.c_str(), dir.c_str()),
              testing::ExitedWithCode(1), "");
  EXPECT_EQ(LogTail(), "ERROR: command failed with exit status 1\n");
}

TEST_F(Exec, IndexZeroAndOneRunTheCallersLine)
{
  testing::internal::CaptureStdout();
  EXPECT_EQ(SysCmd(0, 1, "echo zero > %s/zero", dir.c_str()), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(ReadAll(dir + "/zero"), "zero\n");
  EXPECT_EQ(LogTail(), "");

  testing::internal::CaptureStdout();
  EXPECT_EQ(SysCmd(1, 1, "echo one"), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), ".");
  EXPECT_EQ(LogTail(), "echo one\none\n");

  EXPECT_EQ(SysCmd(-1, 1, "echo minus > %s/minus", dir.c_str()), 0);
  EXPECT_EQ(ReadAll(dir + "/minus"), "minus\n");
  EXPECT_EQ(LogTail(), "echo one\none\n");
}

TEST_F(Exec, WithoutLoggingModeOneDiscardsOutputAndShowsNoDot)
{
  flUseLog = 0;
  flSysCmdLog = 0;
  std::string argv = RecordShell();
  testing::internal::CaptureStdout();
  EXPECT_EQ(SysCmd(13, 1, "gone"), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(ReadAll(argv), std::string(ComList[13].path) + "/echo  gone 1>>/dev/null 2>>/dev/null");
  EXPECT_EQ(LogTail(), "");
}

TEST_F(Exec, UnlocatedCommandEndsWithStatusOne)
{
  ComList[71].path = nullptr;  // mkque
  EXPECT_EXIT(SysCmd(71, 1, "x"), testing::ExitedWithCode(1),
              "ERROR: unable to locate system command 'mkque'\n");
  EXPECT_EXIT(SysCmd(-71, 0, "x"), testing::ExitedWithCode(1), "'mkque'");
  EXPECT_EXIT(GetCmdResponse(71, nullptr, "x"), testing::ExitedWithCode(1), "'mkque'");
  EXPECT_EXIT(GetCmdResponseStr(71, nullptr, "x"), testing::ExitedWithCode(1), "'mkque'");
}

TEST_F(Exec, LazyLookupFindsCommandsBeforeTheBulkFill)
{
  for (int i = 0; i < COMLIST_SIZE; i++)
    ComList[i].path = nullptr;
  flInitSysCmd = 1;
  EXPECT_EQ(SysCmd(35, 0, "%s/lazy", dir.c_str()), 0);
  EXPECT_TRUE(Exists(dir + "/lazy"));
  EXPECT_NE(ComList[35].path, nullptr);
  EXPECT_NE(ComList[31].path, nullptr);
}

TEST_F(Exec, OverlongCommandLineNeverRuns)
{
  std::string argv = RecordShell();
  std::string marker = dir + "/ran";
  // Quiet mode adds " 1>/dev/null 2>/dev/null" and the closing quote.
  size_t room = 4095 - Head(35).size() - 24 - 1;
  std::string fits = dir + std::string(room - marker.size() + 1, '/') + "ran";
  EXPECT_EQ(fits.size(), room);
  EXPECT_EQ(SysCmd(35, 0, "%s", fits.c_str()), 0);
  EXPECT_TRUE(Exists(marker));
  // All of it reached the shell: 4095 bytes less sh's part and the quotes.
  EXPECT_EQ(ReadAll(argv).size(), 4095 - (Head(35).find('"') + 1) - 1);
  unlink(marker.c_str());
  unlink(argv.c_str());

  std::string tooLong = "/" + fits;
  EXPECT_EXIT(SysCmd(35, 0, "%s", tooLong.c_str()), testing::ExitedWithCode(1),
              "ERROR: command line longer than 4095 bytes, not run");
  EXPECT_FALSE(Exists(marker));
  EXPECT_FALSE(Exists(argv));

  // The log redirection counts too: nothing is shown or logged first.
  std::string out = dir + "/stdout";
  EXPECT_EXIT(
      {
        int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 1);
        SysCmd(35, 1, "%s", fits.c_str());
      },
      testing::ExitedWithCode(1), "not run");
  EXPECT_EQ(ReadAll(out), "");
  EXPECT_EQ(LogTail(), "");
  EXPECT_FALSE(Exists(marker));

  std::string huge(5000, 'x');
  EXPECT_EXIT(GetCmdResponse(13, nullptr, "%s", huge.c_str()), testing::ExitedWithCode(1),
              "not run");
  EXPECT_EXIT(GetCmdResponseStr(1, nullptr, "%s", huge.c_str()), testing::ExitedWithCode(1),
              "not run");
}

TEST_F(Exec, PositiveDelaySleepsAfterTheCommand)
{
  WriteText(dir + "/accept", "#!/bin/sh\nexit 0\n", 0755);  // entry 47, delay 1
  ComList[47].path = SaveStr_(dir.c_str());
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(SysCmd(47, 0, "queue"), 0);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(950));
}

TEST_F(Exec, ProcessDelayWaitsForTheNamedProcess)
{
  // A process whose name is unique to this test, found by the ps table query.
  std::string name = "nvw" + std::to_string(getpid() % 100000);
  std::string prog = dir + "/" + name;
  std::filesystem::copy_file("/bin/sleep", prog);
  chmod(prog.c_str(), 0755);
  pid_t child = fork();
  if (child == 0) {
    execl(prog.c_str(), name.c_str(), "30", static_cast<char *>(nullptr));
    _exit(127);
  }
  char *ids = nullptr;
  for (int i = 0; i < 50 && !ids; i++) {
    ids = GetSysPsIdList(name.c_str());
    if (!ids)
      usleep(20000);
  }
  ASSERT_NE(ids, nullptr);
  EXPECT_EQ(std::string(ids), " " + std::to_string(child) + " ");
  PutMem(ids);
  EXPECT_EQ(GetSysPsIdList(name.substr(0, name.size() - 1).c_str()), nullptr);

  // A table command with delay -1 returns as soon as its process is there.
  const char *savedName = ComList[32].name;
  ComList[32].name = SaveStr_(name.c_str());
  ComList[32].path = SaveStr_(dir.c_str());
  ComList[32].delay = -1;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(SysCmd(32, 0, "0"), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(LogTail(), "");
  ComList[32].name = savedName;
  ComList[32].delay = 0;

  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
}

TEST_F(Exec, CaptureKeepsLinesInOrderWithAndWithoutPattern)
{
  ResponseNode *all = GetCmdResponse(1, nullptr, "printf 'one\\ntwo\\nthree'");
  EXPECT_EQ(Texts(all), (std::vector<std::string>{"one\n", "two\n", "three"}));
  ASSERT_NE(all, nullptr);
  EXPECT_EQ(all->text, reinterpret_cast<char *>(all + 1));  // one block per line
  EXPECT_EQ(FreeResponseList(all), nullptr);

  ResponseNode *some = GetCmdResponse(1, "t", "printf 'one\\ntwo\\nthree'");
  EXPECT_EQ(Texts(some), (std::vector<std::string>{"two\n", "three"}));
  FreeResponseList(some);

  ResponseNode *empty = GetCmdResponse(1, "", "printf 'a\\nb\\n'");
  EXPECT_EQ(Texts(empty), (std::vector<std::string>{"a\n", "b\n"}));
  FreeResponseList(empty);

  EXPECT_EQ(GetCmdResponse(1, "zzz", "printf 'a\\nb\\n'"), nullptr);
  EXPECT_EQ(GetCmdResponse(0, nullptr, "true"), nullptr);

  char *str = GetCmdResponseStr(1, nullptr, "printf 'one\\ntwo\\nthree'");
  EXPECT_STREQ(str, "one\ntwo\nthree\n");
  PutMem(str);
  str = GetCmdResponseStr(1, "o", "printf 'one\\ntwo\\nthree'");
  EXPECT_STREQ(str, "one\ntwo\n");
  PutMem(str);
  EXPECT_EQ(GetCmdResponseStr(1, "zzz", "printf 'a\\n'"), nullptr);
  EXPECT_EQ(LogTail(), "");
}

TEST_F(Exec, CaptureOfTableCommandMatchesExactCase)
{
  WriteText(dir + "/df.txt", "Filesystem Avail\n/dev/a avail 12\nAVAIL\nunavailable\n");
  ResponseNode *lines = GetCmdResponse(3, "avail", "%s/df.txt", dir.c_str());
  EXPECT_EQ(Texts(lines), (std::vector<std::string>{"/dev/a avail 12\n", "unavailable\n"}));
  FreeResponseList(lines);
}

TEST_F(Exec, CaptureSplitsOverlongLinesWithoutLosingText)
{
  std::string big(5000, 'q');
  WriteText(dir + "/big", big + "\nend\n");
  ResponseNode *lines = GetCmdResponse(3, nullptr, "%s/big", dir.c_str());
  std::vector<std::string> texts = Texts(lines);
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[0].size(), 4095u);
  EXPECT_EQ(texts[0] + texts[1], big + "\n");
  EXPECT_EQ(texts[2], "end\n");
  FreeResponseList(lines);
}

TEST_F(Exec, CapturedStringKeepsLongLinesWhole)
{
  std::string big(9000, 'q');
  WriteText(dir + "/big", "a\n" + big + "\n" + big + "tail");
  char *str = GetCmdResponseStr(3, nullptr, "%s/big", dir.c_str());
  ASSERT_NE(str, nullptr);
  EXPECT_EQ(std::string(str), "a\n" + big + "\n" + big + "tail\n");
  PutMem(str);
  // The pattern is looked for in the whole line, past the first 4095 characters too.
  str = GetCmdResponseStr(3, "tail", "%s/big", dir.c_str());
  ASSERT_NE(str, nullptr);
  EXPECT_EQ(std::string(str), big + "tail\n");
  PutMem(str);
}
