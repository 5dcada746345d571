// Message fetch, conversions, formatted output and checksum, against an
// in-memory database filled record by record.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/ChildProcess.h"
#include "memmgr/MemMgr.h"
#include "nls/NlsUtils.h"
#include "textmenu/TextMenu.h"

namespace {

class NlsFetch : public testing::Test {
protected:
  DbTHandle *db = nullptr;
  void SetUp() override
  {
    // Nothing is read or written: the image lives in memory only.
    db = DbTOpen("/nonexistent/nls-test.ndb", DBT_KEEP_IMAGE | DBT_NO_ARCHIVE);
    Put("25_3", "Three");
    Put("colour", "red");
    pDrvCoreDB = db;
  }
  void TearDown() override
  {
    pDrvCoreDB = nullptr;
    DbTClose(db);
  }
  // Stores text with its terminator, as message values are kept.
  void Put(const char *key, const std::string &text)
  {
    ASSERT_EQ(DbmTPutRecord(db, key, text.c_str(), int(text.size() + 1)), 1);
  }
};

// A caller's buffer of NLS_STRBUF_SIZE bytes, with guard bytes behind it.
struct Guarded {
  std::string bytes = std::string(NLS_STRBUF_SIZE + 16, '#');
  char *out() { return bytes.data(); }
  bool Intact() const { return bytes.substr(NLS_STRBUF_SIZE) == std::string(16, '#'); }
};

}  // namespace

TEST_F(NlsFetch, ResultsAndOwnershipOfEveryMode)
{
  char out[NLS_STRBUF_SIZE];
  EXPECT_EQ(NlsFetchString(db, out, NLS_BY_NUMBER, 25, 3), out);
  EXPECT_STREQ(out, "Three");
  EXPECT_EQ(NlsFetchString(db, out, NLS_BY_KEY_ALT, "colour"), out);
  EXPECT_STREQ(out, "red");
  // A new pool copy without a buffer, and in mode 3, which ignores it.
  for (int mode : {NLS_BY_NUMBER, NLS_BY_NUMBER_LONG}) {
    char *p = NlsFetchString(db, mode == NLS_BY_NUMBER ? nullptr : out, mode, 25, 3);
    EXPECT_NE(p, out);
    EXPECT_STREQ(p, "Three");
    PutMem(p);
  }

  // Missing: the key, in the buffer, as a pool string, or the caller's own.
  EXPECT_EQ(NlsFetchString(db, out, NLS_BY_NUMBER, 25, 4), out);
  EXPECT_STREQ(out, "25_4");
  char *p = NlsFetchString(db, out, NLS_BY_NUMBER_LONG, -2, 77);
  EXPECT_STREQ(p, "-2_77");
  PutMem(p);
  const char *key = "no such key";
  EXPECT_EQ(NlsFetchString(db, nullptr, NLS_BY_KEY, key), key);

  // No database: the key of two nonzero numbers, else one shared "Error".
  p = NlsFetchString(nullptr, nullptr, NLS_BY_NUMBER, 25, 3);
  EXPECT_STREQ(p, "25_3");
  PutMem(p);
  strcpy(out, "kept");
  char *e = NlsFetchString(nullptr, out, NLS_BY_KEY, "colour");
  EXPECT_STREQ(e, "Error");
  EXPECT_EQ(NlsFetchString(nullptr, nullptr, NLS_BY_NUMBER, 0, 3), e);
  EXPECT_EQ(NlsFetchString(nullptr, out, NLS_BY_NUMBER_LONG, 25, 0), e);
  EXPECT_EQ(NlsFetchString(db, out, NLS_BY_KEY, static_cast<const char *>(nullptr)), e);
  EXPECT_STREQ(out, "kept");
}

TEST_F(NlsFetch, LongValuesWholeInModeThreeAndCutToTheBufferOtherwise)
{
  std::string big(3000, 'x');
  for (size_t i = 0; i < big.size(); i++)
    big[i] = char('a' + i % 26);
  Put("40_1", big);
  char *whole = NlsFetchString(db, nullptr, NLS_BY_NUMBER_LONG, 40, 1);
  EXPECT_EQ(whole, big);
  PutMem(whole);
  // NLS_STRBUF_SIZE bytes always suffice: 2047 characters and a terminator,
  // for values and for key texts given back.
  Guarded a, b;
  NlsFetchString(db, a.out(), NLS_BY_NUMBER, 40, 1);
  EXPECT_EQ(std::string(a.out()), big.substr(0, NLS_STRBUF_SIZE - 1));
  std::string longKey(5000, 'k');
  NlsFetchString(db, b.out(), NLS_BY_KEY, longKey.c_str());
  EXPECT_EQ(strlen(b.out()), size_t(NLS_STRBUF_SIZE - 1));
  EXPECT_TRUE(a.Intact() && b.Intact());
  // A value stored without its terminator still arrives terminated.
  ASSERT_EQ(DbmTPutRecord(db, "bare", "abc", 3), 1);
  char out[8] = "#######";
  EXPECT_STREQ(NlsFetchString(db, out, NLS_BY_KEY, "bare"), "abc");
}

