// Saved strings, path splitters, searches and the small text helpers.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/TempDir.h"
#include "utils/utils.h"

namespace {

class StringsTest : public testing::Test {
protected:
  void SetUp() override { my_name = const_cast<char *>("test_strings"); }
};

// A real directory tree under the system's temporary folder, removed after.
class TempTree : public StringsTest {
protected:
  TempDir tmp;
  std::string root;
  void SetUp() override
  {
    StringsTest::SetUp();
    ASSERT_FALSE(tmp.path().empty());
    root = tmp.path();
  }
};

// SaveStr must give exactly what the C library's printf gives.
template <class... Args>
void ExpectLikePrintf(const char *fmt, Args... args)
{
  int len = snprintf(nullptr, 0, fmt, args...);
  ASSERT_GE(len, 0);
  std::string expected(static_cast<size_t>(len) + 1, '\0');
  snprintf(expected.data(), expected.size(), fmt, args...);
  expected.pop_back();
  char *saved = SaveStr(fmt, args...);
  EXPECT_EQ(std::string(saved), expected) << "format " << fmt;
  PutMem(saved);
  char *saved2 = SaveStr__(fmt, args...);
  EXPECT_EQ(std::string(saved2), expected) << "format " << fmt;
  PutMem(saved2);
}

}  // namespace

// ---- Saved strings -------------------------------------------------------------

TEST_F(StringsTest, SaveStrFormatsIntoPoolMemory)
{
  char *s = SaveStr("%s/%s.%d", "/tmp", "setup", 7);
  EXPECT_STREQ(s, "/tmp/setup.7");
  PutMem(s);
  char *empty = SaveStr("%s", "");
  EXPECT_STREQ(empty, "");
  PutMem(empty);
}

TEST_F(StringsTest, SaveStrFormatsExactlyAsPrintf)
{
  ExpectLikePrintf("%s/%s/%s.%d", "/opt", "Norvo/npxx", "pkg_tar", 3);
  for (int v : {0, 7, -1, 10, -10, 123456789, INT_MAX, INT_MIN})
    ExpectLikePrintf("[%d]", v);
  ExpectLikePrintf("100%% %s", "done");
  ExpectLikePrintf("%s%s%s", "", "", "");
  ExpectLikePrintf("%s", static_cast<const char *>(nullptr));
  ExpectLikePrintf("%5d|%-4s|%05d", 42, "ab", -7);
  ExpectLikePrintf("%x %o %u %c %ld %.2f", 255, 8, 3000000000u, 'q', -5L, 2.5);
  ExpectLikePrintf("%.3s|%10s", "abcdef", "r");
  ExpectLikePrintf("%s %d %i", "mixed", 1, 2);
  ExpectLikePrintf("trailing %d%%", 5);
  std::string longText(9000, 'L');
  ExpectLikePrintf("%s:%d", longText.c_str(), 1);
  ExpectLikePrintf("%s%s", std::string(8191, 'a').c_str(), "b");
  ExpectLikePrintf("%s", std::string(8191, 'a').c_str());
}

TEST_F(StringsTest, SaveStrKeepsLongTextsWhole)
{
  // Longer than any work buffer a short format gets.
  std::string big(20000, 'q');
  char *s = SaveStr("<%s>", big.c_str());
  EXPECT_EQ(strlen(s), big.size() + 2);
  EXPECT_EQ(std::string(s), "<" + big + ">");
  PutMem(s);
  std::string longFormat(5000, 'f');
  char *f = SaveStr(longFormat.c_str(), 0);
  EXPECT_EQ(std::string(f), longFormat);
  PutMem(f);
  char *g = SaveStr__("%070000d", 5);
  EXPECT_EQ(strlen(g), 70000u);
  EXPECT_EQ(g[69999], '5');
  PutMem(g);
}

