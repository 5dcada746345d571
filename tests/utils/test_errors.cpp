// The error reporters (exact output and exit statuses, seen from a child
// process) and GetToolPath against real directories.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "common/ChildProcess.h"
#include "memmgr/MemMgrInternal.h"
#include "utils/utils.h"

namespace {

char kTestName[] = "test_errors";

class ErrorReports : public ::testing::Test {
protected:
  void SetUp() override { my_name = kTestName; }
};

TEST_F(ErrorReports, SysErrorNamesProgramMessageAndSystemErrorThenExitsOne)
{
  ChildResult r = RunChild([] {
    std::printf("pending output");
    errno = ENOENT;
    SysError("cannot read %s (%d)", "/x/y", 7);
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "\ntest_errors: cannot read /x/y (7) : No such file or directory\n");
  EXPECT_EQ(r.out, "pending output");  // exit flushes what was printed
}

TEST_F(ErrorReports, SysErrorReportsTheErrorOfTheFailedCallNotOfItsOwnOutput)
{
  ChildResult r = RunChild([] {
    errno = 0;
    if (open("/nonexistent-dir-for-test/file", O_RDONLY) < 0)
      SysError("%s", common_109);
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "\ntest_errors: Unable to allocate memory : No such file or directory\n");
}

// The allocator for callers that cannot go on without memory: zeroed
// memory while there is some, the memory message and status 1 when the
// pool cannot get a block; the plain copy goes through it.
TEST_F(ErrorReports, GetMemOrDieEndsTheProcessWhenMemoryRunsOut)
{
  ChildResult r = RunChild([] {
    auto *p = static_cast<unsigned char *>(GetMemOrDie(100));
    int zero = 1;
    for (int i = 0; i < 100; i++)
      zero &= p[i] == 0 ? 1 : 0;
    char *copy = SaveStrN("a%sb\0c", 4);
    std::printf("%d [%s] %zu", zero, copy, strlen(copy));
    std::fflush(stdout);
    PoolSetMapper([](size_t) -> void * { return nullptr; }, nullptr);
    (void)GetMemOrDie(70000);  // a block of its own, which cannot be had
    std::printf("not reached");
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "1 [a%sb] 4");
  EXPECT_EQ(r.err.rfind(
                "ERROR: Unable to allocate memory\n\ntest_errors: Unable to allocate memory : ", 0),
            0u)
      << r.err;
}

TEST_F(ErrorReports, SysErrorWithoutProgramNameStillReports)
{
  ChildResult r = RunChild([] {
    my_name = nullptr;
    errno = EACCES;
    SysError("x");
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "\n: x : Permission denied\n");
}

TEST_F(ErrorReports, ErrorMsgLevelOneWarnsAndGoesOn)
{
  ChildResult r = RunChild([] {
    ErrorMsg(1, 5, "disk %s is %d%% full", "sda", 93);
    std::printf("after:%s", Line);
  });
  EXPECT_EQ(r.status, 99);
  EXPECT_EQ(r.err, "WARNING: disk sda is 93% full\n");
  EXPECT_EQ(r.out, "after:disk sda is 93% full");  // the text is left in Line
}

TEST_F(ErrorReports, ErrorMsgLevelTwoEndsWithTheCallersStatus)
{
  ChildResult r = RunChild([] { ErrorMsg(2, 7, "can't open file, %sInstall/disks", "Norvo"); });
  EXPECT_EQ(r.status, 7);
  EXPECT_EQ(r.err, "ERROR: can't open file, NorvoInstall/disks\n");
  EXPECT_EQ(r.out, "");

  r = RunChild([] { ErrorMsg(2, 0, "%s", "gone"); });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "ERROR: gone\n");
}

TEST_F(ErrorReports, ErrorMsgOtherLevelsAreSilent)
{
  ChildResult r = RunChild([] {
    ErrorMsg(0, 3, "quiet");
    ErrorMsg(3, 3, "quiet");
    ErrorMsg(-1, 3, "quiet");
  });
  EXPECT_EQ(r.status, 99);
  EXPECT_EQ(r.err, "");
}

TEST_F(ErrorReports, ErrorMsgCutsAMessageLongerThanLine)
{
  std::string big(LINE_SIZE + 1000, 'a');
  ChildResult r = RunChild([&] { ErrorMsg(1, 0, "%s%s", big.c_str(), "tail"); });
  EXPECT_EQ(r.status, 99);
  ASSERT_EQ(r.err.size(), std::strlen("WARNING: ") + LINE_SIZE - 1 + 1);
  EXPECT_EQ(r.err.substr(0, 10), "WARNING: a");
  EXPECT_EQ(r.err.back(), '\n');
}

TEST_F(ErrorReports, ErrorMsgMayReportTheTextThatIsInLine)
{
  ChildResult r = RunChild([] {
    std::strcpy(Line, "bad entry");
    ErrorMsg(1, 0, "line %d: %s (%s)", 12, Line, Line + 4);
  });
  EXPECT_EQ(r.err, "WARNING: line 12: bad entry (entry)\n");
}

TEST_F(ErrorReports, ErrormsgPrefixesProgramNameAndGoesOn)
{
  ChildResult r = RunChild([] {
    errormsg("bad entry %d in %s", 4, "menu");
    errormsg("second");
  });
  EXPECT_EQ(r.status, 99);
  EXPECT_EQ(r.err, "test_errors: bad entry 4 in menu\ntest_errors: second\n");
}

TEST_F(ErrorReports, ExitAppEndsWithTheStatusAndFlushesOutput)
{
  for (int status : {0, 1, 2, 42}) {
    ChildResult r = RunChild([status] {
      std::printf("buffered");
      exit_app(status);
    });
    EXPECT_EQ(r.status, status);
    EXPECT_EQ(r.out, "buffered");
  }
}

// ---- GetToolPath ------------------------------------------------------------

// A private directory tree under /tmp, removed afterwards; the working
// directory is restored after each test.
class ToolPath : public ::testing::Test {
protected:
  void SetUp() override
  {
    my_name = kTestName;
    ASSERT_NE(getcwd(saved_, sizeof saved_), nullptr);
    char *real = realpath(tmp_.path().c_str(), nullptr);
    ASSERT_NE(real, nullptr);
    top_ = real;
    std::free(real);
    for (const char *d : {"/bin", "/x", "/real", "/real/deep", "/a b"})
      ASSERT_EQ(mkdir((top_ + d).c_str(), 0755), 0);
    ASSERT_EQ(symlink((top_ + "/real/deep").c_str(), (top_ + "/link").c_str()), 0);
  }
  void TearDown() override { ASSERT_EQ(chdir(saved_), 0); }
  std::string Tool(const char *argv0)
  {
    char *p = GetToolPath(argv0);
    std::string s = p;
    PutMem(p);
    return s;
  }
  void Cd(const std::string &dir) { ASSERT_EQ(chdir(dir.c_str()), 0) << dir; }

  TempDir tmp_;
  char saved_[PATH_MAX];
  std::string top_;
};

TEST_F(ToolPath, AbsoluteStartPathGivesItsDirectory)
{
  EXPECT_EQ(Tool("/mnt/dist/setup"), "/mnt/dist");
  EXPECT_EQ(Tool("/setup"), "/");
  EXPECT_EQ(Tool((top_ + "/bin/setup").c_str()), top_ + "/bin");
}

TEST_F(ToolPath, BareNameAndDotGiveTheWorkingDirectory)
{
  Cd(top_ + "/x");
  EXPECT_EQ(Tool("setup"), top_ + "/x");
  EXPECT_EQ(Tool("./setup"), top_ + "/x");
}

TEST_F(ToolPath, RelativeDirectoryIsResolvedBelowTheWorkingDirectory)
{
  Cd(top_);
  EXPECT_EQ(Tool("bin/setup"), top_ + "/bin");
  EXPECT_EQ(Tool("./bin/setup"), top_ + "/bin");
  EXPECT_EQ(Tool(".//bin/./setup"), top_ + "/bin");
  EXPECT_EQ(Tool("a b/setup"), top_ + "/a b");
  EXPECT_EQ(Tool("x/../bin/setup"), top_ + "/bin");
}

TEST_F(ToolPath, DotDotLeadsToTheParentsDirectory)
{
  Cd(top_ + "/bin");
  EXPECT_EQ(Tool("../x/setup"), top_ + "/x");
  EXPECT_EQ(Tool("../setup"), top_);
  std::string back = "./../../" + top_.substr(top_.rfind('/') + 1) + "/x/setup";
  EXPECT_EQ(Tool(back.c_str()), top_ + "/x");
}

TEST_F(ToolPath, FromTheRootDirectory)
{
  Cd("/");
  std::string rel = top_.substr(1);  // "tmp/toolpath_..."
  EXPECT_EQ(Tool((rel + "/bin/setup").c_str()), top_ + "/bin");
  EXPECT_EQ(Tool(("./" + rel + "/x/setup").c_str()), top_ + "/x");
  EXPECT_EQ(Tool(("../" + rel + "/x/setup").c_str()), top_ + "/x");  // ".." of "/" is "/"
  EXPECT_EQ(Tool("setup"), "/");
  EXPECT_EQ(Tool("./setup"), "/");
}

TEST_F(ToolPath, DotDotBehindALinkFollowsTheLink)
{
  // top/link -> top/real/deep, so link/.. is top/real, not top.
  Cd(top_);
  EXPECT_EQ(Tool("link/../setup"), top_ + "/real");
  EXPECT_EQ(Tool("link/setup"), top_ + "/link");  // no "..": spelling kept
}

TEST_F(ToolPath, MissingDirectoryIsFoldedByHand)
{
  Cd(top_);
  EXPECT_EQ(Tool("nodir/sub/../setup"), top_ + "/nodir");
}

}  // namespace