TEST_F(NlsFetch, TemplatesAndMenuTexts)
{
  Put("7_1", "red");
  Put("7_2", "blue");
  char dest[32];
  EXPECT_STREQ(NlsGuiStrCvt("%s and %s", 7, dest, sizeof dest), "red and blue");
  EXPECT_STREQ(NlsGuiStrCvt("%d%% %s%", 7, dest, sizeof dest), "%d%% red%");
  DbmTDeleteRecord(db, "7_2");
  EXPECT_STREQ(NlsGuiStrCvt("%s and %s", 7, dest, sizeof dest), "red and 7_2");
  memset(dest, '#', sizeof dest);
  EXPECT_STREQ(NlsGuiStrCvt("%s and %s and more", 7, dest, 10), "red and 7");
  EXPECT_EQ(dest[10], '#');
  Put("8_1", std::string(3000, 'y'));
  static char wide[4096];
  NlsGuiStrCvt("<%s>", 8, wide, sizeof wide);
  EXPECT_EQ(std::string(wide), "<" + std::string(NLS_SLOT_MAX, 'y') + ">");

  Put("25_10", "~a Apply");
  Put("25_12", std::string(300, 'L'));
  TextMenuItem items[3] = {};
  EXPECT_EQ(NlsTtyMenuItemCvt(items, 10, 3), 3);
  EXPECT_STREQ(items[0].pLabel, "~a Apply");
  EXPECT_STREQ(items[1].pLabel, "25_11");
  EXPECT_EQ(std::string(items[2].pLabel), std::string(NLS_ITEM_TEXT_MAX, 'L'));
  EXPECT_EQ(NlsTtyMenuItemStateCvt(items, 3, 1), 1);
  EXPECT_EQ(NlsTtyMenuItemPromptCvt(items + 1, 10, 1), 1);
  EXPECT_STREQ(items[0].pChoices, "Three");
  EXPECT_STREQ(items[1].pPrompt, "~a Apply");
  EXPECT_EQ(NlsTtyMenuItemCvt(items, 10, -1), 0);
  const char *title = "literal";
  EXPECT_EQ(NlsTtyMenuCvt(&title, 3), title);
  EXPECT_STREQ(title, "Three");
}

TEST_F(NlsFetch, FormattedOutputShowsErrorForMissingMessages)
{
  Put("25_1017", "\nDo you want to return to %s menu");
  Put("30_42", "This text length must be from %i to %i characters long.");
  ChildResult r = RunChild([&] {
    Nlsfprintf(stdout, db, 25, 1017, "Main");
    Nlsfprintf(stdout, db, 25, 9999, "Main");
    Nlsfprintf(stdout, nullptr, 25, 1017, "Main");
  });
  EXPECT_EQ(r.out, "\nDo you want to return to Main menuErrorError");

  const std::string whole = "This text length must be from 1 to 255 characters long.";
  char dest[128];
  EXPECT_EQ(Nlssprintf(dest, db, 30, 42, 1, 255), int(whole.size()));
  EXPECT_EQ(dest, whole);
  Nlssprintf(dest, db, 30, 43, 1, 2);
  EXPECT_STREQ(dest, "Error");
  Nlssprintf(dest, nullptr, 0, 42);
  EXPECT_STREQ(dest, "Error");
  // The bounded form cuts, terminates and tells the whole length.
  memset(dest, '#', sizeof dest);
  EXPECT_EQ(Nlssnprintf(dest, 10, db, 30, 42, 1, 255), int(whole.size()));
  EXPECT_STREQ(dest, "This text");
  EXPECT_EQ(dest[10], '#');
  EXPECT_EQ(Nlssnprintf(dest, 3, nullptr, 30, 42, 1, 255), 5);
  EXPECT_STREQ(dest, "Er");
}

TEST(NlsCalcStrVal, WeightedAndPlainSumsOfSignedBytes)
{
  EXPECT_STREQ(NlsCalcStrVal("abc"), "0000056400000126");
  EXPECT_STREQ(NlsCalcStrVal(""), "0000000000000000");
  EXPECT_STREQ(NlsCalcStrVal("\xff"), "FFFFFFFFFFFFFFFF");  // -1
  // 2000 'z': W = 122 * 2000 * 2001 * 4001 / 6 wraps at 32 bits.
  EXPECT_STREQ(NlsCalcStrVal(std::string(2000, 'z').c_str()), "CDEC79300003B920");
}