TEST_F(StringsTest, SaveStrVariantsAndPercentSigns)
{
  const char *noFormat = nullptr;
  EXPECT_EQ(SaveStr__(noFormat, 0), nullptr);
  char *s = SaveStr__("%d%%", 50);
  EXPECT_STREQ(s, "50%");
  PutMem(s);
  char *none = SaveStr_(nullptr);
  EXPECT_STREQ(none, "");
  PutMem(none);
  char *plain = SaveStr_("100%s %d done");
  EXPECT_STREQ(plain, "100%s %d done") << "a plain copy does not format";
  PutMem(plain);
}

TEST_F(StringsTest, SaveStrEndsTheProcessWhenMemoryRunsOut)
{
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "an address-space limit cannot be set under AddressSanitizer";
#else
  auto starve = [] {
    // Leave 16 MiB of address space above what the process maps now.
    long pages = 0;
    if (FILE *statm = fopen("/proc/self/statm", "r")) {
      if (fscanf(statm, "%ld", &pages) != 1)
        pages = 0;
      fclose(statm);
    }
    rlim_t room = static_cast<rlim_t>(pages) * static_cast<rlim_t>(getpagesize()) + (16L << 20);
    rlimit lim{room, room};
    setrlimit(RLIMIT_AS, &lim);
    SaveStr("%*d", 48 << 20, 1);  // 48 MiB of text cannot be kept
  };
  EXPECT_EXIT(starve(), testing::ExitedWithCode(1), "\ntest_strings: Unable to allocate memory : ");
#endif
}

// ---- Path splitters --------------------------------------------------------------

struct SplitCase {
  const char *path;
  const char *expected;
};

TEST_F(StringsTest, StripPathGivesTheLastComponent)
{
  for (auto [path, expected] : {SplitCase{"/usr/lib/x", "x"},
                                {"dir/", "dir"},
                                {"a/b/", "b"},
                                {"a//b//", "b"},
                                {"name", "name"},
                                {"/", "/"},
                                {"///", "///"},
                                {"", ""},
                                {"/.", "."}})
    EXPECT_STREQ(StripPath(path), expected) << path;
  EXPECT_STREQ(StripPath(nullptr), "");
}

TEST_F(StringsTest, StripFnGivesTheDirectoryPart)
{
  for (auto [path, expected] : {SplitCase{"file", "."},
                                {"/file", "/"},
                                {"dir/", "dir"},
                                {"a//b", "a/"},
                                {"/", "/"},
                                {"", "."},
                                {"/usr/lib/x", "/usr/lib"},
                                {"./x", "."},
                                {"//x", "/"}})
    EXPECT_STREQ(StripFn(path), expected) << path;
  EXPECT_STREQ(StripFn(nullptr), ".");
}

TEST_F(StringsTest, StripExtCutsAtTheFirstDotBehindANonDot)
{
  for (auto [path, expected] : {SplitCase{"a.b.c", "a"},
                                {".profile", ".profile"},
                                {".a.b", ".a"},
                                {"..x.y", "..x"},
                                {"a..b", "a"},
                                {"dir.d/file", "dir"},
                                {"noext", "noext"},
                                {"", ""}})
    EXPECT_STREQ(StripExt(path), expected) << path;
  EXPECT_STREQ(StripExt(nullptr), "");
}

TEST_F(StringsTest, StripPathExtGivesTheBareFileName)
{
  for (auto [path, expected] : {SplitCase{"/x/y/name.tar.gz", "name"},
                                {"dir.d/file", "file"},
                                {"a/.rc", ".rc"},
                                {"dir/", "dir"},
                                {"/", "/"},
                                {"", ""}})
    EXPECT_STREQ(StripPathExt(path), expected) << path;
  EXPECT_STREQ(StripPathExt(nullptr), "");
}

