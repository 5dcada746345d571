// The plain record file: byte layout, matching rules, update path, the
// sequential counter and damaged files.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "DbmTestDir.h"
#include "memmgr/MemMgr.h"

namespace {

std::string Get(const char *db, const char *key)
{
  static char buf[DBM_BUF_SIZE];
  int n = DbmGetRecord(db, key, buf);
  return std::string(buf, static_cast<size_t>(n));
}

bool Put(const char *db, const char *key, const std::string &value)
{
  return DbmPutRecord(db, key, value.data(), static_cast<int>(value.size())) == 1;
}

std::string Keys(const char *db)
{
  char *list = DbmGetRecordList(db, ",", ",");
  std::string out = list ? list : "(null)";
  PutMem(list);
  return out;
}

TEST_F(DbmTest, SevenBytePlainRecordAndItsDump)
{
  ASSERT_TRUE(Put("t", "k", "v"));
  EXPECT_EQ(ReadBytes(DbFile("t")), std::string("\x05\x00\x02\x6b\x6b\x76\x76", 7));
  EXPECT_EQ(Get("t", "k"), "v");
  EXPECT_FALSE(std::filesystem::exists(base + "/db/t.ndb_new"));

  std::filesystem::copy_file(DbFile("t"), base + "/t.db");
  testing::internal::CaptureStdout();
  DumpDbm("t");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "5 2 ==>{k.v}\n");
}

TEST_F(DbmTest, StoringAgainMovesTheRecordToTheEnd)
{
  ASSERT_TRUE(Put("t", "a", "1"));
  ASSERT_TRUE(Put("t", "b", "2"));
  ASSERT_TRUE(Put("t", "a", "three"));
  EXPECT_EQ(Keys("t"), ",b,a,");
  EXPECT_EQ(Get("t", "a"), "three");
  EXPECT_EQ(DbmGetRecordSize("t", "a"), 5);
  // Two records: b (4+2+1 bytes + 2) and a (4+2+5 bytes + 2 - 2)
  EXPECT_EQ(ReadBytes(DbFile("t")).size(), 7u + 11u);
}

TEST_F(DbmTest, KeysMatchExactlyButPrefixDeletesByPrefix)
{
  for (const char *k : {"a", "abc", "abx", "ab"})
    ASSERT_TRUE(Put("t", k, std::string("v-") + k));
  ASSERT_TRUE(DbmDeleteRecord("t", "abc"));
  EXPECT_EQ(Keys("t"), ",a,abx,ab,");
  EXPECT_EQ(DbmDeleteRecord("t", "abcd"), 1);  // nothing to drop: still rewritten
  EXPECT_EQ(Get("t", "ab"), "v-ab");
  EXPECT_EQ(Get("t", "b"), "");
  EXPECT_EQ(DbmGetRecordSize("t", "abxy"), 0);
  EXPECT_EQ(DbmCopyRecord("t", "abz", "z"), 0);
  ASSERT_EQ(DbmCopyRecord("t", "a", "ab2"), 1);
  EXPECT_EQ(Get("t", "ab2"), "v-a");

  EXPECT_EQ(DbmDeleteRecords("t", "ab"), 1);
  EXPECT_EQ(Keys("t"), ",a,");
  EXPECT_EQ(DbmDeleteRecords("t", ""), 0);
  EXPECT_EQ(DbmDeleteRecords("missing", "a"), 0);
  EXPECT_EQ(DbmDeleteRecord("missing", "a"), 0);
}

TEST_F(DbmTest, RefusedStoresLeaveTheFileAlone)
{
  ASSERT_TRUE(Put("t", "k", "v"));
  std::string before = ReadBytes(DbFile("t"));
  char v = 'x';
  EXPECT_EQ(DbmPutRecord("t", "k", &v, 0), 0);
  EXPECT_EQ(DbmPutRecord("t", nullptr, &v, 1), 0);
  EXPECT_EQ(DbmPutRecord("t", "k", nullptr, 1), 0);
  EXPECT_EQ(DbmPutRecord(nullptr, "k", &v, 1), 0);
  EXPECT_EQ(DbmGetRecord("t", nullptr, &v), 0);
  EXPECT_EQ(DbmGetRecordList("t", nullptr, ","), nullptr);

  // Key, terminator and value together may fill 65525 bytes and no more: a
  // longer record would be written with a wrapped 16-bit length.
  std::string big(65525 - 2, 'b');
  EXPECT_FALSE(Put("t", "kk", big + "!"));
  EXPECT_FALSE(Put("t", "kk", std::string(65536 - 5 + 7, 'w')));  // wraps to a tiny length
  EXPECT_EQ(ReadBytes(DbFile("t")), before);
  ASSERT_TRUE(Put("t", "k", big.substr(1)));
  ASSERT_TRUE(Put("t", "kk", "tail"));
  EXPECT_EQ(Get("t", "k"), big.substr(1));
  EXPECT_EQ(Get("t", "kk"), "tail");
}

