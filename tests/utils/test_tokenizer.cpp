// The word scanner, the splitters, keyword lists, SortTokens and Gets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "utils/utils.h"

namespace {

// Collects every token of a fresh GetToken scan.
std::string AllTokens(const char *text, const char *delims)
{
  std::string out;
  for (char *t = GetToken(text, delims); t != nullptr; t = GetToken(nullptr, delims))
    out += std::string("[") + t + "]";
  return out;
}

// FindToken as plainly stated: the first delimiter + word + delimiter, else a
// last item equal to the word; the position counts the delimiters up to it.
int PlainFindToken(const std::string &word, const std::string &list)
{
  if (list.empty())
    return 0;
  char d = list[0];
  size_t at = list.find(d + word + d);
  if (at == std::string::npos) {
    at = list.rfind(d);
    if (list.compare(at + 1, std::string::npos, word) != 0)
      return 0;
  }
  return static_cast<int>(std::count(list.begin(), list.begin() + static_cast<long>(at) + 1, d));
}

// FindTokenC as plainly stated: at every delimiter, the word in any case,
// then a delimiter or the end; the delimiters themselves compare exactly.
int PlainFindTokenC(const std::string &word, const std::string &list)
{
  if (list.empty())
    return 0;
  char d = list[0];
  int count = 0;
  for (size_t p = 0; p < list.size(); p++) {
    if (list[p] != d)
      continue;
    count++;
    if (p + word.size() < list.size() &&
        strncasecmp(list.c_str() + p + 1, word.c_str(), word.size()) == 0 &&
        (p + word.size() + 1 == list.size() || list[p + word.size() + 1] == d))
      return count;
  }
  return 0;
}

}  // namespace

// ---- GetToken ---------------------------------------------------------------

TEST(GetToken, RunsOfDelimitersCountAsOneAndEmptyFieldsNeverCome)
{
  EXPECT_EQ(AllTokens("  ab  cd", " "), "[ab][cd]");
  EXPECT_EQ(AllTokens(",,a,,,b,", ","), "[a][b]");
  EXPECT_EQ(AllTokens("a:b c", ": "), "[a][b][c]");
  EXPECT_EQ(AllTokens("", " "), "");
}

TEST(GetToken, EndOfTextIsSticky)
{
  ASSERT_STREQ(GetToken("  ab  cd", " "), "ab");
  ASSERT_STREQ(GetToken(nullptr, " "), "cd");
  EXPECT_EQ(GetToken(nullptr, " "), nullptr);
  EXPECT_EQ(GetToken(nullptr, " "), nullptr);
  EXPECT_EQ(*szTokenIn, '\0');
}

TEST(GetToken, NullWithoutAScanGivesNull)
{
  SetTokenBuf(nullptr);
  EXPECT_EQ(GetToken(nullptr, " "), nullptr);
  EXPECT_EQ(GetToken(TOKEN_LINE_MODE, " "), nullptr);
}

TEST(GetToken, EscapesAreTranslatedAndNeverEndAToken)
{
  EXPECT_STREQ(GetToken("a\\,b,c", ","), "a,b");
  EXPECT_STREQ(GetToken(nullptr, ","), "c");
  EXPECT_STREQ(GetToken("x\\ty\\nz\\r", " "), "x\ty\nz\r");
  EXPECT_STREQ(GetToken("\\\\\\\"q", " "), "\\\"q");
  // An escaped delimiter alone is a token, not a skipped delimiter.
  EXPECT_STREQ(GetToken(" \\  b", " "), " ");
  EXPECT_STREQ(GetToken(nullptr, " "), "b");
}

TEST(GetToken, TrailingBackslashIsDroppedAndTheScanEnds)
{
  EXPECT_STREQ(GetToken("ab\\", " "), "ab");
  EXPECT_EQ(GetToken(nullptr, " "), nullptr);
  EXPECT_EQ(GetToken("\\", " "), nullptr);
}