TEST_F(StringsTest, StripPathNameWalksTheDotSegmentsBehindTheFirstSlash)
{
  for (auto [path, expected] : {SplitCase{".", ""},
                                {"..", ""},
                                {"", ""},
                                {"name", "name"},
                                {"/abs", "/abs"},
                                {"pkg/name.tar.gz", "gz"},
                                {"pkg/name", "name"},
                                {"/usr/lib", "lib"},
                                {"a/b/c.d", "a"},
                                {"a/bc/d.e", "e"},
                                {"a/..x", "x"},
                                {"a/", "a"}})
    EXPECT_STREQ(StripPathName(path), expected) << path;
  EXPECT_STREQ(StripPathName(nullptr), "");
}

TEST_F(StringsTest, SplitterResultsAreStaticAndOverwritten)
{
  char *first = StripPath("/a/one");
  char *second = StripPath("/b/two");
  EXPECT_EQ(first, second);
  EXPECT_STREQ(first, "two");
  EXPECT_NE(StripPath("x"), StripFn("x")) << "each splitter has its own buffer";
}

TEST_F(StringsTest, OverlongPathsAreCutToTheBuffers)
{
  std::string name(400, 'n');
  std::string dir = "/" + std::string(400, 'd');
  std::string path = dir + "/" + name + ".ext";
  EXPECT_EQ(std::string(StripPath(path.c_str())), (name + ".ext").substr(0, 127));
  EXPECT_EQ(std::string(StripPathExt(path.c_str())), name.substr(0, 127));
  EXPECT_EQ(std::string(StripExt(path.c_str())), path.substr(0, 127));
  EXPECT_EQ(std::string(StripFn(path.c_str())), dir.substr(0, 255));
  EXPECT_STREQ(StripPathName(path.c_str()), "ext");
  EXPECT_EQ(std::string(StripPathName(("a/" + name).c_str())), name.substr(0, 127));
}

TEST_F(TempTree, FindExistingPathWalksUpToAnExistingEntry)
{
  std::string sub = root + "/sub";
  ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);

  int flag = 0;
  char *found = FindExistingPath(sub.c_str(), &flag);
  EXPECT_EQ(std::string(found), sub);
  EXPECT_EQ(flag, 1);
  PutMem(found);

  flag = 0;
  found = FindExistingPath((sub + "/missing/deeper/file").c_str(), &flag);
  EXPECT_EQ(std::string(found), sub);
  EXPECT_EQ(flag, 0);
  PutMem(found);

  ASSERT_EQ(symlink("/nonexistent/target", (root + "/dangling").c_str()), 0);
  flag = 0;
  found = FindExistingPath((root + "/dangling").c_str(), &flag);
  EXPECT_EQ(std::string(found), root + "/dangling") << "a dangling link is an entry";
  EXPECT_EQ(flag, 1);
  PutMem(found);
}

TEST_F(TempTree, FindExistingPathEndsAtTheRootOrTheWorkingDirectory)
{
  int flag = 0;
  char *found = FindExistingPath("/no_such_top_dir_for_test_strings/x", &flag);
  EXPECT_STREQ(found, "/");
  EXPECT_EQ(flag, 0);
  PutMem(found);

  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(root.c_str()), 0);
  found = FindExistingPath("no/such/relative", &flag);
  EXPECT_STREQ(found, ".");
  PutMem(found);
  ASSERT_EQ(chdir(cwd), 0);

  // Far longer than any splitter buffer: the walk still ends on an existing
  // ancestor of the path (how deep the existence test reaches is its own
  // business), never on a cut-off name.
  std::string deep = root;
  for (int i = 0; i < 40; i++)
    deep += "/" + std::string(20, static_cast<char>('a' + i % 26));
  found = FindExistingPath((deep + "/gone").c_str(), &flag);
  EXPECT_EQ(std::string(found), root);
  PutMem(found);
  ASSERT_EQ(system(("mkdir -p " + deep).c_str()), 0);
  found = FindExistingPath((deep + "/gone").c_str(), &flag);
  std::string ancestor(found);
  PutMem(found);
  EXPECT_EQ(deep.compare(0, ancestor.size(), ancestor), 0) << ancestor;
  EXPECT_GE(ancestor.size(), root.size());
  EXPECT_TRUE(ancestor.size() == deep.size() || deep[ancestor.size()] == '/') << ancestor;
  struct stat st;
  EXPECT_EQ(stat(ancestor.c_str(), &st), 0) << ancestor;
}

