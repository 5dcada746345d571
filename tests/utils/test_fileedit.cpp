// The line editors on real files: each result compared byte for byte, the
// file names of both families, the replaced file's mode and owner, refusals
// that must leave the file alone, and a move that fails.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/ChildProcess.h"
#include "common/TempDir.h"
#include "utils/utils.h"

namespace {

using Dir = TempDir;
using testcommon::ReadAll;
using testcommon::WriteFile;

using Names = std::vector<std::string>;

// The contents of path after an edit that must have answered 0.
std::string After(int rc, const std::string &path)
{
  EXPECT_EQ(rc, 0) << "editing " << path;
  return ReadAll(path);
}

}  // namespace

TEST(FileEdit, ChangeReplacesTheFirstOccurrenceAndKeepsModeAndOwner)
{
  Dir d;
  std::string base = d / "app";
  WriteFile(base + ".cfg", "a=1 a=2\nb=3\ntail a=");
  bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown((base + ".cfg").c_str(), 4321, 1234), 0);
  }
  chmod((base + ".cfg").c_str(), 04751);  // after chown, which clears set-user-ID
  EXPECT_EQ(After(FileChange(base.c_str(), "cfg", "a=", "x:"), base + ".cfg"),
            "x:1 a=2\nb=3\ntail x:");
  struct stat st;
  ASSERT_EQ(stat((base + ".cfg").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 04751u);
  if (root) {
    EXPECT_TRUE(st.st_uid == 4321 && st.st_gid == 1234);
  }
  EXPECT_EQ(d.Entries(), Names{"app.cfg"});  // the temporary file is gone
  // A name that looks like an option is still a name to the move.
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(d.path().c_str()), 0);
  WriteFile("-i", "a\n");
  EXPECT_EQ(After(FileChange("-i", "", "a", "b"), "-i"), "b\n");
  ASSERT_EQ(chdir(cwd), 0);
}

TEST(FileEdit, LongLinesAreWholeLines)
{
  Dir d;
  std::string f = d / "long";
  std::string head(505, 'x'), rest(1000, 'y');
  // The pattern straddles the 510th character.
  WriteFile(f, head + "NEEDLE" + rest + "\nshort NEEDLE\n");
  EXPECT_EQ(After(FileChange(f.c_str(), "", "NEEDLE", "N"), f), head + "N" + rest + "\nshort N\n");
  char text[] = "> ";
  EXPECT_EQ(After(FileInsert(f.c_str(), nullptr, text), f),
            "> " + head + "N" + rest + "\n> short N\n");
  EXPECT_EQ(After(FileDelLine(f.c_str(), "", 0, "short"), f), "> " + head + "N" + rest + "\n");
}

TEST(FileEdit, DeletionsLeaveTheFirstNMatches)
{
  Dir d;
  std::string a = d / "a", b = d / "b";
  WriteFile(a + ".txt", "k=1\nk=2\nother\nk=3 k=\n");
  WriteFile(b, "k=1\nk=2\nother\nk=3\n");
  EXPECT_EQ(After(FileDel(a.c_str(), "txt", 1, "k="), a + ".txt"), "k=1\n2\nother\n3 k=\n");
  EXPECT_EQ(After(FileDelLine(b.c_str(), "", 1, "k="), b), "k=1\nother\n");

  WriteFile(a, "begin\nm1\nm2\nend\n");
  EXPECT_EQ(After(FileDelLinePair(a.c_str(), "", 0, "begin", "end"), a), "m1\nm2\n");
  // The first pair stays; a closing line nobody waits for stays too.
  WriteFile(b, "begin\nA\nend\nbegin\nB\nend\nend\n");
  EXPECT_EQ(After(FileDelLinePair(b.c_str(), "", 1, "begin", "end"), b), "begin\nA\nend\nB\nend\n");
}