TEST(GetToken, ChTokenDelTracksTheLastConsumedDelimiter)
{
  GetToken("a;b", ";");
  EXPECT_EQ(chTokenDel, ';');
  GetToken(nullptr, ";");
  EXPECT_EQ(chTokenDel, 0) << "b ran to the end of the text";
  GetToken(" :x", ": ");
  EXPECT_EQ(chTokenDel, ':') << "the last leading delimiter skipped stays";
  EXPECT_EQ(GetToken(" ,:, ", ",: "), nullptr);
  EXPECT_EQ(chTokenDel, ' ');
}

TEST(GetToken, ScanAndResumePositionsFollowTheToken)
{
  const char *text = "one two";
  GetToken(text, " ");
  EXPECT_EQ(szTokenIn, text + 4);
  EXPECT_EQ(GetTokenBufInput(), text + 4);
  GetToken(nullptr, " ");
  EXPECT_EQ(szTokenIn, text + 7);
}

TEST(GetToken, OverlongTokenIsTruncatedAndConsumedWhole)
{
  std::string text(300, 'x');
  text += " next";
  char *t = GetToken(text.c_str(), " ");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(strlen(t), TOKENBUF_SIZE - 1);
  EXPECT_EQ(std::string(t), std::string(TOKENBUF_SIZE - 1, 'x'));
  EXPECT_STREQ(GetToken(nullptr, " "), "next");
  // Escapes in an overlong token are translated and cut the same way.
  std::string esc;
  for (int i = 0; i < 300; i++)
    esc += "\\t";
  EXPECT_EQ(strlen(GetToken(esc.c_str(), " ")), TOKENBUF_SIZE - 1);
}

TEST(GetToken, LineModeRefusesATokenEndedByANewline)
{
  const char *text = "a b\nc d";
  EXPECT_STREQ(GetToken(text, " \n"), "a");
  char *resume = szTokenIn;
  EXPECT_EQ(GetToken(TOKEN_LINE_MODE, " \n"), nullptr);
  EXPECT_EQ(chTokenDel, '\n');
  EXPECT_EQ(szTokenIn, resume) << "a refusal does not move the resume position";
  EXPECT_EQ(GetTokenBufInput(), text + 4) << "the scan stands behind the newline";
  EXPECT_STREQ(GetToken(TOKEN_LINE_MODE, " \n"), "c");
  EXPECT_STREQ(GetToken(TOKEN_LINE_MODE, " \n"), "d") << "the end of text is no newline";
  // Leading newlines are skipped like other delimiters.
  SetTokenBuf("\n\nx y");
  EXPECT_STREQ(GetToken(TOKEN_LINE_MODE, " \n"), "x");
}

TEST(GetToken, NestedScanRestoresTheOuterOne)
{
  ASSERT_STREQ(GetToken("a,b,c", ","), "a");
  char *saved = szTokenIn;
  char savedDel = chTokenDel;
  EXPECT_EQ(AllTokens("x y", " "), "[x][y]");
  SetTokenBuf(saved);
  chTokenDel = savedDel;
  EXPECT_STREQ(GetToken(nullptr, ","), "b");
  // SetTokenBuf starts a scan whose first token comes from GetToken(null).
  SetTokenBuf("p q");
  EXPECT_STREQ(GetToken(nullptr, " "), "p");
}

// ---- GetTokenD ----------------------------------------------------------------

TEST(GetTokenD, UsesOnlyTheCallersCursorAndBuffer)
{
  ASSERT_STREQ(GetToken("shared scan", " "), "shared");
  char *in = GetTokenBufInput();
  char *resume = szTokenIn;

  const char *cursor = nullptr;
  char out[TOKENBUF_SIZE];
  EXPECT_STREQ(GetTokenD(" k1 k\\t2 ", " ", &cursor, out), "k1");
  EXPECT_EQ(chTokenDel, ' ');
  EXPECT_STREQ(GetTokenD(nullptr, " ", &cursor, out), "k\t2");
  EXPECT_EQ(GetTokenD(nullptr, " ", &cursor, out), nullptr);

  EXPECT_EQ(GetTokenBufInput(), in);
  EXPECT_EQ(szTokenIn, resume);
  EXPECT_STREQ(GetTokenBuf, "shared");
  EXPECT_STREQ(GetToken(nullptr, " "), "scan");
}

