// Message fetch, conversions, formatted output and checksum, against
// in-memory databases filled record by record.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/ChildProcess.h"
#include "memmgr/MemMgr.h"
#include "nls/NlsUtils.h"
#include "textmenu/TextMenu.h"

namespace {

// A database that lives in memory only: nothing is read or written.
DbTHandle *MemoryDb()
{
  return DbTOpen("/nonexistent/nls-test.ndb", DBT_KEEP_IMAGE | DBT_NO_ARCHIVE);
}

// Stores text with its terminator, as message values are kept.
void Put(DbTHandle *h, const char *key, const std::string &text)
{
  ASSERT_EQ(DbmTPutRecord(h, key, text.c_str(), static_cast<int>(text.size() + 1)), 1);
}

// A buffer of NLS_STRBUF_SIZE bytes with guard bytes behind it.
struct GuardedBuf {
  char bytes[NLS_STRBUF_SIZE + 64];
  GuardedBuf() { memset(bytes, '#', sizeof bytes); }
  char *out() { return bytes; }
  bool GuardIntact() const
  {
    for (size_t i = NLS_STRBUF_SIZE; i < sizeof bytes; i++)
      if (bytes[i] != '#')
        return false;
    return true;
  }
};

class NlsFetch : public testing::Test {
protected:
  DbTHandle *db = nullptr;
  void SetUp() override
  {
    db = MemoryDb();
    Put(db, "25_3", "Three");
    Put(db, "colour", "red");
    pDrvCoreDB = db;
  }
  void TearDown() override
  {
    pDrvCoreDB = nullptr;
    DbTClose(db);
  }
};

}  // namespace

TEST_F(NlsFetch, FoundValueInEveryModeWithItsOwnership)
{
  char out[NLS_STRBUF_SIZE];
  EXPECT_EQ(NlsFetchString(db, out, NLS_BY_NUMBER, 25, 3), out);
  EXPECT_STREQ(out, "Three");
  EXPECT_EQ(NlsFetchString(db, out, NLS_BY_KEY, "colour"), out);
  EXPECT_STREQ(out, "red");
  EXPECT_EQ(NlsFetchString(db, out, NLS_BY_KEY_ALT, "colour"), out);

  // Without a buffer, and in mode 3 always, a new pool copy each time.
  for (int mode : {NLS_BY_NUMBER, NLS_BY_NUMBER_LONG}) {
    char *a = NlsFetchString(db, nullptr, mode, 25, 3);
    char *b = NlsFetchString(db, out, mode, 25, 3);
    EXPECT_STREQ(a, "Three");
    EXPECT_NE(a, out);
    if (mode == NLS_BY_NUMBER_LONG) {
      EXPECT_NE(b, out);  // mode 3 ignores the buffer
      EXPECT_STREQ(b, "Three");
      PutMem(b);
    }
    PutMem(a);
  }
  char *c = NlsFetchString(db, nullptr, NLS_BY_KEY, "colour");
  EXPECT_STREQ(c, "red");
  PutMem(c);
}

TEST_F(NlsFetch, MissingMessageShowsItsKey)
{
  char out[NLS_STRBUF_SIZE];
  // Numbers: the key "25_4" in the buffer, or as a pool string.
  EXPECT_EQ(NlsFetchString(db, out, NLS_BY_NUMBER, 25, 4), out);
  EXPECT_STREQ(out, "25_4");
  char *k = NlsFetchString(db, nullptr, NLS_BY_NUMBER, 25, 4);
  EXPECT_STREQ(k, "25_4");
  PutMem(k);
  k = NlsFetchString(db, out, NLS_BY_NUMBER_LONG, -2, 77);
  EXPECT_NE(k, out);
  EXPECT_STREQ(k, "-2_77");
  PutMem(k);
  // A key text: the caller's own pointer comes back.
  const char *key = "no such key";
  EXPECT_EQ(NlsFetchString(db, nullptr, NLS_BY_KEY, key), key);
  EXPECT_EQ(NlsFetchString(db, out, NLS_BY_KEY, key), out);
  EXPECT_STREQ(out, key);
  // With a database, set 0 is looked up like any other key.
  Put(db, "0_1", "zero set");
  EXPECT_STREQ(NlsFetchString(db, out, NLS_BY_NUMBER, 0, 1), "zero set");
}

