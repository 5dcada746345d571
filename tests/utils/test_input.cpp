// The current input file, the line readers and the file queries, on real files.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "common/ChildProcess.h"
#include "common/TempDir.h"
#include "utils/utils.h"

namespace {

class InputFiles : public testing::Test {
protected:
  TempDir tmp;
  std::string dir;

  void SetUp() override
  {
    my_name = SaveStr("test_input_%d", static_cast<int>(getpid()));
    flUseLog = 0;
    ASSERT_FALSE(tmp.path().empty());
    dir = tmp.path();
  }
  void TearDown() override { CloseInputFile(); }
  std::string Write(const std::string &name, const std::string &text)
  {
    std::string path = dir + "/" + name;
    testcommon::WriteFile(path, text);
    return path;
  }
  void Open(const std::string &name, const std::string &text)
  {
    ASSERT_EQ(OpenInputFile(Write(name, text).c_str(), 1), 1);
  }
};

}  // namespace

// ---- Opening ------------------------------------------------------------------

TEST_F(InputFiles, OpenInputFileTracksStateAndName)
{
  std::string a = Write("a", "first\n");
  std::string b = Write("b", "second\n");
  ASSERT_EQ(OpenInputFile(a.c_str(), 2), 1);
  EXPECT_EQ(FileStatus, 0);
  EXPECT_STREQ(InputFileName, a.c_str());
  ASSERT_EQ(OpenInputFile(b.c_str(), 2), 1);  // closes a
  ASSERT_EQ(GetFileLine(), 1);
  EXPECT_STREQ(LineBuf, "second\n");
  CloseInputFile();
  EXPECT_EQ(FileStatus, 1);
  EXPECT_EQ(pIn, nullptr);
  EXPECT_EQ(GetFileLine(), 0);
}

TEST_F(InputFiles, FailedOpenReportsByLevel)
{
  std::string missing = dir + "/missing";
  strcpy(LineBuf, "stale");
  LineLen = 7;
  EXPECT_EQ(OpenInputFile(missing.c_str(), 0), 0);
  EXPECT_EQ(FileStatus, 2);
  EXPECT_STREQ(LineBuf, "");
  EXPECT_EQ(LineLen, 0);
  EXPECT_STREQ(InputFileName, missing.c_str());

  testing::internal::CaptureStderr();
  EXPECT_EQ(OpenInputFile(missing.c_str(), 1), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "WARNING: can't open file, " + missing + "\n");

  // A package list that cannot be read ends the run as a failure.
  EXPECT_EXIT(OpenInputFile(missing.c_str(), 2), testing::ExitedWithCode(1),
              "ERROR: can't open file, " + missing + "\n");
  EXPECT_EXIT(OpenInputFileF(2, "%s/%s", dir.c_str(), "missing"), testing::ExitedWithCode(1),
              "can't open file");
}

