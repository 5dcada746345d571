// The plain record-database reader over arbitrary file bytes: the record
// scan (GetData), the Dbm lookups, lists and dump, and a typed handle over
// the same plain file. Nothing is written.
//
// Checked beyond the sanitizers: every record GetData gives is sound (its
// lengths fit, its key is terminated); the lookups, key list and link list
// give what that scan shows; a typed handle answers as the plain reader.
#include <sys/stat.h>

#include <cstring>
#include <map>

#include "dbm/Dbm.h"
#include "dbm/DbmInternal.h"
#include "fuzz/FuzzUtil.h"
#include "utils/utils.h"

namespace {

struct Record {
  std::string key;  // the key field without its terminator (may hold zero bytes)
  std::string value;
};

std::vector<Record> ScanRecords(const std::string &path)
{
  std::vector<Record> records;
  FILE *f = fopen(path.c_str(), "rb");
  FUZZ_CHECK(f);
  static unsigned char rec[DBM_BUF_SIZE];
  while (GetData(f, rec)) {
    uint16_t recLen, keyLen;
    memcpy(&recLen, rec, 2);
    memcpy(&keyLen, rec + 2, 2);
    FUZZ_CHECK(recLen <= DBM_REC_MAX && keyLen >= 1 && keyLen + 2 <= recLen);
    FUZZ_CHECK(rec[4 + keyLen - 1] == 0);
    const char *key = reinterpret_cast<const char *>(rec + 4);
    records.push_back({std::string(key, keyLen - 1u),
                       std::string(key + keyLen, static_cast<size_t>(recLen - keyLen - 2))});
  }
  fclose(f);
  return records;
}

// The value of the first record whose key is exactly key, or null.
const Record *FirstOf(const std::vector<Record> &records, const std::string &key)
{
  for (const Record &r : records)
    if (r.key == key)
      return &r;
  return nullptr;
}

std::string LinkListText(DbLink *first, size_t *count)
{
  std::string text;
  *count = 0;
  for (DbLink *l = first; l; l = l->pNext) {
    FUZZ_CHECK(l->DataLen >= 0 && l->pData >= l->pKey);
    text += std::string(l->pKey) + '=' + std::string(l->pData, static_cast<size_t>(l->DataLen));
    ++*count;
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  static const std::string base = [] {
    std::string b = FuzzDir();
    mkdir((b + "/db").c_str(), 0700);
    pToolPath = strdup(b.c_str());
    // DumpDbm prints every record.
    if (!freopen("/dev/null", "w", stdout))
      abort();
    return b;
  }();
  const std::string path = base + "/db/f.ndb";
  FuzzWriteFile(path, data, size);
  std::vector<Record> records = ScanRecords(path);

  std::string want = ",";
  for (const Record &r : records)
    want += std::string(r.key.c_str()) + ',';
  char *list = DbmGetRecordList("f", ",", ",");
  FUZZ_CHECK(records.empty() ? !list : list && want == list);
  PutMem(list);

  // Lookups of the keys the scan found (a key with a zero byte inside can
  // only be asked for up to it), and a typed handle over the same file.
  DbTHandle *h = nullptr;
  if (size < 5 || memcmp(data, "TNDBA", 5) != 0)
    h = DbTOpen(path.c_str(), DBT_KEEP_IMAGE | DBT_NO_ARCHIVE);
  if (h) {
    char *typed = DbmTGetRecordList(h, ",", ",");
    FUZZ_CHECK(records.empty() ? !typed : typed && want == typed);
    PutMem(typed);
  }
  static unsigned char value[DBM_BUF_SIZE];
  for (size_t i = 0; i < records.size() && i < 16; i++) {
    std::string key = records[i].key.c_str();
    const Record *first = FirstOf(records, key);
    int n = DbmGetRecord("f", key.c_str(), value);
    FUZZ_CHECK(first ? first->value == std::string(reinterpret_cast<char *>(value), n) : n == 0);
    FUZZ_CHECK(DbmGetRecordSize("f", key.c_str()) == n);
    // The typed handle finds no empty key.
    if (h && !key.empty()) {
      int t = DbmTGetRecord(h, key.c_str(), value);
      FUZZ_CHECK(t == n &&
                 (!first || first->value == std::string(reinterpret_cast<char *>(value), t)));
    }
  }

  std::string pattern = records.empty() ? "a" : records.back().key.c_str();
  pattern = pattern.substr(0, 2);
  size_t count = 0, typedCount = 0;
  DbLink *links = DbmGetDbLinkList("f", pattern.c_str());
  std::string linkText = LinkListText(links, &count);
  DbmFreeDbLinkList(links);
  size_t matching = 0;
  for (const Record &r : records)
    matching += strstr(r.key.c_str(), pattern.c_str()) != nullptr;
  FUZZ_CHECK(count == matching);
  if (h) {
    DbLink *typedLinks = DbmTGetDbLinkList(h, pattern.c_str());
    FUZZ_CHECK(LinkListText(typedLinks, &typedCount) == linkText && typedCount == count);
    DbmFreeDbLinkList(typedLinks);
    DbTClose(h);
  }

  // DumpDbm reads <path>.db.
  const std::string dumpPath = base + "/db/f.db";
  unlink(dumpPath.c_str());
  FUZZ_CHECK(symlink("f.ndb", dumpPath.c_str()) == 0);
  DumpDbm((base + "/db/f").c_str());
  return 0;
}