TEST_F(NlsFetch, NullHandleGivesKeyForNumbersAndSharedErrorOtherwise)
{
  char out[NLS_STRBUF_SIZE];
  char *k = NlsFetchString(nullptr, nullptr, NLS_BY_NUMBER, 25, 3);
  EXPECT_STREQ(k, "25_3");
  PutMem(k);
  EXPECT_EQ(NlsFetchString(nullptr, out, NLS_BY_NUMBER, 25, 3), out);
  EXPECT_STREQ(out, "25_3");

  // No usable key: one shared "Error" text, the buffer left alone.
  strcpy(out, "untouched");
  char *e = NlsFetchString(nullptr, out, NLS_BY_KEY, "colour");
  EXPECT_STREQ(e, "Error");
  EXPECT_STREQ(out, "untouched");
  EXPECT_EQ(NlsFetchString(nullptr, nullptr, NLS_BY_NUMBER, 0, 3), e);
  EXPECT_EQ(NlsFetchString(nullptr, nullptr, NLS_BY_NUMBER_LONG, 25, 0), e);
  EXPECT_EQ(NlsFetchString(db, out, NLS_BY_KEY, static_cast<const char *>(nullptr)), e);
  EXPECT_EQ(NlsFetchString(db, out, 7), e);
  EXPECT_STREQ(out, "untouched");
}

TEST_F(NlsFetch, LongValuesWholeInModeThreeAndCutToTheBufferOtherwise)
{
  std::string big(3000, 'x');
  for (size_t i = 0; i < big.size(); i++)
    big[i] = static_cast<char>('a' + i % 26);
  Put(db, "40_1", big);
  // Mode 3 keeps all 3000 bytes.
  char *whole = NlsFetchString(db, nullptr, NLS_BY_NUMBER_LONG, 40, 1);
  EXPECT_EQ(std::string(whole), big);
  PutMem(whole);

  // A buffer of NLS_STRBUF_SIZE bytes always suffices: 2047 characters and
  // the terminator, nothing behind it.
  GuardedBuf buf;
  EXPECT_EQ(NlsFetchString(db, buf.out(), NLS_BY_NUMBER, 40, 1), buf.out());
  EXPECT_EQ(std::string(buf.out()), big.substr(0, NLS_STRBUF_SIZE - 1));
  EXPECT_TRUE(buf.GuardIntact());
  char *cut = NlsFetchString(db, nullptr, NLS_BY_NUMBER, 40, 1);
  EXPECT_EQ(strlen(cut), size_t(NLS_STRBUF_SIZE - 1));
  PutMem(cut);

  // A value of exactly 2048 bytes without terminator: whole in mode 3, cut
  // by one in a buffer.
  std::string edge = big.substr(0, NLS_STRBUF_SIZE);
  ASSERT_EQ(DbmTPutRecord(db, "40_2", edge.data(), NLS_STRBUF_SIZE), 1);
  whole = NlsFetchString(db, nullptr, NLS_BY_NUMBER_LONG, 40, 2);
  EXPECT_EQ(std::string(whole), edge);
  PutMem(whole);
  GuardedBuf buf2;
  NlsFetchString(db, buf2.out(), NLS_BY_NUMBER, 40, 2);
  EXPECT_EQ(strlen(buf2.out()), size_t(NLS_STRBUF_SIZE - 1));
  EXPECT_TRUE(buf2.GuardIntact());

  // A value stored without its terminator still arrives terminated, and an
  // overlong key text given back in a buffer is cut like a value.
  ASSERT_EQ(DbmTPutRecord(db, "bare", "abc", 3), 1);
  char out[8];
  memset(out, '#', sizeof out);
  NlsFetchString(db, out, NLS_BY_KEY, "bare");
  EXPECT_STREQ(out, "abc");
  GuardedBuf buf3;
  std::string longKey(5000, 'k');
  NlsFetchString(db, buf3.out(), NLS_BY_KEY, longKey.c_str());
  EXPECT_EQ(strlen(buf3.out()), size_t(NLS_STRBUF_SIZE - 1));
  EXPECT_TRUE(buf3.GuardIntact());
}

TEST_F(NlsFetch, TemplateSlotsComeFromTheSet)
{
  Put(db, "7_1", "red");
  Put(db, "7_2", "blue");
  char dest[64];
  EXPECT_STREQ(NlsGuiStrCvt("%s and %s", 7, dest, sizeof dest), "red and blue");
  EXPECT_STREQ(NlsGuiStrCvt("%d%% %s%", 7, dest, sizeof dest), "%d%% red%");
  DbmTDeleteRecord(db, "7_2");
  EXPECT_STREQ(NlsGuiStrCvt("%s and %s", 7, dest, sizeof dest), "red and 7_2");

  // The destination's size bounds the result; a slot holds 1023 characters.
  memset(dest, '#', sizeof dest);
  EXPECT_STREQ(NlsGuiStrCvt("%s and %s and more", 7, dest, 10), "red and 7");
  EXPECT_EQ(dest[10], '#');
  Put(db, "8_1", std::string(3000, 'y'));
  static char wide[4096];
  NlsGuiStrCvt("<%s>", 8, wide, sizeof wide);
  EXPECT_EQ(std::string(wide), "<" + std::string(NLS_SLOT_MAX, 'y') + ">");
}

