// The typed database: file layout, refresh, flags, both file flavours, the
// lookup index against the walk, and damaged images.
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <random>
#include <vector>

#include "DbmTestDir.h"
#include "dbm/DbmInternal.h"
#include "memmgr/MemMgr.h"

namespace {

std::string TGet(DbTHandle *h, const char *key)
{
  static char buf[65536];
  int n = DbmTGetRecord(h, key, buf);
  return std::string(buf, static_cast<size_t>(n));
}

int TPut(DbTHandle *h, const std::string &key, const std::string &value)
{
  return DbmTPutRecord(h, key.c_str(), value.data(), static_cast<int>(value.size()));
}

std::string TKeys(DbTHandle *h)
{
  char *list = DbmTGetRecordList(h, ",", ",");
  std::string out = list ? list : "(null)";
  PutMem(list);
  return out;
}

// The answer a walk from the start gives: the value of the first record of key.
std::string WalkGet(DbTHandle *h, const std::string &key)
{
  DbTRecord rec;
  for (DbTRecord *r = WalkDbTRecords(h, &rec, 0); r; r = WalkDbTRecords(h, &rec, 1)) {
    std::string k(r->KeyLen - 1u, '\0');
    if (r->pKey) {
      k.assign(r->pKey);
    } else {
      std::vector<char> buf(r->KeyLen);
      DbmTGetData(h, buf.data(), r->KeyLen);
      k.assign(buf.data());
    }
    if (k != key || r->KeyLen != key.size() + 1)
      continue;
    std::string v(static_cast<size_t>(r->RecLen - r->KeyLen - 2), '\0');
    if (r->pKey)
      memcpy(v.data(), r->pKey + r->KeyLen, v.size());
    else
      DbmTGetData(h, v.data(), static_cast<int>(v.size()));
    return v;
  }
  return "";
}

TEST_F(DbmTest, NewTypedFileIsTwentyThreeBytes)
{
  DbTHandle *h = DbTOpen("cat", 0);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->pImage, nullptr);
  EXPECT_EQ(TGet(h, "a"), "");
  ASSERT_EQ(TPut(h, "a", "x"), 1);
  std::string f = ReadBytes(DbFile("cat"));
  ASSERT_EQ(f.size(), 23u);
  EXPECT_EQ(f.substr(0, 8), std::string("TNDBAA1\0", 8));
  EXPECT_EQ(f.substr(16), std::string("\x00\x05\x00\x02\x61\x00\x78", 7));
  EXPECT_EQ(TGet(h, "a"), "x");

  ASSERT_EQ(TPut(h, "a", "y"), 1);  // same key again: still one record
  EXPECT_EQ(h->RecCount, 1);
  f = ReadBytes(DbFile("cat"));
  EXPECT_EQ(f.size(), 23u);
  EXPECT_EQ(f[6], '1');
  EXPECT_EQ(TGet(h, "a"), "y");
  DbTClose(h);
}

TEST_F(DbmTest, TenDigitCountKeepsNineDigits)
{
  DbTHandle *h = DbTOpen("cat", DBT_NO_ARCHIVE);
  ASSERT_EQ(TPut(h, "a", "x"), 1);
  h->RecCount = 1234567890;
  ASSERT_EQ(DbmTArchiveDb(h), 1);
  std::string f = ReadBytes(DbFile("cat"));
  EXPECT_EQ(f.substr(0, 16).substr(0, 16).c_str(), std::string("TNDBAA123456789"));
  DbTClose(h);
}