TEST_F(InputFiles, OpenFileLevels)
{
  std::string missing = dir + "/none";
  EXPECT_EQ(OpenFile(nullptr, missing.c_str(), "rt", 0), nullptr);
  testing::internal::CaptureStderr();
  EXPECT_EQ(OpenFile(nullptr, missing.c_str(), "rt", 1), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: can't open file, " + missing + "\n");
  EXPECT_EXIT(OpenFile(nullptr, missing.c_str(), "rt", 2), testing::ExitedWithCode(1),
              "can't open file, " + missing + " : ");

  FILE *f = OpenFileF(nullptr, "wt", 2, "%s/%s", dir.c_str(), "made");
  ASSERT_NE(f, nullptr);
  fputs("x", f);
  FILE *g = OpenFile(f, (dir + "/made").c_str(), "rt", 2);  // f is closed first
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(fgetc(g), 'x');
  fclose(g);

  std::string longName(600, 'n');
  EXPECT_EQ(OpenFileF(nullptr, "wt", 0, "%s/%s", dir.c_str(), longName.c_str()), nullptr);

  testing::internal::CaptureStdout();
  EXPECT_LT(OpenRawFile(missing.c_str(), O_RDONLY), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR: can't open file, " + missing);
  int fd = OpenRawFile((dir + "/made").c_str(), O_RDONLY);
  EXPECT_GE(fd, 0);
  close(fd);
}

// ---- GetFileLine / GetFileTextLine --------------------------------------------

TEST_F(InputFiles, ContinuationLinesAreJoinedRaw)
{
  Open("cont", "one \\\ntwo\nthree\n# not a comment here\n");
  ASSERT_EQ(GetFileLine(), 1);
  EXPECT_STREQ(LineBuf, "one \\\ntwo\n");
  EXPECT_EQ(LineLen, 6);
  ASSERT_EQ(GetFileLine(), 1);
  EXPECT_STREQ(LineBuf, "three\n");
  EXPECT_EQ(LineLen, 0);
  ASSERT_EQ(GetFileLine(), 1);
  EXPECT_STREQ(LineBuf, "# not a comment here\n");
  EXPECT_EQ(GetFileLine(), 0);
  EXPECT_EQ(FileStatus, 1);
  EXPECT_EQ(pIn, nullptr);
  EXPECT_EQ(GetFileLine(), 0);
}

TEST_F(InputFiles, LastLinesWithoutNewlineOrAfterContinuation)
{
  Open("tail", "a\\\nb\\\nc");
  ASSERT_EQ(GetFileLine(), 1);
  EXPECT_STREQ(LineBuf, "a\\\nb\\\nc");
  EXPECT_EQ(LineLen, 6);
  EXPECT_EQ(GetFileLine(), 0);

  Open("dangling", "x\\\n");
  ASSERT_EQ(GetFileLine(), 1);
  EXPECT_STREQ(LineBuf, "x\\\n");
  EXPECT_EQ(GetFileLine(), 0);
}

TEST_F(InputFiles, LongPhysicalLinesArriveInParts)
{
  std::string big(600, 'p');
  Open("long", big + "\n");
  ASSERT_EQ(GetFileLine(), 1);
  EXPECT_EQ(std::string(LineBuf), big.substr(0, 510));
  ASSERT_EQ(GetFileLine(), 1);
  EXPECT_EQ(std::string(LineBuf), big.substr(510) + "\n");
}

TEST_F(InputFiles, JoinedLinesStopAtTheBufferEnd)
{
  std::string part(300, 'j');
  std::string text;
  for (int i = 0; i < 20; i++)
    text += part + "\\\n";
  text += "end\n";
  Open("chain", text);
  memset(LineBuf, 'Z', LINEBUF_SIZE);
  ASSERT_EQ(GetFileLine(), 1);
  size_t len = strlen(LineBuf);
  EXPECT_LE(len, LINEBUF_SIZE - 1);
  EXPECT_EQ(std::string(LineBuf), text.substr(0, len));
  // What did not fit comes with the following calls, nothing is lost.
  std::string rest;
  while (GetFileLine())
    rest += LineBuf;
  EXPECT_EQ(text.substr(len), rest);
}

TEST_F(InputFiles, GetFileTextLineGivesFirstTokensOfTextLines)
{
  Open("text", "# comment\n\n \t \nfirst second\n  third\\ fourth\nlast");
  ASSERT_EQ(GetFileTextLine(" \t\r\n"), 1);
  EXPECT_STREQ(LineBuf, "first");
  ASSERT_EQ(GetFileTextLine(" \t\r\n"), 1);
  EXPECT_STREQ(LineBuf, "third fourth");
  ASSERT_EQ(GetFileTextLine(" \t\r\n"), 1);
  EXPECT_STREQ(LineBuf, "last");
  EXPECT_EQ(GetFileTextLine(" \t\r\n"), 0);
  EXPECT_EQ(GetFileTextLine(nullptr), 0);
}

// ---- GetLine ------------------------------------------------------------------

TEST_F(InputFiles, GetLineDropsCommentsAndSurroundingSpace)
{
  Open("code", "code1 /* note */ code2\n\n   // only a comment\n\tx = 1; // trailing\n");
  memset(Line, 'x', 600);
  ASSERT_EQ(GetLine(), 1);
  EXPECT_STREQ(Line, "code1  code2");
  EXPECT_EQ(pLine, Line);
  EXPECT_EQ(InPos, 0);
  for (size_t i = strlen(Line); i < 512; i++)
    ASSERT_EQ(Line[i], '\0') << i;
  EXPECT_EQ(GetLine(), 1);
  EXPECT_STREQ(Line, "");
  EXPECT_EQ(GetLine(), 1);
  EXPECT_STREQ(Line, "");
  EXPECT_EQ(GetLine(), 1);
  EXPECT_STREQ(Line, "x = 1; ");
  EXPECT_EQ(GetLine(), 0);
}

TEST_F(InputFiles, GetLineJoinsAroundACommentOverSeveralLines)
{
  std::string text = "a /* open\nstill inside\nclosed */ b\n/* alone\n*/ c\nnext\n";
  Open("multi", text);
  ASSERT_EQ(GetLine(), 3);
  EXPECT_STREQ(Line, "a  b");
  EXPECT_EQ(InPos, 0);
  EXPECT_EQ(LineCnt, 3);
  ASSERT_EQ(GetLine(), 2);
  EXPECT_STREQ(Line, "c");
  EXPECT_EQ(InPos, static_cast<long>(text.find("*/ c")));
  ASSERT_EQ(GetLine(), 1);
  EXPECT_STREQ(Line, "next");
  EXPECT_EQ(InPos, static_cast<long>(text.find("next")));
  EXPECT_EQ(GetLine(), 0);
}

TEST_F(InputFiles, GetLineKeepsTheTextBeforeAnUnclosedComment)
{
  Open("unclosed", "keep /* never closed\nlost\n");
  ASSERT_EQ(GetLine(), 2);
  EXPECT_STREQ(Line, "keep ");
  EXPECT_EQ(GetLine(), 0);
}

TEST_F(InputFiles, GetLineWithoutFilterReturnsRawLines)
{
  flInputFilterState = 0;
  Open("raw", "  a /* b */ // c\nsecond");
  ASSERT_EQ(GetLine(), 1);
  EXPECT_STREQ(Line, "  a /* b */ // c\n");
  ASSERT_EQ(GetLine(), 1);
  EXPECT_STREQ(Line, "second");
  flInputFilterState = 1;
}

TEST_F(InputFiles, GetLineNAndGetLinePos)
{
  std::string text = "zero\none\ntwo\nthree\n";
  Open("n", text);
  EXPECT_EQ(GetLineN(0), 0);
  ASSERT_EQ(GetLineN(3), 1);
  EXPECT_STREQ(Line, "two");
  ASSERT_EQ(GetLinePos(static_cast<long>(text.find("one"))), 1);
  EXPECT_STREQ(Line, "one");
  EXPECT_EQ(GetLineN(5), 0);

  char buf[16];
  FILE *f = fopen((dir + "/n").c_str(), "rt");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(fgetsp(buf, sizeof buf, f, static_cast<long>(text.find("three"))), buf);
  EXPECT_STREQ(buf, "three\n");
  fclose(f);
}

TEST_F(InputFiles, GetLineReadsAtMost510CharactersAtOnce)
{
  std::string big(700, 'g');
  Open("big", big + "\n");
  memset(Line, 'x', 1024);
  ASSERT_EQ(GetLine(), 1);
  EXPECT_EQ(std::string(Line), big.substr(0, 510));
  EXPECT_EQ(Line[511], '\0');
  EXPECT_EQ(Line[512], 'x');  // only the first 512 bytes are touched
  ASSERT_EQ(GetLine(), 1);
  EXPECT_EQ(std::string(Line), big.substr(510));
}

// ---- Whole files --------------------------------------------------------------

TEST_F(InputFiles, GetFileContentReadsIntoLineBuf)
{
  Write("small", "hello\nworld\n");
  ASSERT_EQ(GetFileContent(dir.c_str(), "small"), 1);
  EXPECT_STREQ(LineBuf, "hello\nworld\n");
  ASSERT_EQ(GetFileContent((dir + "/small").c_str(), nullptr), 1);
  EXPECT_STREQ(LineBuf, "hello\nworld\n");
  EXPECT_EQ(GetFileContent(dir.c_str(), "missing"), 0);

  std::string big(5000, 'b');
  Write("big", big);
  ASSERT_EQ(GetFileContent(dir.c_str(), "big"), 1);
  EXPECT_EQ(strlen(LineBuf), 4095u);

  char buf[5];
  memset(buf, 'Z', sizeof buf);
  ASSERT_EQ(GetFileContentR(dir.c_str(), "small", buf, sizeof buf), 1);
  EXPECT_STREQ(buf, "hell");
  EXPECT_EQ(GetFileContentR(dir.c_str(), "missing", buf, sizeof buf), 0);
}

TEST_F(InputFiles, GetSavedFileContentAndItsOneByteRule)
{
  Write("text", "abc\ndef\n");
  char *text = GetSavedFileContent(dir.c_str(), "text");
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "abc\ndef\n");
  EXPECT_EQ(SavedFileSize, 8);
  PutMem(text);

  text = GetSavedFileContent((dir + "/text").c_str(), nullptr);
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "abc\ndef\n");
  PutMem(text);

  Write("one", "Q");
  text = GetSavedFileContent(dir.c_str(), "one");
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(SavedFileSize, 1);
  PutMem(text);

  Write("empty", "");
  EXPECT_EQ(GetSavedFileContent(dir.c_str(), "empty"), nullptr);
  EXPECT_EQ(SavedFileSize, 0);
  EXPECT_EQ(GetSavedFileContent(dir.c_str(), "missing"), nullptr);
  EXPECT_EQ(SavedFileSize, 0);
  std::string longName(300, 'l');
  EXPECT_EQ(GetSavedFileContent(dir.c_str(), longName.c_str()), nullptr);
}