TEST(FileEdit, ChangeCharReadsDecimalOctalAndHexadecimalCodes)
{
  Dir d;
  std::string f = d / "dos";
  WriteFile(f, "a\r\nAbA\r\n");
  EXPECT_EQ(After(FileChangeChar(f.c_str(), "", "13", "0"), f), "a\nAbA\n");
  EXPECT_EQ(After(FileChangeChar(f.c_str(), "", "0x41", "66,67"), f), "a\nBCbBC\n");
  EXPECT_EQ(After(FileChangeChar(f.c_str(), "", "0142", "0x7a,0,65"), f), "a\nBCzBC\n");
  EXPECT_EQ(After(FileChangeChar(f.c_str(), "", "122", nullptr), f), "a\nBCBC\n");

  // 127 codes fit; one more is refused and the file stays as it was.
  std::string list;
  for (int i = 0; i < 127; i++)
    list += i ? ",0x2d" : "0x2d";
  EXPECT_EQ(After(FileChangeChar(f.c_str(), "", "97", list.c_str()), f),
            std::string(127, '-') + "\nBCBC\n");
  list += ",45";
  testing::internal::CaptureStderr();
  EXPECT_EQ(FileChangeChar(f.c_str(), "", "66", list.c_str()), -1);
  EXPECT_EQ(FileChangeChar(f.c_str(), "", "B", "65"), -1);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("ERROR: "), std::string::npos);
  EXPECT_EQ(ReadAll(f), std::string(127, '-') + "\nBCBC\n");
}

TEST(FileEdit, DelFormatModes)
{
  Dir d;
  std::string f = d / "kv";
  const std::string text = "key=value\nname=x=y\nplain\n";
  struct {
    const char *mode, *pattern, *expected;
  } const cases[] = {
      {"a", "=", "key=\nname=\nplain\n"},
      {"b", "=", "=value\n=x=y\nplain\n"},
      {"l", "=", "plain\n"},
      {"", "=", "keyvalue\nnamex=y\nplain\n"},
      {"c", "0x3d", "keyvalue\nnamexy\nplain\n"},
  };
  for (const auto &c : cases) {
    WriteFile(f, text);
    EXPECT_EQ(FileDelFormat(f.c_str(), "", c.mode, c.pattern), 0);
    EXPECT_EQ(ReadAll(f), c.expected) << "mode " << (c.mode ? c.mode : "(null)");
  }
  // An unknown mode changes nothing and leaves no temporary file behind.
  WriteFile(f, text);
  EXPECT_EQ(FileDelFormat(f.c_str(), "", "x", "="), 1);
  EXPECT_EQ(ReadAll(f), text);
  EXPECT_EQ(d.Entries(), Names{"kv"});
}

TEST(FileEdit, InsertionsCountLines)
{
  Dir d;
  std::string f = d / "list";
  WriteFile(f, "a\nb\nc\n");
  char numbered[] = "%s1%#1 ";
  EXPECT_EQ(After(FileInsert(f.c_str(), "", numbered), f), "00000 a\n00001 b\n00002 c\n");
  EXPECT_STREQ(numbered, "%#1 ");  // the start value is cut out of the text

  WriteFile(f, "a\nb\nc\n");
  char late[] = "%s5%#7:";
  EXPECT_EQ(After(FileInsert(f.c_str(), "", late), f), "a\nb\n00000:c\n");

  // Only matching lines get the text and move the counter.
  WriteFile(f, "x1\ny\nx2\n");
  char search[] = "%s3%#-";
  EXPECT_EQ(After(FileSearchInsert(f.c_str(), "", search, "x"), f), "00003-x1\ny\n00004-x2\n");
}