TEST_F(DbmTest, PlainFileStaysPlain)
{
  ASSERT_EQ(DbmPutRecord("p", "one", "1", 1), 1);
  ASSERT_EQ(DbmPutRecord("p", "two", "22", 2), 1);
  DbTHandle *h = DbTOpen("p", 0);
  EXPECT_EQ(h->DbType, DBT_TYPE_PLAIN);
  EXPECT_EQ(TGet(h, "two"), "22");
  EXPECT_EQ(DbmTGetRecordSize(h, "one"), 1);
  EXPECT_EQ(TGet(h, "tw"), "");
  ASSERT_EQ(TPut(h, "three", "333"), 1);
  std::string f = ReadBytes(DbFile("p"));
  EXPECT_NE(f.substr(0, 5), "TNDBA");
  char buf[8];
  EXPECT_EQ(DbmGetRecord("p", "three", buf), 3);
  EXPECT_EQ(std::string(buf, 3), "333");
  ASSERT_EQ(DbmTDeleteRecord(h, "one"), 1);
  EXPECT_EQ(DbmGetRecordSize("p", "one"), 0);
  EXPECT_EQ(TKeys(h), ",two,three,");
  // The plain reader's limit holds for stores into a plain file.
  EXPECT_EQ(TPut(h, "k", std::string(65530, 'x')), 0);
  DbTClose(h);
}

TEST_F(DbmTest, TypedDeletesListsAndCopies)
{
  DbTHandle *h = DbTOpen("cat", 0);
  for (const char *k : {"a", "ab", "abc", "ab1", "x", "b"})
    ASSERT_EQ(TPut(h, k, std::string("v") + k), 1);
  char *sel = DbmTGetRecordListS(h, "x,ab", ",", ",");
  EXPECT_STREQ(sel, ",ab,abc,ab1,x,");
  PutMem(sel);
  EXPECT_EQ(DbmTGetRecordListS(h, "", ",", ","), nullptr);
  EXPECT_EQ(DbmTGetRecordListS(h, "zz", ",", ","), nullptr);

  EXPECT_EQ(DbmTDeleteRecord(h, "zz"), 0);
  EXPECT_EQ(DbmTDeleteRecords(h, "ab"), 1);
  EXPECT_EQ(TKeys(h), ",a,x,b,");
  EXPECT_EQ(h->RecCount, 3);
  EXPECT_EQ(DbmTDeleteRecords(h, ""), 0);

  EXPECT_EQ(DbmTCopyRecord(h, "a", "a2"), 1);
  EXPECT_EQ(DbmTCopyRecord(h, "nope", "a3"), 0);
  EXPECT_EQ(TGet(h, "a2"), "va");

  DbLink *first = DbmTGetDbLinkList(h, "a");
  ASSERT_NE(first, nullptr);
  EXPECT_STREQ(first->pKey, "a");
  EXPECT_EQ(std::string(first->pData, 2), "va");
  ASSERT_NE(first->pNext, nullptr);
  EXPECT_STREQ(first->pNext->pKey, "a2");
  EXPECT_EQ(first->pNext->pNext, nullptr);
  DbmFreeDbLinkList(first);
  DbTClose(h);

  // What was written back reads the same through a fresh handle.
  DbTHandle *again = DbTOpen("cat", 0);
  EXPECT_EQ(TKeys(again), ",a,x,b,a2,");
  EXPECT_EQ(again->RecCount, 4);
  DbTClose(again);
}

TEST_F(DbmTest, GetRecordVGrowsIntoAPoolBuffer)
{
  DbTHandle *h = DbTOpen("cat", 0);
  ASSERT_EQ(TPut(h, "k", "eleven byte"), 1);
  char mine[10];
  memset(mine, '-', sizeof mine);
  void *buf = mine;
  EXPECT_EQ(DbmTGetRecordV(h, "k", &buf, 10), 11);
  ASSERT_NE(buf, static_cast<void *>(mine));
  EXPECT_EQ(std::string(static_cast<char *>(buf), 11), "eleven byte");
  EXPECT_EQ(std::string(mine, 10), std::string(10, '-'));
  PutMem(buf);
  buf = mine;
  ASSERT_EQ(TPut(h, "s", "short"), 1);
  EXPECT_EQ(DbmTGetRecordV(h, "s", &buf, 10), 5);
  EXPECT_EQ(buf, static_cast<void *>(mine));
  EXPECT_EQ(std::string(mine, 5), "short");
  DbTClose(h);
}