TEST(GetTokenD, LineModeRefusalLeavesTheCursorAlone)
{
  const char *text = "a\nb";
  const char *cursor = text;
  char out[8];
  EXPECT_EQ(GetTokenD(TOKEN_LINE_MODE, " \n", &cursor, out), nullptr);
  EXPECT_EQ(cursor, text);
  EXPECT_STREQ(GetTokenD(nullptr, " \n", &cursor, out), "a");
  EXPECT_EQ(cursor, text + 2);
}

TEST(GetTokenD, SmallBufferTruncatesWithoutOverrun)
{
  char out[6];
  memset(out, '#', sizeof out);
  const char *cursor = nullptr;
  EXPECT_STREQ(GetTokenD("abcdefgh ij", " ", &cursor, out, 4), "abc");
  EXPECT_EQ(out[4], '#');
  EXPECT_STREQ(GetTokenD(nullptr, " ", &cursor, out, 4), "ij");
  EXPECT_EQ(GetTokenD("abc", " ", &cursor, out, 0), nullptr);
}

// ---- GetTokenParse ---------------------------------------------------------------

TEST(GetTokenParse, TerminatesTheTokenInsideTheText)
{
  char text[] = "a b";
  char *t = GetTokenParse(text, " ");
  EXPECT_EQ(t, text);
  EXPECT_STREQ(t, "a");
  EXPECT_EQ(text[1], '\0');
  EXPECT_EQ(GetTokenParse(nullptr, " "), text + 2);
  EXPECT_EQ(GetTokenParse(nullptr, " "), nullptr);
}

TEST(GetTokenParse, LeadingDelimitersBecomeTerminatorsAndEscapesStay)
{
  char text[] = "::x\\:y:z";
  char *t = GetTokenParse(text, ":");
  EXPECT_EQ(t, text + 2);
  EXPECT_STREQ(t, "x\\:y");
  EXPECT_EQ(text[0], '\0');
  EXPECT_EQ(text[1], '\0');
  EXPECT_EQ(chTokenDel, ':');
  EXPECT_STREQ(GetTokenParse(nullptr, ":"), "z");
}

TEST(GetTokenParse, SplitsASearchPath)
{
  char path[] = "/usr/bin::/bin:";
  std::string seen;
  for (char *d = GetTokenParse(path, ":"); d != nullptr; d = GetTokenParse(nullptr, ":"))
    seen += std::string("[") + d + "]";
  EXPECT_EQ(seen, "[/usr/bin][/bin]");
}

TEST(GetTokenParse, LineModeAndTrailingBackslash)
{
  char text[] = "a\nb\\";
  EXPECT_STREQ(GetTokenParse(text, " "), "a\nb\\") << "newline is no delimiter here";
  char lines[] = "a b\nc";
  EXPECT_STREQ(GetTokenParse(lines, " \n"), "a");
  EXPECT_EQ(GetTokenParse(TOKEN_LINE_MODE, " \n"), nullptr);
  EXPECT_STREQ(GetTokenParse(TOKEN_LINE_MODE, " \n"), "c");
}

// ---- ParseStr, GetTokenN, GetTokenCount --------------------------------------

TEST(ParseStr, FillsAtMostTheSlotsAndLeavesTheRestUnsplit)
{
  char text[] = "  a  b c";
  char *slots[2] = {text, text};
  EXPECT_EQ(ParseStr(text, " ", slots, 2), 2);
  EXPECT_STREQ(slots[0], "a");
  EXPECT_STREQ(slots[1], "b");
  EXPECT_STREQ(slots[1] + 2, "c");

  char esc[] = "x\\ y";
  char *three[3];
  EXPECT_EQ(ParseStr(esc, " ", three, 3), 2) << "no escapes in ParseStr";
  EXPECT_STREQ(three[0], "x\\");
  EXPECT_EQ(three[2], nullptr);
}