// ---- Searches --------------------------------------------------------------------

TEST_F(StringsTest, StrChrSkipsEscapedCharacters)
{
  const char *text = "a\\,b,c";
  EXPECT_EQ(StrChr(text, ','), text + 4);
  const char *pair = "\\\\,";
  EXPECT_EQ(StrChr(pair, ','), pair + 2) << "an escaped backslash escapes nothing more";
  EXPECT_EQ(StrChr("ab\\", 'x'), nullptr) << "a trailing backslash stops at the end";
  EXPECT_EQ(StrChr("ab\\", '\\'), nullptr);
  EXPECT_EQ(StrChr("abc", 0), nullptr);
  // On the heap, exactly as long as the text: a read past the terminator
  // after the trailing backslash would show under the address sanitizer.
  std::unique_ptr<char[]> exact(new char[4]{'a', 'b', '\\', '\0'});
  EXPECT_EQ(StrChr(exact.get(), 'x'), nullptr);
  EXPECT_EQ(StrLen("abc"), 3u);
  EXPECT_EQ(StrLen(""), 0u);
}

TEST_F(StringsTest, StrNChrCountsOccurrences)
{
  const char *text = "a:b\\:c:d";
  EXPECT_EQ(StrNChr(text, ':', 1), text + 1);
  EXPECT_EQ(StrNChr(text, ':', 2), text + 4) << "escapes are not considered";
  EXPECT_EQ(StrNChr(text, ':', 3), text + 6);
  EXPECT_EQ(StrNChr(text, ':', 4), nullptr);
  EXPECT_EQ(StrNChr(text, ':', 0), nullptr);
  EXPECT_EQ(StrNChr(nullptr, ':', 1), nullptr);
}

TEST_F(StringsTest, StrStrFamily)
{
  const char *text = "abcabc";
  EXPECT_EQ(StrStr(text, ""), nullptr);
  EXPECT_EQ(StrStr(text, text), text);
  EXPECT_EQ(StrStr(text, "ca"), text + 2);
  EXPECT_EQ(StrStr(text, "abcabcd"), nullptr);
  EXPECT_EQ(StrStr(nullptr, "a"), nullptr);
  EXPECT_EQ(StrStr(text, nullptr), nullptr);

  const char *aaa = "aaa";
  EXPECT_EQ(StrNStr(aaa, "aa", 1), aaa);
  EXPECT_EQ(StrNStr(aaa, "aa", 2), aaa + 1) << "overlapping occurrences count";
  EXPECT_EQ(StrNStr(aaa, "aa", 3), nullptr);
  EXPECT_EQ(StrNStr("xay", "a", 2), nullptr);
  EXPECT_EQ(StrNStr("", "a", 1), nullptr);
  EXPECT_EQ(StrNStr(nullptr, "a", 1), nullptr);
  EXPECT_EQ(StrNStr(aaa, "a", 0), nullptr);
  EXPECT_EQ(StrNStr(aaa, "", 1), nullptr);

  const char *html = "<p><A HREF=x>";
  EXPECT_EQ(StrCaseStr(html, "<a href"), html + 3);
  EXPECT_EQ(StrCaseStr(html, "href=X>"), html + 6);
  EXPECT_EQ(StrCaseStr(html, "hrefs"), nullptr);
  EXPECT_EQ(StrCaseStr(html, ""), nullptr);
  EXPECT_EQ(StrCaseStr(nullptr, "a"), nullptr);
}

// ---- Small helpers -----------------------------------------------------------------