TEST_F(DbmTest, OversizedStoresAreRefused)
{
  DbTHandle *h = DbTOpen("cat", 0);
  ASSERT_EQ(TPut(h, "k", "v"), 1);
  std::string before = ReadBytes(DbFile("cat"));
  EXPECT_EQ(TPut(h, "kk", std::string(65536 - 5 + 3, 'w')), 0);  // would wrap to a tiny RecLen
  EXPECT_EQ(TPut(h, "kk", std::string(65535 - 5 + 1, 'w')), 0);
  EXPECT_EQ(TPut(h, std::string(4096, 'k'), "v"), 0);  // key beyond 4095 characters
  EXPECT_EQ(DbmTPutRecord(h, "k", "v", 0), 0);
  EXPECT_EQ(DbmTPutRecord(h, "k", nullptr, 1), 0);
  EXPECT_EQ(DbmTPutRecord(nullptr, "k", "v", 1), 0);
  EXPECT_EQ(ReadBytes(DbFile("cat")), before);
  ASSERT_EQ(TPut(h, "kk", std::string(65535 - 5, 'w')), 1);  // exactly at the limit
  ASSERT_EQ(TPut(h, std::string(4095, 'k'), "v"), 1);
  DbTClose(h);
  DbTHandle *again = DbTOpen("cat", 0);
  EXPECT_EQ(TGet(again, "kk"), std::string(65535 - 5, 'w'));
  EXPECT_EQ(TGet(again, std::string(4095, 'k').c_str()), "v");
  EXPECT_EQ(TGet(again, "k"), "v");
  DbTClose(again);
}

TEST_F(DbmTest, NoArchiveLeavesTheDiskUntilArchived)
{
  DbTHandle *h = DbTOpen("cat", 0);
  ASSERT_EQ(TPut(h, "a", "1"), 1);
  DbTClose(h);
  std::string before = ReadBytes(DbFile("cat"));

  h = DbTOpen("cat", DBT_NO_ARCHIVE);
  ASSERT_EQ(TPut(h, "b", "2"), 1);
  ASSERT_EQ(DbmTDeleteRecord(h, "a"), 1);
  EXPECT_EQ(TKeys(h), ",b,");
  EXPECT_EQ(ReadBytes(DbFile("cat")), before);
  EXPECT_FALSE(std::filesystem::exists(base + "/db/cat.ndb_new"));
  ASSERT_EQ(DbmTArchiveDb(h), 1);
  DbTClose(h);
  DbTHandle *again = DbTOpen("cat", 0);
  EXPECT_EQ(TKeys(again), ",b,");
  DbTClose(again);
}

TEST_F(DbmTest, RefreshSeesAnotherProcessRewrite)
{
  DbTHandle *h = DbTOpen("cat", 0);
  ASSERT_EQ(TPut(h, "a", "1"), 1);
  ASSERT_EQ(TPut(h, "b", "2"), 1);
  EXPECT_EQ(TGet(h, "a"), "1");  // the lookup index is built now

  DbTHandle *kept = DbTOpen("cat", DBT_KEEP_IMAGE);
  EXPECT_EQ(TGet(kept, "a"), "1");

  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    // Another process, within the same second: the records move.
    DbTHandle *other = DbTOpen("cat", 0);
    int ok = DbmTDeleteRecord(other, "a") && TPut(other, "c", "3") && TPut(other, "a", "new");
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  EXPECT_EQ(TGet(h, "a"), "new");
  EXPECT_EQ(TGet(h, "c"), "3");
  EXPECT_EQ(TKeys(h), ",b,c,a,");
  EXPECT_EQ(TGet(kept, "a"), "1");  // never refreshed
  EXPECT_EQ(TGet(kept, "c"), "");
  DbTUpDate(kept);
  EXPECT_EQ(TGet(kept, "c"), "3");
  DbTClose(kept);
  DbTClose(h);
}