TEST(ParseStr, NullTextOrNoSlots)
{
  char *slots[2] = {reinterpret_cast<char *>(1), reinterpret_cast<char *>(1)};
  EXPECT_EQ(ParseStr(nullptr, " ", slots, 2), 0);
  EXPECT_EQ(slots[0], nullptr);
  EXPECT_EQ(slots[1], nullptr);
  char text[] = "a b";
  EXPECT_EQ(ParseStr(text, " ", slots, 0), 0);
  EXPECT_STREQ(text, "a b");
  char blanks[] = "   ";
  EXPECT_EQ(ParseStr(blanks, " ", slots, 2), 0);
}

TEST(ParseStr, LeavesTheScanAlone)
{
  GetToken("p q", " ");
  char text[] = "x y";
  char *slots[2];
  ParseStr(text, " ", slots, 2);
  EXPECT_STREQ(GetToken(nullptr, " "), "q");
}

TEST(GetTokenN, PicksTheNthTokenAndTheScanGoesOn)
{
  EXPECT_STREQ(GetTokenN("a,b,c", ",", 3), "c");
  EXPECT_EQ(GetTokenN("a,b,c", ",", 5), nullptr);
  EXPECT_STREQ(GetTokenN("a,b,c", ",", 0), "a");
  EXPECT_STREQ(GetTokenN("a,b,c", ",", -4), "a");
  EXPECT_STREQ(GetTokenN("a,b,c", ",", 2), "b");
  EXPECT_STREQ(GetToken(nullptr, ","), "c");
}

TEST(GetTokenCount, CountsWithoutDisturbingTheScan)
{
  ASSERT_STREQ(GetToken("a b c d", " "), "a");
  EXPECT_EQ(GetTokenCount("x,y,,z,", ","), 3);
  EXPECT_STREQ(GetTokenBuf, "a");
  EXPECT_EQ(GetTokenCount(nullptr, " "), 3) << "null counts the rest of the scan";
  EXPECT_STREQ(GetToken(nullptr, " "), "b");
  EXPECT_EQ(GetTokenCount("", " "), 0);
  EXPECT_EQ(GetTokenCount(" \t ", " \t"), 0);
}

// ---- Keyword lists ------------------------------------------------------------

TEST(FindToken, PositionsInKeywordLists)
{
  EXPECT_EQ(FindToken("y", ",y,yes,n,no,"), 1);
  EXPECT_EQ(FindToken("yes", ",y,yes,n,no,"), 2);
  EXPECT_EQ(FindToken("no", ",y,yes,n,no,"), 4);
  EXPECT_EQ(FindToken("Y", ",y,yes,n,no,"), 0);
  EXPECT_EQ(FindToken("-v", ",install,-v"), 2);
  EXPECT_EQ(FindToken("install", ",install,-v"), 1);
  EXPECT_EQ(FindToken(".", ";.;..;"), 1);
  EXPECT_EQ(FindToken("..", ";.;..;"), 2);
  EXPECT_EQ(FindToken("checkps", ",dir,dirto,t,c,m,#,v,s,newdir,checkps"), 10);
  EXPECT_EQ(FindToken("<=", ",<,<=,=,>,>=,"), 2);
}

TEST(FindToken, PrefixesAndSubstringsOfItemsDoNotMatch)
{
  const char *list = ",dir,dirto,t,c,newdir,";
  EXPECT_EQ(FindToken("dir", list), 1);
  EXPECT_EQ(FindToken("dirto", list), 2);
  EXPECT_EQ(FindToken("di", list), 0);
  EXPECT_EQ(FindToken("irt", list), 0);
  EXPECT_EQ(FindToken("newdi", list), 0);
  EXPECT_EQ(FindToken("ir", ",install,-v,dir"), 0);
  EXPECT_EQ(FindToken("newdir,", list), 0);
  EXPECT_EQ(FindToken("dir", ",newdir"), 0) << "the tail of the last item is no item";
}