TEST_F(DbmTest, KeyListsAndDatabaseList)
{
  EXPECT_EQ(DbmGetDbList(0), nullptr);  // no ./db yet
  EXPECT_EQ(Keys("none"), "(null)");
  ASSERT_TRUE(Put("a", "a", "1"));
  ASSERT_TRUE(Put("a", "b", "2"));
  EXPECT_EQ(Keys("a"), ",a,b,");
  char *list = DbmGetRecordList("a", "<", ">");
  EXPECT_STREQ(list, "<a<b>");
  PutMem(list);

  ASSERT_TRUE(Put("c", "x", "1"));
  WriteBytes(base + "/db/b.txt", "x");
  WriteBytes(base + "/db/d.x.ndb", "x");
  char *names = DbmGetDbList(0);
  ASSERT_NE(names, nullptr);
  std::string s = names;
  EXPECT_TRUE(s == "a,c" || s == "c,a") << s;
  PutMem(names);
  names = DbmGetDbList(1);
  s = names;
  EXPECT_TRUE(s == " a c" || s == " c a") << s;
  PutMem(names);

  std::filesystem::remove(base + "/db/a.ndb");
  std::filesystem::remove(base + "/db/c.ndb");
  names = DbmGetDbList(0);
  EXPECT_STREQ(names, "");
  PutMem(names);
  names = DbmGetDbList(1);
  EXPECT_STREQ(names, " ");
  PutMem(names);
}

TEST_F(DbmTest, SequentialCounterIsSharedAcrossDatabases)
{
  ASSERT_TRUE(Put("one", "a", "1a"));
  ASSERT_TRUE(Put("one", "b", "1b"));
  for (const char *k : {"a", "b", "c"})
    ASSERT_TRUE(Put("two", k, std::string("2") + k));
  char buf[16] = {};
  ASSERT_EQ(DbmGetNextRecord("one", buf), 2);
  EXPECT_EQ(std::string(buf, 2), "1a");
  ASSERT_EQ(DbmGetNextRecord("one", buf), 2);
  EXPECT_EQ(std::string(buf, 2), "1b");
  EXPECT_EQ(DbmGetNextRecord("one", buf), 0);
  EXPECT_EQ(DbmGetNextRecord("one", buf), 0);  // the counter stayed at 2
  ASSERT_EQ(DbmGetNextRecord("two", buf), 2);  // record 2 of the other database
  EXPECT_EQ(std::string(buf, 2), "2c");
  EXPECT_EQ(DbmGetNextRecord("two", buf), 0);
  EXPECT_EQ(DbmGetNextRecord("one", buf), 0);
}

TEST_F(DbmTest, LinkListKeepsFileOrder)
{
  ASSERT_TRUE(Put("t", "color.red", "ff0000"));
  ASSERT_TRUE(Put("t", "size", "12"));
  ASSERT_TRUE(Put("t", "color.blue", "0000ff"));
  DbLink *first = DbmGetDbLinkList("t", "color");
  ASSERT_NE(first, nullptr);
  EXPECT_STREQ(first->pKey, "color.red");
  EXPECT_EQ(std::string(first->pData, static_cast<size_t>(first->DataLen)), "ff0000");
  ASSERT_NE(first->pNext, nullptr);
  EXPECT_STREQ(first->pNext->pKey, "color.blue");
  EXPECT_EQ(first->pNext->pNext, nullptr);
  DbmFreeDbLinkList(first);
  EXPECT_EQ(DbmGetDbLinkList("t", "none"), nullptr);
}