TEST_F(DbmTest, RefreshDiscardsUnarchivedChanges)
{
  DbTHandle *h = DbTOpen("cat", DBT_NO_ARCHIVE);
  ASSERT_EQ(TPut(h, "mine", "1"), 1);
  DbTHandle *w = DbTOpen("cat", 0);
  ASSERT_EQ(TPut(w, "theirs", "2"), 1);
  DbTClose(w);
  EXPECT_EQ(TKeys(h), ",theirs,");
  DbTClose(h);
}

// The index must answer as the walk does, through every kind of change.
TEST_F(DbmTest, IndexAgreesWithTheWalk)
{
  DbTHandle *h = DbTOpen("cat", DBT_NO_ARCHIVE | DBT_KEEP_IMAGE);
  std::mt19937 rng(7);
  std::map<std::string, std::string> model;
  auto key = [&] { return "k" + std::to_string(rng() % 40); };
  for (int step = 0; step < 600; step++) {
    int op = static_cast<int>(rng() % 10);
    std::string k = key();
    if (op < 6) {
      std::string v = "v" + std::to_string(step);
      ASSERT_EQ(TPut(h, k, v), 1);
      model[k] = v;
    } else if (op < 8) {
      EXPECT_EQ(DbmTDeleteRecord(h, k.c_str()), model.erase(k) ? 1 : 0);
    } else if (op == 8) {
      std::string p = k.substr(0, 2);
      DbmTDeleteRecords(h, p.c_str());
      for (auto it = model.begin(); it != model.end();)
        it = it->first.compare(0, p.size(), p) == 0 ? model.erase(it) : std::next(it);
    } else {
      ASSERT_EQ(DbmTArchiveDb(h), 1);
    }
    for (int i = 0; i < 40; i++) {
      std::string q = "k" + std::to_string(i);
      auto it = model.find(q);
      ASSERT_EQ(TGet(h, q.c_str()), it == model.end() ? "" : it->second) << step << " " << q;
      ASSERT_EQ(TGet(h, q.c_str()), WalkGet(h, q));
    }
  }
  DbTClose(h);

  // A file holding one key twice answers with the first record, after
  // edits and refreshes alike.
  DbTHandle *w = DbTOpen("dup", DBT_NO_ARCHIVE | DBT_KEEP_IMAGE);
  ASSERT_EQ(TPut(w, "x", "first"), 1);
  ASSERT_EQ(TPut(w, "y", "other"), 1);
  ASSERT_EQ(DbmTArchiveDb(w), 1);
  std::string f = ReadBytes(DbFile("dup"));
  std::string second = f.substr(16, 2 + 2 + 2 + 5);
  second[1] = 6, second[9] = 's';  // "x" = "firss" +1 byte
  second += 'd';
  WriteBytes(DbFile("dup"), f + second);
  DbTClose(w);
  DbTHandle *d = DbTOpen("dup", 0);
  EXPECT_EQ(TGet(d, "x"), "first");
  EXPECT_EQ(WalkGet(d, "x"), "first");
  ASSERT_EQ(DbmTDeleteRecord(d, "y"), 1);  // moves the records under the index
  EXPECT_EQ(TGet(d, "x"), WalkGet(d, "x"));
  d->Flags = DBT_NO_ARCHIVE | DBT_KEEP_IMAGE;
  for (int i = 0; i < 100; i++)  // new keys join the index as they come
    ASSERT_EQ(TPut(d, "n" + std::to_string(i), std::to_string(i)), 1);
  for (int i = 0; i < 100; i += 7)
    EXPECT_EQ(TGet(d, ("n" + std::to_string(i)).c_str()), std::to_string(i));
  EXPECT_EQ(TGet(d, "x"), "first");
  ASSERT_EQ(TPut(d, "x", "again"), 1);  // a known key: every record of it goes
  EXPECT_EQ(TGet(d, "x"), "again");
  EXPECT_EQ(WalkGet(d, "x"), "again");
  DbTClose(d);
}