TEST_F(InputFiles, FileSearchFindsTheFirstMatchingLine)
{
  std::string path = Write("conf", "alpha=1\nbeta=2\nbeta=3\n");
  EXPECT_STREQ(FileSearch(path.c_str(), "beta", 0), "beta=2\n");
  EXPECT_STREQ(FileSearch(path.c_str(), nullptr, 0), "alpha=1\n");
  EXPECT_EQ(FileSearch(path.c_str(), "gamma", 0), nullptr);
  EXPECT_EQ(FileSearch((dir + "/missing").c_str(), "x", 0), nullptr);
}

// ---- Queries ------------------------------------------------------------------

TEST_F(InputFiles, SizeTimeAndType)
{
  std::string file = Write("f", "12345");
  std::string sub = dir + "/sub";
  mkdir(sub.c_str(), 0755);
  symlink(sub.c_str(), (dir + "/link").c_str());
  symlink((dir + "/nowhere").c_str(), (dir + "/dangling").c_str());

  EXPECT_EQ(GetFileSize(file.c_str()), 5);
  EXPECT_EQ(GetFileSize((dir + "/missing").c_str()), 0);
  struct stat st;
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(GetFileTime(file.c_str()), static_cast<long>(st.st_mtime));
  EXPECT_EQ(GetFileTime((dir + "/missing").c_str()), 0);

  EXPECT_EQ(GetFileType(sub.c_str()), 1);
  EXPECT_EQ(GetFileType((dir + "/link").c_str()), 2);
  EXPECT_EQ(GetFileType((dir + "/dangling").c_str()), 2);
  EXPECT_EQ(GetFileType(file.c_str()), 3);
  EXPECT_EQ(GetFileType((dir + "/missing").c_str()), 0);
}