TEST_F(NlsFetch, MenuConversionsFillTextsFromSetTwentyFive)
{
  Put(db, "25_10", "~a Apply");
  Put(db, "25_11", "Paper size");
  Put(db, "25_12", std::string(300, 'L'));
  char choices[] = "old";
  TextMenuItem items[4] = {};
  items[3].pLabel = "untouched";
  items[0].pChoices = choices;
  EXPECT_EQ(NlsTtyMenuItemCvt(items, 10, 3), 3);
  EXPECT_STREQ(items[0].pLabel, "~a Apply");
  EXPECT_STREQ(items[1].pLabel, "Paper size");
  EXPECT_EQ(std::string(items[2].pLabel), std::string(NLS_ITEM_TEXT_MAX, 'L'));
  EXPECT_STREQ(items[3].pLabel, "untouched");
  EXPECT_EQ(NlsTtyMenuItemStateCvt(items, 11, 2), 2);
  EXPECT_STREQ(items[0].pChoices, "Paper size");
  EXPECT_EQ(std::string(items[1].pChoices), std::string(NLS_ITEM_TEXT_MAX, 'L'));
  EXPECT_EQ(NlsTtyMenuItemPromptCvt(items, 13, 1), 1);
  EXPECT_STREQ(items[0].pPrompt, "25_13");
  EXPECT_EQ(NlsTtyMenuItemCvt(items, 10, 0), 0);
  EXPECT_EQ(NlsTtyMenuItemCvt(items, 10, -1), 0);

  const char *title = "literal";
  char *t = NlsTtyMenuCvt(&title, 3);
  EXPECT_EQ(title, t);
  EXPECT_STREQ(title, "Three");
  // Without a database the title names its key; the caller owns it.
  pDrvCoreDB = nullptr;
  EXPECT_STREQ(NlsTtyMenuCvt(&title, 3), "25_3");
  PutMem(const_cast<char *>(title));
}

TEST_F(NlsFetch, FormattedOutputAndErrorForMissingMessages)
{
  Put(db, "25_1017", "\nDo you want to return to %s menu");
  Put(db, "30_42", "This text length must be from %i to %i characters long.");
  ChildResult r = RunChild([&] {
    Nlsfprintf(stdout, db, 25, 1017, "Main");
    Nlsfprintf(stdout, db, 25, 9999, "Main");
    Nlsfprintf(stdout, nullptr, 25, 1017, "Main");
  });
  EXPECT_EQ(r.out, "\nDo you want to return to Main menuErrorError");

  const std::string whole = "This text length must be from 1 to 255 characters long.";
  const int wholeLen = static_cast<int>(whole.size());
  char dest[128];
  EXPECT_EQ(Nlssprintf(dest, db, 30, 42, 1, 255), wholeLen);
  EXPECT_EQ(dest, whole);
  Nlssprintf(dest, db, 30, 43, 1, 2);
  EXPECT_STREQ(dest, "Error");
  Nlssprintf(dest, nullptr, 30, 42, 1, 2);
  EXPECT_STREQ(dest, "Error");
  Nlssprintf(dest, nullptr, 0, 42);
  EXPECT_STREQ(dest, "Error");

  // The bounded form cuts and terminates, and says what the whole would be.
  memset(dest, '#', sizeof dest);
  EXPECT_EQ(Nlssnprintf(dest, 10, db, 30, 42, 1, 255), wholeLen);
  EXPECT_STREQ(dest, "This text");
  EXPECT_EQ(dest[10], '#');
  EXPECT_EQ(Nlssnprintf(dest, 3, db, 30, 1, 1), 5);
  EXPECT_STREQ(dest, "Er");
  EXPECT_EQ(Nlssnprintf(nullptr, 0, db, 30, 42, 1, 255), wholeLen);
}

TEST(NlsCalcStrVal, WeightedAndPlainSumsInHex)
{
  EXPECT_STREQ(NlsCalcStrVal("abc"), "0000056400000126");
  EXPECT_STREQ(NlsCalcStrVal(""), "0000000000000000");
  EXPECT_STREQ(NlsCalcStrVal(nullptr), "0000000000000000");
  // Bytes count as signed: 0xFF is -1.
  EXPECT_STREQ(NlsCalcStrVal("\xff"), "FFFFFFFFFFFFFFFF");
  // 32-bit wrap of the weighted sum: 70000 'z's.
  std::string many(70000, 'z');
  uint32_t w = 0, s = 0;
  for (uint32_t i = 1; i <= 70000; i++) {
    w += i * i * 122u;
    s += 122u;
  }
  char expect[32];
  snprintf(expect, sizeof expect, "%08X%08X", w, s);
  EXPECT_STREQ(NlsCalcStrVal(many.c_str()), expect);
}