TEST_F(DbmTest, HandleByPathWritesBackToItsFile)
{
  std::string path = base + "/elsewhere/msgs.ndb";
  std::filesystem::create_directories(base + "/elsewhere");
  DbTHandle *h = DbTOpen(path.c_str(), 0);
  ASSERT_EQ(TPut(h, "a", "x"), 1);
  EXPECT_EQ(ReadBytes(path).size(), 23u);
  EXPECT_FALSE(std::filesystem::exists(base + "/db/" + path + ".ndb"));
  DbTClose(h);

  std::string noExt = base + "/elsewhere/plain";  // no dot anywhere: ".ndb" is added
  if (noExt.find('.') == std::string::npos) {
    DbTHandle *p = DbTOpen(noExt.c_str(), 0);
    ASSERT_EQ(TPut(p, "b", "y"), 1);
    EXPECT_TRUE(std::filesystem::exists(noExt + ".ndb"));
    DbTClose(p);
  }
  DbTHandle *rel = DbTOpen("./elsewhere/msgs.ndb", 0);
  EXPECT_EQ(TGet(rel, "a"), "x");
  ASSERT_EQ(TPut(rel, "c", "z"), 1);
  DbTClose(rel);
  DbTHandle *check = DbTOpen(path.c_str(), 0);
  EXPECT_EQ(TKeys(check), ",a,c,");
  DbTClose(check);
}

// Truncations and bit flips of a typed file: the walk stops at the last sound
// record, lookups stay inside the image, a store writes back the sound part.
TEST_F(DbmTest, DamagedTypedFilesEndTheWalk)
{
  DbTHandle *h = DbTOpen("cat", 0);
  const std::vector<std::pair<std::string, std::string>> recs = {
      {"alpha", "first value"}, {"b", "2"}, {"gamma", std::string(40, 'g')}, {"d", "last"}};
  for (auto &[k, v] : recs)
    ASSERT_EQ(TPut(h, k, v), 1);
  DbTClose(h);
  const std::string good = ReadBytes(DbFile("cat"));

  for (size_t cut = 0; cut < good.size(); cut++) {
    WriteBytes(DbFile("cat"), good.substr(0, cut));
    DbTHandle *t = DbTOpen("cat", DBT_NO_ARCHIVE);
    size_t sound = 0, end = 16;
    for (auto &[k, v] : recs) {
      end += 2 + 2 + k.size() + 1 + v.size();
      if (end <= cut)
        sound++;
    }
    for (size_t i = 0; i < recs.size(); i++)
      EXPECT_EQ(TGet(t, recs[i].first.c_str()), i < sound ? recs[i].second : "") << cut;
    EXPECT_LE(t->ImageSize, static_cast<int32_t>(std::max<size_t>(cut, 16)));
    DbTClose(t);
  }
  for (size_t byte = 0; byte < good.size(); byte++) {
    for (int bit = 0; bit < 8; bit++) {
      std::string bad = good;
      bad[byte] = static_cast<char>(bad[byte] ^ (1 << bit));
      WriteBytes(DbFile("cat"), bad);
      DbTHandle *t = DbTOpen("cat", DBT_NO_ARCHIVE);
      for (auto &[k, v] : recs)
        ASSERT_EQ(TGet(t, k.c_str()), WalkGet(t, k)) << byte << "/" << bit << " " << k;
      PutMem(DbmTGetRecordList(t, ",", ","));
      DbmFreeDbLinkList(DbmTGetDbLinkList(t, ""));
      ASSERT_LE(t->ImageSize, static_cast<int32_t>(good.size()));
      DbTClose(t);
    }
  }
  // Random garbage, with and without a header, through every operation.
  std::mt19937 rng(3);
  for (int round = 0; round < 300; round++) {
    std::string junk(rng() % 120, '\0');
    for (char &c : junk)
      c = static_cast<char>(rng() % 4 ? rng() % 8 : rng());
    if (round % 2)
      junk = "TNDBAA" + std::to_string(rng() % 100) + std::string(1, '\0') + junk;
    WriteBytes(DbFile("cat"), junk);
    char buf[65536];
    DbTHandle *t = DbTOpen("cat", DBT_NO_ARCHIVE);
    ASSERT_LE(t->ImageSize, static_cast<int32_t>(std::max<size_t>(junk.size(), 16)));
    for (const char *k : {"\x01", "a", "\x02\x03"})
      ASSERT_EQ(TGet(t, k), WalkGet(t, k));
    PutMem(DbmTGetRecordListS(t, "\x01,a", ",", ","));
    DbmFreeDbLinkList(DbmTGetDbLinkList(t, ""));
    DbmTDeleteRecords(t, "\x01");
    ASSERT_EQ(TPut(t, "new", "v"), 1);
    ASSERT_EQ(TGet(t, "new"), "v");
    DbmGetRecord("cat", "a", buf);  // the plain reader on the same bytes
    DbTClose(t);
  }

  // A store into a file damaged in its third record keeps the first two.
  WriteBytes(DbFile("cat"), good.substr(0, 16 + 14 + 8 + 10));
  DbTHandle *t = DbTOpen("cat", 0);
  ASSERT_EQ(TPut(t, "e", "5"), 1);
  DbTClose(t);
  t = DbTOpen("cat", 0);
  EXPECT_EQ(TKeys(t), ",alpha,b,e,");
  DbTClose(t);
}