TEST_F(InputFiles, FindFileTestsTheEntryInItsDirectory)
{
  Write("x.log", "");
  Write("psfont", "");
  mkdir((dir + "/sub").c_str(), 0755);
  Write("sub/inner", "");
  symlink((dir + "/nowhere").c_str(), (dir + "/dangling").c_str());

  EXPECT_EQ(FindFile(nullptr, (dir + "/x.log").c_str()), 1);
  EXPECT_EQ(FindFile((dir + "/x.log").c_str(), nullptr), 1);
  EXPECT_EQ(FindFile(dir.c_str(), "x.log"), 1);
  EXPECT_EQ(FindFile(dir.c_str(), "sub/inner"), 1);
  EXPECT_EQ(FindFile(dir.c_str(), "sub/"), 1);
  EXPECT_EQ(FindFile(dir.c_str(), "dangling"), 1);
  EXPECT_EQ(FindFile(dir.c_str(), "ps"), 0);
  EXPECT_EQ(FindFile(dir.c_str(), "X.LOG"), 0);
  EXPECT_EQ(FindFile(dir.c_str(), "missing"), 0);
  EXPECT_EQ(FindFile(dir.c_str(), "missing/"), 0);
  EXPECT_EQ(FindFile("/tmp", nullptr), 1);
  EXPECT_EQ(FindFile("/", nullptr), 1);
  EXPECT_EQ(FindFile(nullptr, "/"), 1);
  EXPECT_EQ(FindFile(nullptr, ""), 0);
  EXPECT_EQ(FindFile(nullptr, nullptr), 0);
  std::string longName(300, 'l');
  EXPECT_EQ(FindFile(dir.c_str(), ("sub/" + longName).c_str()), 0);
}

TEST_F(InputFiles, FindFileNeedsAReadableDirectory)
{
  if (geteuid() == 0)
    GTEST_SKIP() << "root reads every directory";
  std::string closed = dir + "/closed";
  mkdir(closed.c_str(), 0755);
  Write("closed/inside", "");
  chmod(closed.c_str(), 0311);
  EXPECT_EQ(FindFile(closed.c_str(), "inside"), 0);
  EXPECT_EQ(FindFile_(closed.c_str(), "inside"), 1);
  chmod(closed.c_str(), 0755);
}

TEST_F(InputFiles, FindFileUnderscoreStatsThePath)
{
  Write("f", "");
  symlink((dir + "/nowhere").c_str(), (dir + "/dangling").c_str());
  EXPECT_EQ(FindFile_(dir.c_str(), "f"), 1);
  EXPECT_EQ(FindFile_((dir + "/f").c_str(), nullptr), 1);
  EXPECT_EQ(FindFile_(nullptr, (dir + "/f").c_str()), 1);
  EXPECT_EQ(FindFile_(dir.c_str(), "dangling"), 0);
  EXPECT_EQ(FindFile_(dir.c_str(), "missing"), 0);
  EXPECT_EQ(FindFile_(nullptr, ""), 0);
}