TEST_F(DbmTest, NoBaseDirectoryMeansNoDatabase)
{
  pToolPath = nullptr;
  EXPECT_FALSE(Put("t", "k", "v"));
  EXPECT_EQ(Get("t", "k"), "");
  EXPECT_EQ(Keys("t"), "(null)");
}

// Every truncation and every single-bit flip of a file of several records:
// reads end at the last sound record and never leave their buffers.
TEST_F(DbmTest, DamagedFilesEndTheScan)
{
  const std::vector<std::pair<std::string, std::string>> recs = {
      {"alpha", "first value"}, {"b", "2"}, {"gamma", std::string(40, 'g')}, {"d", "last"}};
  for (auto &[k, v] : recs)
    ASSERT_TRUE(Put("t", k.c_str(), v));
  const std::string good = ReadBytes(DbFile("t"));
  char buf[DBM_BUF_SIZE];

  for (size_t cut = 0; cut < good.size(); cut++) {
    WriteBytes(DbFile("t"), good.substr(0, cut));
    size_t sound = 0, end = 0;
    for (auto &[k, v] : recs) {
      end += 2 + 2 + k.size() + 1 + v.size();
      if (end <= cut)
        sound++;
    }
    for (size_t i = 0; i < recs.size(); i++)
      EXPECT_EQ(Get("t", recs[i].first.c_str()), i < sound ? recs[i].second : "") << cut;
  }
  for (size_t byte = 0; byte < good.size(); byte++) {
    for (int bit = 0; bit < 8; bit++) {
      std::string bad = good;
      bad[byte] = static_cast<char>(bad[byte] ^ (1 << bit));
      WriteBytes(DbFile("t"), bad);
      for (auto &[k, v] : recs) {
        int n = DbmGetRecord("t", k.c_str(), buf);
        ASSERT_GE(n, 0);
        ASSERT_LE(n, DBM_REC_MAX);
      }
      char *keys = DbmGetRecordList("t", ",", ",");
      PutMem(keys);
      DbmFreeDbLinkList(DbmGetDbLinkList("t", ""));
    }
  }
  // A length field beyond the record limit ends the scan before that record.
  std::string huge =
      good.substr(0, 2 + 2 + 6 + 11) + std::string("\xff\xff", 2) + std::string(70000, 'x');
  WriteBytes(DbFile("t"), huge);
  EXPECT_EQ(Get("t", "alpha"), "first value");
  EXPECT_EQ(Keys("t"), ",alpha,");
  // A store rewrites the sound part only.
  ASSERT_TRUE(Put("t", "e", "5"));
  EXPECT_EQ(Keys("t"), ",alpha,e,");
}

// The replacement file cannot be opened for a while (a directory sits in its
// place); the store retries once a second and succeeds when it goes away.
TEST_F(DbmTest, ReplacementFileOpenIsRetried)
{
  ASSERT_TRUE(Put("t", "a", "1"));
  std::filesystem::create_directory(base + "/db/t.ndb_new");
  std::thread unblock([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    std::filesystem::remove(base + "/db/t.ndb_new");
  });
  testing::internal::CaptureStderr();
  int ok = DbmPutRecord("t", "b", "2", 1);
  std::string err = testing::internal::GetCapturedStderr();
  unblock.join();
  EXPECT_EQ(ok, 1);
  EXPECT_NE(err.find("ERROR: can't open file, " + base + "/db/t.ndb_new\n"), std::string::npos)
      << err;
  EXPECT_EQ(Keys("t"), ",a,b,");
}

TEST_F(DbmTest, ReplacementFileNeverOpenedGivesUpAfterTenAttempts)
{
  ASSERT_TRUE(Put("t", "a", "1"));
  std::string before = ReadBytes(DbFile("t"));
  std::filesystem::create_directory(base + "/db/t.ndb_new");
  testing::internal::CaptureStderr();
  EXPECT_EQ(DbmPutRecord("t", "b", "2", 1), 0);
  std::string err = testing::internal::GetCapturedStderr();
  size_t count = 0;
  for (size_t at = 0; (at = err.find("ERROR: can't open file", at)) != std::string::npos; at++)
    count++;
  EXPECT_EQ(count, 10u);
  EXPECT_EQ(ReadBytes(DbFile("t")), before);
}

}  // namespace