TEST_F(StringsTest, SkipSpaceStepsOverPosixSpace)
{
  const char *text = " \t\n\v\f\rx y";
  EXPECT_EQ(SkipSpace(text), text + 6);
  const char *empty = "";
  EXPECT_EQ(SkipSpace(empty), empty);
  EXPECT_EQ(*SkipSpace("   "), '\0');
  EXPECT_EQ(SkipSpace(nullptr), nullptr);
  const char *high = "\xa0x";
  EXPECT_EQ(SkipSpace(high), high) << "no locale spaces";
}

TEST_F(StringsTest, StripAllBackslashesAndNonPrint)
{
  char bs[] = "a\\b\\\\c\\";
  EXPECT_EQ(StripAllBackslashes(bs), bs);
  EXPECT_STREQ(bs, "abc");
  EXPECT_EQ(StripAllBackslashes(nullptr), nullptr);

  char text[] = "a\tb\r\nc\x01\x7f\xe9"
                "d";
  char copy[sizeof text];
  memcpy(copy, text, sizeof text);
  EXPECT_STREQ(StripNonPrint(text, 0), "abcd");
  EXPECT_STREQ(StripNonPrint(copy, 1), "ab\r\ncd");
  EXPECT_EQ(StripNonPrint(nullptr, 1), nullptr);
}

TEST_F(StringsTest, SetVarContentCopiesOrReversesBytes)
{
  const unsigned char src[4] = {1, 2, 3, 4};
  unsigned char dst[4] = {};
  SetVarContent(dst, src, 4, 0);
  EXPECT_EQ(memcmp(dst, src, 4), 0);
  SetVarContent(dst, src, 4, 1);
  const unsigned char reversed[4] = {4, 3, 2, 1};
  EXPECT_EQ(memcmp(dst, reversed, 4), 0);

  unsigned char inPlace[3] = {7, 8, 9};
  SetVarContent(inPlace, inPlace, 3, 1);
  EXPECT_EQ(inPlace[0], 9);
  EXPECT_EQ(inPlace[2], 7);

  uint16_t len = 0x1234, swapped = 0;
  SetVarContent(&swapped, &len, sizeof len, 1);
  EXPECT_EQ(swapped, 0x3412);
  std::string big(100, 'x');
  big[0] = 'a';
  std::string out(100, '-');
  SetVarContent(out.data(), big.data(), big.size(), 1);
  EXPECT_EQ(out[99], 'a');
}

TEST_F(StringsTest, CvtFloatFormatConvertsUnits)
{
  EXPECT_FLOAT_EQ(CvtFloatFormat(1, 0, 2), 72.0f);
  EXPECT_FLOAT_EQ(CvtFloatFormat(72, 2, 1), 2.54f);
  EXPECT_FLOAT_EQ(CvtFloatFormat(5, 1, 1), 5.0f);
  EXPECT_FLOAT_EQ(CvtFloatFormat(2.54f, 1, 0), 1.0f);
  EXPECT_FLOAT_EQ(CvtFloatFormat(36, 2, 0), 0.5f);
  EXPECT_FLOAT_EQ(CvtFloatFormat(2, 0, 1), 5.08f);
  EXPECT_FLOAT_EQ(CvtFloatFormat(2.54f, 1, 2), 72.0f);
  EXPECT_FLOAT_EQ(CvtFloatFormat(3, -1, 4), 3.0f) << "unknown units change nothing";
  EXPECT_FLOAT_EQ(CvtFloatFormat(3, 3, 0), 3.0f);
  EXPECT_FLOAT_EQ(CvtFloatFormat(3, 0, 3), 3.0f);
}

TEST_F(StringsTest, MaxDPrefersTheSecondUnlessTheFirstIsGreater)
{
  EXPECT_EQ(MaxD(2, 1), 2);
  EXPECT_EQ(MaxD(1, 2), 2);
  EXPECT_TRUE(std::signbit(MaxD(0.0, -0.0))) << "equal values give the second";
  EXPECT_EQ(MaxD(NAN, 3), 3);
  EXPECT_TRUE(std::isnan(MaxD(3, NAN)));
}