TEST(FindToken, FirstCharacterIsAlwaysTheDelimiter)
{
  EXPECT_EQ(FindToken("c", "a,b,c"), 0);
  EXPECT_EQ(FindToken(",b,c", "a,b,c"), 1);
  EXPECT_EQ(FindToken("x", ""), 0);
  EXPECT_EQ(FindToken(nullptr, ",a,"), 0);
  EXPECT_EQ(FindToken("a", nullptr), 0);
}

TEST(FindToken, DirectoryListingsAndTheEmptyName)
{
  const char *listing = " . .. setup disks pkg_tar.1 ";
  EXPECT_EQ(FindToken("disks", listing), 4);
  EXPECT_EQ(FindToken("pkg_tar.1", listing), 5);
  EXPECT_EQ(FindToken("pkg_tar", listing), 0);
  EXPECT_EQ(FindToken("", listing), 6) << "an empty name matches the closing blank";
  EXPECT_EQ(FindToken("", ",a,,b"), 2);
}

TEST(FindToken, OverlongWordsAreNeverFound)
{
  std::string word(509, 'w');
  std::string list = "," + word + ",";
  EXPECT_EQ(FindToken(word.c_str(), list.c_str()), 1);
  EXPECT_EQ(FindTokenC(word.c_str(), list.c_str()), 1);
  // One character more and neither finds it, though the case-blind
  // pattern (no closing delimiter) would still have room.
  for (size_t n : {510, 2000}) {
    std::string longer(n, 'w');
    std::string longList = ",a," + longer + ",";
    EXPECT_EQ(FindToken(longer.c_str(), longList.c_str()), 0) << n;
    EXPECT_EQ(FindTokenC(longer.c_str(), longList.c_str()), 0) << n;
  }
}

TEST(FindToken, AgreesWithThePlainSearchOnArbitraryLists)
{
  std::mt19937 rng(20261208);
  const char alphabet[] = "ab, ";
  auto text = [&](size_t maxLen) {
    std::string t(rng() % (maxLen + 1), ' ');
    for (char &c : t)
      c = alphabet[rng() % 4];
    return t;
  };
  // Short and long lists, the delimiter a blank, a comma or a letter.
  for (int i = 0; i < 60000; i++) {
    std::string list = text(i % 100 == 0 ? 5000 : i % 3 == 0 ? 200 : 60);
    std::string word = text(4);
    ASSERT_EQ(FindToken(word.c_str(), list.c_str()), PlainFindToken(word, list))
        << "word [" << word << "] list [" << list << "]";
  }
}

// Letters of both cases, as words, items and delimiters ("a" is one when
// the list begins with it, and "A" is then an item character).
TEST(FindTokenC, AgreesWithThePlainWalkOnArbitraryLists)
{
  std::mt19937 rng(20261209);
  const char alphabet[] = "aAbB, ";
  auto text = [&](size_t maxLen) {
    std::string t(rng() % (maxLen + 1), ' ');
    for (char &c : t)
      c = alphabet[rng() % 6];
    return t;
  };
  for (int i = 0; i < 30000; i++) {
    std::string list = text(i % 100 == 0 ? 3000 : 60);
    std::string word = text(3);
    ASSERT_EQ(FindTokenC(word.c_str(), list.c_str()), PlainFindTokenC(word, list))
        << "word [" << word << "] list [" << list << "]";
  }
}