TEST_F(DbmTest, EmptyAndTinyFiles)
{
  WriteBytes(DbFile("e"), "");
  DbTHandle *h = DbTOpen("e", DBT_NO_ARCHIVE);
  EXPECT_EQ(h->DbType, DBT_TYPE_NEW);
  EXPECT_EQ(h->ImageSize, 16);
  ASSERT_EQ(TPut(h, "a", "1"), 1);
  EXPECT_EQ(TGet(h, "a"), "1");  // kept: the empty file did not change
  DbTClose(h);

  for (std::string bytes : {std::string("T"), std::string("TNDBA"), std::string("TNDBAA12"),
                            std::string("\x05\x00", 2), std::string("\x00\x00\x00", 3)}) {
    WriteBytes(DbFile("e"), bytes);
    DbTHandle *t = DbTOpen("e", 0);
    EXPECT_EQ(TGet(t, "a"), "");
    EXPECT_EQ(TKeys(t), "(null)");
    ASSERT_EQ(TPut(t, "a", "1"), 1);
    EXPECT_EQ(TGet(t, "a"), "1");
    DbTClose(t);
  }
}

}  // namespace

namespace {

// A file that exists but cannot be read (a user without permission, in a
// child process) is neither replaced by a store nor written back over.
TEST_F(DbmTest, UnreadableFileIsNeverReplaced)
{
  if (geteuid() != 0)
    GTEST_SKIP() << "needs root to act as another user";
  ASSERT_EQ(DbmPutRecord("p", "a", "1", 1), 1);
  DbTHandle *h = DbTOpen("t", 0);
  ASSERT_EQ(TPut(h, "a", "1"), 1);
  DbTClose(h);
  std::filesystem::permissions(base, std::filesystem::perms::all);
  std::filesystem::permissions(base + "/db", std::filesystem::perms::all);
  std::filesystem::permissions(DbFile("p"), std::filesystem::perms::none);
  std::filesystem::permissions(DbFile("t"), std::filesystem::perms::none);
  std::string plainBefore = ReadBytes(DbFile("p"));
  std::string typedBefore = ReadBytes(DbFile("t"));

  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0)
      _exit(10);
    int bad = 0;
    if (DbmPutRecord("p", "b", "2", 1) != 0)
      bad |= 1;                                   // after 10 attempts
    DbTHandle *t = DbTOpen("t", DBT_KEEP_IMAGE);  // 10 read attempts
    if (DbmTPutRecord(t, "b", "2", 1) != 0)
      bad |= 2;
    _exit(bad);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadBytes(DbFile("p")), plainBefore);
  EXPECT_EQ(ReadBytes(DbFile("t")), typedBefore);
}

}  // namespace