TEST(FileEdit, OwnLoopThroughOpenIOFiles)
{
  Dir d;
  std::string base = d / "set";
  WriteFile(base, "one\ntwo\n");
  chmod(base.c_str(), 0600);
  FILE *out = OpenIOFiles(base.c_str(), "");
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(std::string(Fn), base);
  EXPECT_EQ(std::string(FnOut), base + "out");  // no dot, unlike the editors
  while (GetFileLine())
    fprintf(out, "[%s", LineBuf);
  EXPECT_EQ(After(ReplaceInputFile(), base), "[one\n[two\n");
  struct stat st;
  ASSERT_EQ(stat(base.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST(FileEdit, FailedMoveLeavesTheOriginal)
{
  Dir d;
  ASSERT_EQ(mkdir((d / "bin").c_str(), 0755), 0);
  WriteFile(d / "bin/mv", "#!/bin/sh\nexit 1\n");
  chmod((d / "bin/mv").c_str(), 0755);
  const std::string path = getenv("PATH");
  setenv("PATH", (d / "bin:" + path).c_str(), 1);

  std::string f = d / "keep", g = d / "keep2";
  WriteFile(f, "a\n");
  WriteFile(g + ".txt", "b\n");
  EXPECT_NE(FileChange(f.c_str(), "", "a", "z"), 0);
  EXPECT_NE(FileDelFormat(g.c_str(), "txt", "l", "b"), 0);
  EXPECT_EQ(ReadAll(f), "a\n");
  EXPECT_EQ(ReadAll(g + ".txt"), "b\n");
  // The edited copies wait in the temporary files of both namings.
  EXPECT_EQ(ReadAll(f + ".out"), "z\n");
  EXPECT_EQ(ReadAll(g + ".txtout"), "");

  ASSERT_NE(OpenIOFiles(f.c_str(), nullptr), nullptr);
  EXPECT_NE(ReplaceInputFile(), 0);
  EXPECT_EQ(ReadAll(f), "a\n");
  setenv("PATH", path.c_str(), 1);
}

TEST(FileEdit, UnsafeOrOverlongNamesAreRefused)
{
  Dir d;
  std::string spaced = d / "my file", semi = d / "a;b";
  WriteFile(spaced, "a\n");
  testing::internal::CaptureStderr();
  EXPECT_EQ(FileChange(spaced.c_str(), "", "a", "b"), -1);
  EXPECT_EQ(FileDelLine(d.path().c_str(), "x;rm", 0, "a"), -1);
  EXPECT_EQ(FileDel(semi.c_str(), "", 0, "a"), -1);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("ERROR: refusing file name"), std::string::npos) << err;
  EXPECT_EQ(ReadAll(spaced), "a\n");

  // base + ".out" must fit in 127 characters: 123 is the longest base.
  std::string fits = d.path() + "/" + std::string(122 - d.path().size(), 'n');
  ASSERT_EQ(fits.size(), 123u);
  WriteFile(fits, "a\n");
  EXPECT_EQ(After(FileChange(fits.c_str(), "", "a", "b"), fits), "b\n");
  std::string over = fits + "n", huge(4000, 'h');
  testing::internal::CaptureStderr();
  EXPECT_EQ(FileChange(over.c_str(), "", "a", "b"), -1);
  EXPECT_EQ(FileChange(huge.c_str(), huge.c_str(), "a", "b"), -1);
  EXPECT_EQ(OpenIOFiles(huge.c_str(), ""), nullptr);
  EXPECT_EQ(OpenIOFiles(std::string(125, 'o').c_str(), ""), nullptr);  // Fn + "out" is 128
  EXPECT_NE(testing::internal::GetCapturedStderr().find("longer than 127"), std::string::npos);
}

TEST(FileEdit, GenNameCapitalisesTheRuns)
{
  EXPECT_STREQ(GenName("hello world-2"), "HelloWorld2");
  EXPECT_STREQ(GenName("  9lives ARE mine"), "LivesAreMine");
  EXPECT_STREQ(GenName("12 -- 3"), "");
  std::string many;
  for (int i = 0; i < 400; i++)
    many += "ab ";
  EXPECT_EQ(strlen(GenName(many.c_str())), GEN_NAME_SIZE - 1);
}