// Texts that end right before a page the process may not read: the
// searches and the scanners must stop at the terminator.
TEST(FindToken, ReadsNothingPastTheTerminator)
{
  size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  auto *m = static_cast<char *>(
      mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(m, MAP_FAILED);
  ASSERT_EQ(mprotect(m + page, page, PROT_NONE), 0);
  auto atPageEnd = [&](const std::string &text) {
    char *p = m + page - (text.size() + 1);
    memcpy(p, text.c_str(), text.size() + 1);
    return p;
  };
  std::mt19937 rng(7);
  for (int round = 0; round < 3; round++) {
    for (size_t len = 1; len < 200; len++) {
      std::string list(1, ',');
      while (list.size() < len)
        list += "ab,"[rng() % 3];
      const char *p = atPageEnd(list);
      for (const char *word : {"a", "b", "ab", "zz", ""}) {
        ASSERT_EQ(FindToken(word, p), PlainFindToken(word, list)) << "[" << list << "]";
        (void)FindTokenC(word, p);
      }
    }
  }
  for (const char *text : {"a\\", "\\", "ab,c\\", ",,,"}) {
    (void)AllTokens(atPageEnd(text), ",");
    (void)GetTokenCount(atPageEnd(text), ",");
    char *parsed = atPageEnd(text);
    while (GetTokenParse(parsed, ",") != nullptr)
      parsed = nullptr;
  }
  munmap(m, 2 * page);
}

TEST(FindToken, LongListsCountEveryDelimiter)
{
  std::string list = ",";
  for (int i = 1; i <= 3000; i++)
    list += "k" + std::to_string(i) + ",";
  EXPECT_EQ(FindToken("k1", list.c_str()), 1);
  EXPECT_EQ(FindToken("k2999", list.c_str()), 2999);
  EXPECT_EQ(FindToken("k3000", list.c_str()), 3000);
  list.pop_back();
  EXPECT_EQ(FindToken("k3000", list.c_str()), 3000);
  EXPECT_EQ(FindToken("", list.c_str()), 0);
  EXPECT_EQ(FindToken("k300", list.c_str()), 300);
  EXPECT_EQ(FindToken("k30000", list.c_str()), 0);
}

TEST(FindTokenC, IgnoresCaseAndTakesTheFirstMatch)
{
  EXPECT_EQ(FindTokenC("Y", ",y,yes,n,no,"), 1);
  EXPECT_EQ(FindTokenC("YeS", ",y,yes,n,no,"), 2);
  EXPECT_EQ(FindTokenC("ye", ",y,yes,n,no,"), 0);
  EXPECT_EQ(FindTokenC("-V", ",install,-v"), 2);
  EXPECT_EQ(FindTokenC("a", ",A,a,"), 1);
  EXPECT_EQ(FindTokenC("INSTALLX", ",install,"), 0);
  EXPECT_EQ(FindTokenC("c", "a,b,c"), 0);
  EXPECT_EQ(FindTokenC(nullptr, ",a"), 0);
  EXPECT_EQ(FindTokenC("a", nullptr), 0);
}

TEST(FindTokenWithDelim, CountsItemsFromTheStart)
{
  EXPECT_EQ(FindTokenWithDelim("a,b,c", "a", ','), 1);
  EXPECT_EQ(FindTokenWithDelim("a,b,c", "c", ','), 3);
  EXPECT_EQ(FindTokenWithDelim("ab,abc,b", "abc", ','), 2);
  EXPECT_EQ(FindTokenWithDelim("abc,b", "ab", ','), 0);
  EXPECT_EQ(FindTokenWithDelim("a,b,", "", ','), 3) << "a closing delimiter makes an empty item";
  EXPECT_EQ(FindTokenWithDelim("a,b", "", ','), 0);
  EXPECT_EQ(FindTokenWithDelim(nullptr, "a", ','), 0);
  EXPECT_EQ(FindTokenWithDelim("a", nullptr, ','), 0);
}

// ---- SortTokens ----------------------------------------------------------------

TEST(SortTokens, SortsInPlaceKeepingTheDelimiters)
{
  char list[16] = ",b,a,c,";
  SortTokens(list, ',', 0);
  EXPECT_STREQ(list, ",a,b,c,");

  char open[16] = ",b,a";
  SortTokens(open, ',', 0);
  EXPECT_STREQ(open, ",a,b,") << "an item without delimiter gains one when not last";

  char last[16] = "b,c";
  SortTokens(last, ',', 0);
  EXPECT_STREQ(last, "b,c");
}

TEST(SortTokens, DelimiterTakesPartInTheOrder)
{
  char list[32] = "ab,a,b1,b,";
  SortTokens(list, ',', 0);
  EXPECT_STREQ(list, "a,ab,b,b1,");
}

TEST(SortTokens, CaseEscapesAndStability)
{
  char cased[32] = "b,A,a,B,";
  SortTokens(cased, ',', 0);
  EXPECT_STREQ(cased, "A,B,a,b,");
  char blind[32] = "b,A,a,B,";
  SortTokens(blind, ',', 1);
  EXPECT_STREQ(blind, "A,a,b,B,") << "equal items keep their order";

  char esc[32] = "z\\,a,m,";
  SortTokens(esc, ',', 0);
  EXPECT_STREQ(esc, "m,z\\,a,");

  char percent[32] = "%s,%d,";
  SortTokens(percent, ',', 0);
  EXPECT_STREQ(percent, "%d,%s,");
}

TEST(SortTokens, TrailingBackslashNeverJoinsTwoItems)
{
  // The last item sorts first and gains a delimiter: a backslash kept at
  // its end would escape it and make one item of two.
  char list[16] = ",b,a\\";
  SortTokens(list, ',', 0);
  EXPECT_STREQ(list, ",a,b,");
  char escaped[16] = "b,a\\\\";
  SortTokens(escaped, ',', 0);
  EXPECT_STREQ(escaped, "a\\\\,b,") << "an escaped backslash is an ordinary character";
}

TEST(SortTokens, DegenerateLists)
{
  SortTokens(nullptr, ',', 0);
  char empty[4] = "";
  SortTokens(empty, ',', 0);
  EXPECT_STREQ(empty, "");
  char delims[8] = ",,,";
  SortTokens(delims, ',', 0);
  EXPECT_STREQ(delims, ",,,");
  char one[8] = "x";
  SortTokens(one, ',', 0);
  EXPECT_STREQ(one, "x");
}

// ---- Gets -------------------------------------------------------------------

class GetsTest : public testing::Test {
protected:
  void Feed(const std::string &input)
  {
    char path[] = "/tmp/test_tokenizer_gets_XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, input.data(), input.size()), static_cast<ssize_t>(input.size()));
    close(fd);
    ASSERT_NE(freopen(path, "r", stdin), nullptr);
    unlink(path);
  }
};

TEST_F(GetsTest, ReadsLinesWithoutTheirNewline)
{
  Feed("first\n\nlast");
  char buf[32];
  EXPECT_STREQ(Gets(buf, sizeof buf), "first");
  EXPECT_STREQ(Gets(buf, sizeof buf), "") << "an empty line is not the end";
  EXPECT_STREQ(Gets(buf, sizeof buf), "last");
  EXPECT_EQ(Gets(buf, sizeof buf), nullptr);
}

TEST_F(GetsTest, CapacityBoundsTheLine)
{
  Feed("abcdefg\nz\n");
  char buf[8];
  memset(buf, '#', sizeof buf);
  EXPECT_STREQ(Gets(buf, 1), "") << "no room: nothing is read";
  EXPECT_STREQ(Gets(buf, 4), "abc");
  EXPECT_EQ(buf[4], '#');
  EXPECT_STREQ(Gets(buf, 4), "def");
  EXPECT_STREQ(Gets(buf, 4), "g");
  EXPECT_STREQ(Gets(buf, 4), "z");
  EXPECT_EQ(Gets(buf, 4), nullptr);
  EXPECT_EQ(Gets(buf, 0), nullptr);
}
