// The run's log, text files, and the host services that run table commands.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/ChildProcess.h"
#include "common/TempDir.h"
#include "syscmd/SysCmd.h"
#include "utils/utils.h"

namespace {

using testcommon::ReadAll;

bool Exists(const std::string &path)
{
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// Runs body in a forked child (a new run of the program as far as the log is
// concerned, provided this process has not logged yet); its exit status.
template <typename Body>
int InChild(Body body)
{
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    body();
    fflush(nullptr);
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class HostFiles : public testing::Test {
protected:
  TempDir tmp;
  std::string dir;
  std::string log;

  void SetUp() override
  {
    my_name = SaveStr("test_hostfiles_%d", static_cast<int>(getpid()));
    log = std::string("/tmp/") + my_name + ".log";
    flUseLog = 0;
    ASSERT_FALSE(tmp.path().empty());
    dir = tmp.path();
  }
  void TearDown() override { std::filesystem::remove_all(log); }
  std::string Write(const std::string &name, const std::string &text)
  {
    std::string path = dir + "/" + name;
    testcommon::WriteFile(path, text);
    return path;
  }
};

// Services that change the host: the table is filled and every command
// logged; the log starts with the command layer's first line.
class HostServices : public HostFiles {
protected:
  std::string head = "initializing system\n";
  void SetUp() override
  {
    HostFiles::SetUp();
    flUseLog = 1;
    for (int i = 0; i < COMLIST_SIZE; i++)
      ComList[i].path = nullptr;  // as at program start
    FullSearchPath = nullptr;
    InitSysCmdList();
    ASSERT_EQ(ReadAll(log), head);
  }
  std::string LogTail() { return ReadAll(log).substr(head.size()); }
  std::string Cmd(int index)
  {
    return std::string(ComList[31].path) + "/sh -c \"" + ComList[index].path + "/" +
           ComList[index].name + " " + ComList[index].flags + " ";
  }
};

}  // namespace

// ---- The log ------------------------------------------------------------------

TEST_F(HostFiles, NoLoggingLeavesNoFile)
{
  PutLogMsg("nothing %d\n", 1);
  EXPECT_FALSE(Exists(log));
}

TEST_F(HostFiles, FirstMessageOfARunTruncatesLaterOnesAppend)
{
  flUseLog = 1;
  EXPECT_EQ(InChild([] {
              PutLogMsg("first %s %d\n", "run", 1);
              PutLogMsg("%s", "no newline;");
              PutLogMsg("more\n");
            }),
            0);
  EXPECT_EQ(ReadAll(log), "first run 1\nno newline;more\n");
  struct stat st;
  ASSERT_EQ(stat(log.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0666u);  // every user's run may write it

  EXPECT_EQ(InChild([] { PutLogMsg("second run\n"); }), 0);
  EXPECT_EQ(ReadAll(log), "second run\n");
}

// A link planted at the log's name (any user can make one in /tmp) is
// replaced by the run's own file: neither the file it names nor the place a
// dangling one points to is written.
TEST_F(HostFiles, FirstMessageReplacesALinkPlantedAtTheLog)
{
  flUseLog = 1;
  std::string sentinel = Write("sentinel", "keep\n"), nowhere = dir + "/nowhere";
  for (const std::string &target : {sentinel, nowhere}) {
    std::filesystem::remove(log);
    ASSERT_EQ(symlink(target.c_str(), log.c_str()), 0);
    EXPECT_EQ(InChild([] {
                PutLogMsg("first\n");
                PutLogMsg("second\n");
              }),
              0);
    struct stat st;
    ASSERT_EQ(lstat(log.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode)) << target;
    EXPECT_EQ(ReadAll(log), "first\nsecond\n");
  }
  EXPECT_EQ(ReadAll(sentinel), "keep\n");
  EXPECT_FALSE(Exists(nowhere));

  // A link that takes the place of the log within a run is not followed.
  EXPECT_EQ(InChild([&] {
              PutLogMsg("own\n");
              unlink(log.c_str());
              symlink(sentinel.c_str(), log.c_str());
              PutLogMsg("through the link\n");
            }),
            0);
  EXPECT_EQ(ReadAll(sentinel), "keep\n");
}

TEST_F(HostFiles, UnwritableLogIsReportedAndTheRunGoesOn)
{
  flUseLog = 1;
  ASSERT_EQ(mkdir(log.c_str(), 0755), 0);  // a directory cannot be opened as the log
  testing::internal::CaptureStderr();
  PutLogMsg("lost\n");
  PutLogMsg("lost again\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: couldn't open " + log + "\nERROR: couldn't open " + log + "\n");
}

// ---- Text files and SysCmdP ---------------------------------------------------

TEST_F(HostFiles, CreateTextFileWritesAndSetsPermissions)
{
  std::string path = dir + "/.np_cfg";
  umask(022);
  ASSERT_EQ(CreateTextFile(path.c_str(), "wt", 0604, "%s %d\n", " LPRng ", 3), 1);
  EXPECT_EQ(ReadAll(path), " LPRng  3\n");
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0604u);

  ASSERT_EQ(CreateTextFile(path.c_str(), "wt", 0, "%s", "again"), 1);
  EXPECT_EQ(ReadAll(path), "again");

  std::string bad = dir + "/missing/file";
  testing::internal::CaptureStderr();
  EXPECT_EQ(CreateTextFile(bad.c_str(), "wt", 0644, "x"), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: couldn't open " + bad + "\n");
}

TEST_F(HostFiles, SysCmdPEchoesRunsAndReportsFailure)
{
  testing::internal::CaptureStdout();
  EXPECT_EQ(SysCmdP(1, "echo ran > %s/out", dir.c_str()), 0);  // status of the pause
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "echo ran > " + dir + "/out\n");
  EXPECT_EQ(ReadAll(dir + "/out"), "ran\n");

  // Exit status 2 is a failure too (it must not pass for an interrupted call).
  EXPECT_EXIT(SysCmdP(2, "exit 2"), testing::ExitedWithCode(1),
              "ERROR: command failed with exit status 2\n");
  EXPECT_EXIT(SysCmdP(2, "kill -KILL $$"), testing::ExitedWithCode(1),
              "ERROR: command killed by signal 9");
}

TEST_F(HostFiles, SysCmdPRefusesAnOverlongLine)
{
  std::string marker = dir + "/ran";
  std::string pad(600, ' ');
  EXPECT_EXIT(SysCmdP(0, "touch %s%s", marker.c_str(), pad.c_str()), testing::ExitedWithCode(1),
              "ERROR: command line longer than 511 characters, not run");
  EXPECT_FALSE(Exists(marker));
}

// ---- Files through the command table ------------------------------------------

TEST_F(HostServices, CreateFileMakesParentsFileAndMode)
{
  std::string target = dir + "/a/b";
  testing::internal::CaptureStdout();
  CreateFile(target.c_str(), "file", "640", nullptr, nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "...");
  struct stat st;
  ASSERT_EQ(stat((target + "/file").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(LogTail(), Cmd(26) + target + "\n" + Cmd(35) + target + "/file\n" + Cmd(5) + "640 " +
                           target + "/file\n");
}

TEST_F(HostServices, CreateFileSetsOwnerAndGroup)
{
  passwd *pw = getpwuid(geteuid());
  group *gr = getgrgid(getegid());
  ASSERT_NE(pw, nullptr);
  ASSERT_NE(gr, nullptr);
  std::string owner = pw->pw_name;
  std::string grp = gr->gr_name;
  testing::internal::CaptureStdout();
  CreateFile(dir.c_str(), nullptr, "775", owner.c_str(), grp.c_str());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "...");
  struct stat st;
  ASSERT_EQ(stat(dir.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0775u);
  EXPECT_EQ(LogTail(), Cmd(5) + "775 " + dir + "\n" + Cmd(6) + owner + " " + dir + "\n" + Cmd(4) +
                           grp + " " + dir + "\n");
}

TEST_F(HostServices, CreateFileOfAnExistingDirectoryRunsNothing)
{
  testing::internal::CaptureStdout();
  CreateFile(dir.c_str(), nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(LogTail(), "");
}

TEST_F(HostServices, CreateFileFailureEndsTheRun)
{
  std::string target = dir + "/f";
  EXPECT_EXIT(
      {
        int fd = open("/dev/null", O_WRONLY);
        dup2(fd, 1);
        CreateFile(dir.c_str(), "f", "not-a-mode", nullptr, nullptr);
      },
      testing::ExitedWithCode(1), "");
  EXPECT_TRUE(Exists(target));
  EXPECT_NE(LogTail().find("\nERROR: command failed with exit status 1\n"), std::string::npos);
}

TEST_F(HostServices, DeleteFileRemovesOnlyWhatExists)
{
  std::filesystem::create_directories(dir + "/tree/deep");
  Write("tree/deep/leaf", "x");
  Write("single", "x");

  testing::internal::CaptureStdout();
  DeleteFile(dir.c_str(), "tree");
  DeleteFile(nullptr, (dir + "/single").c_str());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "..");
  EXPECT_FALSE(Exists(dir + "/tree"));
  EXPECT_FALSE(Exists(dir + "/single"));
  EXPECT_EQ(LogTail(), Cmd(30) + dir + "/tree\n" + Cmd(30) + dir + "/single\n");

  testing::internal::CaptureStdout();
  DeleteFile(dir.c_str(), "tree");
  DeleteFile(nullptr, (dir + "/never").c_str());
  DeleteFile(nullptr, nullptr);
  DeleteFile_((dir + "/never").c_str(), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

  Write("u1", "x");
  mkdir((dir + "/u2").c_str(), 0755);
  testing::internal::CaptureStdout();
  DeleteFile_((dir + "/u1").c_str(), nullptr);
  DeleteFile_(dir.c_str(), "u2");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "..");
  EXPECT_FALSE(Exists(dir + "/u1"));
  EXPECT_FALSE(Exists(dir + "/u2"));
  EXPECT_TRUE(Exists(dir));
}

TEST_F(HostServices, RenameFileMovesQuietly)
{
  Write("db.ndb_new", "records");
  testing::internal::CaptureStdout();
  RenameFile(dir.c_str(), "db.ndb_new", "db.ndb");
  EXPECT_EQ(ReadAll(dir + "/db.ndb"), "records");
  EXPECT_FALSE(Exists(dir + "/db.ndb_new"));

  RenameFile(dir.c_str(), "missing", "other");
  EXPECT_FALSE(Exists(dir + "/other"));

  // Without a directory the names are whole paths.
  RenameFile(nullptr, (dir + "/db.ndb").c_str(), (dir + "/moved").c_str());
  EXPECT_EQ(ReadAll(dir + "/moved"), "records");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(LogTail(), "");
}

// ---- Names and environment ----------------------------------------------------

TEST_F(HostServices, GetUserNameAsksWhoami)
{
  passwd *pw = getpwuid(geteuid());
  ASSERT_NE(pw, nullptr);
  char *name = GetUserName();
  ASSERT_NE(name, nullptr);
  EXPECT_STREQ(name, pw->pw_name);
  PutMem(name);
}

TEST_F(HostServices, GetUserNameWithoutWhoamiGivesTheUserId)
{
  ComList[CMD_WHOAMI].path = nullptr;  // looked up in bulk already: stays missing
  char *name = GetUserName();
  ASSERT_NE(name, nullptr);
  if (getuid() == 0)
    EXPECT_STREQ(name, "root");
  else
    EXPECT_EQ(std::string(name), "User ID:  " + std::to_string(getuid()));
  PutMem(name);

  if (getuid() == 0) {
    EXPECT_EQ(InChild([] {
                if (setuid(500) != 0)
                  _exit(3);
                char *other = GetUserName();
                _exit(other && strcmp(other, "User ID:  500") == 0 ? 0 : 4);
              }),
              0);
  }
}

TEST_F(HostFiles, HostnameAndEnvironment)
{
  char expected[257] = "";
  ASSERT_EQ(gethostname(expected, 256), 0);
  char *host = GetHostname();
  ASSERT_NE(host, nullptr);
  EXPECT_STREQ(host, expected);
  PutMem(host);

  setenv("NORVO_TEST_VALUE", "a%sb", 1);
  char *value = GetEnv("NORVO_TEST_VALUE");
  EXPECT_STREQ(value, "a%sb");
  PutMem(value);
  unsetenv("NORVO_TEST_VALUE");
  EXPECT_EQ(GetEnv("NORVO_TEST_VALUE"), nullptr);
  EXPECT_EQ(GetEnv(nullptr), nullptr);
}

TEST_F(HostServices, SniffLprngAsksLpdForItsVersion)
{
  auto fakeLpd = [&](const char *banner) {
    std::ofstream(dir + "/lpd") << "#!/bin/sh\n[ \"$1\" = -V ] && echo '" << banner << "' >&2\n";
    chmod((dir + "/lpd").c_str(), 0755);
    ComList[CMD_LPD].path = SaveStr_(dir.c_str());
  };
  fakeLpd("lpd (LPRng) 3.8.C");
  EXPECT_EQ(SniffLprng(), 1);
  fakeLpd("BSD lpd 5.0");
  EXPECT_EQ(SniffLprng(), 0);
  ComList[CMD_LPD].path = nullptr;
  EXPECT_EQ(SniffLprng(), 0);
  EXPECT_EQ(LogTail(), "");
}
