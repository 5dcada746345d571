// The typed record database over arbitrary file bytes: DbTOpen of the file
// (typed or plain image), the walk, the lookups and key lists, and changes
// made in memory only (DBT_NO_ARCHIVE: nothing is written). The input is
// the file; the key and value of the changes come from its last bytes.
//
// Checked beyond the sanitizers: a lookup (through the key index on typed
// images) gives the first record of its key as the walk shows it; a stored
// record is found with its value, a deleted one is gone, the other records
// stay as they were, and the key lists follow.
#include <cstring>
#include <map>

#include "dbm/Dbm.h"
#include "dbm/DbmInternal.h"
#include "fuzz/FuzzUtil.h"
#include "utils/utils.h"

namespace {

struct Record {
  std::string key;  // up to its first zero byte: what a lookup can ask for
  std::string value;
  bool whole;  // the key holds no zero byte before its terminator
};

std::vector<Record> Walk(DbTHandle *h)
{
  std::vector<Record> records;
  static unsigned char buf[65536];
  DbTRecord rec;
  for (DbTRecord *r = WalkDbTRecords(h, &rec, 0); r; r = WalkDbTRecords(h, &rec, 1)) {
    FUZZ_CHECK(r->KeyLen >= 1 && r->KeyLen + 2 <= r->RecLen);
    FUZZ_CHECK(h->WalkPos <= h->ImageSize);
    size_t valueLen = static_cast<size_t>(r->RecLen - r->KeyLen - 2);
    std::string key, value;
    if (r->pKey) {
      key.assign(r->pKey, r->KeyLen);
      value.assign(r->pKey + r->KeyLen, valueLen);
    } else {
      int32_t cursor = h->Cursor;
      DbmTGetData(h, buf, r->KeyLen);
      key.assign(reinterpret_cast<char *>(buf), r->KeyLen);
      DbmTGetData(h, buf, static_cast<int>(valueLen));
      value.assign(reinterpret_cast<char *>(buf), valueLen);
      h->Cursor = cursor;
    }
    FUZZ_CHECK(key.back() == '\0');
    key.pop_back();
    bool whole = key.find('\0') == std::string::npos;
    records.push_back({std::string(key.c_str()), value, whole});
  }
  return records;
}

// Every key the walk shows is found with the value of its first record.
void CheckLookups(DbTHandle *h, const std::vector<Record> &records)
{
  std::map<std::string, const Record *> first;
  for (const Record &r : records)
    if (r.whole && !r.key.empty())
      first.emplace(r.key, &r);
  static unsigned char value[65536];
  size_t asked = 0;
  for (const auto &[key, r] : first) {
    if (++asked > 32)
      break;
    int n = DbmTGetRecord(h, key.c_str(), value);
    FUZZ_CHECK(n == static_cast<int>(r->value.size()) && memcmp(value, r->value.data(), n) == 0);
    FUZZ_CHECK(DbmTGetRecordSize(h, key.c_str()) == n);
    void *buf = nullptr;
    FUZZ_CHECK(DbmTGetRecordV(h, key.c_str(), &buf, 0) == n && buf);
    FUZZ_CHECK(memcmp(buf, r->value.data(), n) == 0);
    PutMem(buf);
  }
}

std::string KeyList(const std::vector<Record> &records, const std::string &select)
{
  if (records.empty())
    return "";
  std::string list;
  for (const Record &r : records)
    if (select.empty() || TestKeyName(r.key.c_str(), select.c_str()))
      list += "," + r.key;
  return list.empty() ? "" : list + ",";
}

std::string Text(char *pool)
{
  std::string text = pool ? pool : "";
  PutMem(pool);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  static const std::string path = FuzzDir() + "/typed.ndb";
  FuzzWriteFile(path, data, size);
  DbTHandle *h = DbTOpen(path.c_str(), DBT_KEEP_IMAGE | DBT_NO_ARCHIVE);
  FUZZ_CHECK(h && h->pImage && h->ImageSize >= 0);
  FUZZ_CHECK(h->DbType == (size == 0                                    ? DBT_TYPE_NEW
                           : size >= 5 && memcmp(data, "TNDBA", 5) == 0 ? DBT_TYPE_TYPED
                                                                        : DBT_TYPE_PLAIN));
  std::vector<Record> records = Walk(h);
  CheckLookups(h, records);
  FUZZ_CHECK(Text(DbmTGetRecordList(h, ",", ",")) == KeyList(records, ""));
  std::string select = records.empty() ? "x" : records[0].key.substr(0, 1) + ",b";
  if (select[0] != ',')
    FUZZ_CHECK(Text(DbmTGetRecordListS(h, select.c_str(), ",", ",")) == KeyList(records, select));

  // A change in memory: key and value from the input's last bytes.
  std::string tail(reinterpret_cast<const char *>(data) + size - std::min<size_t>(size, 12),
                   std::min<size_t>(size, 12));
  std::string key = std::string(tail.c_str()).substr(0, 6);
  std::string value = tail.substr(tail.size() / 2) + "v";
  if (key.empty())
    key = "k";
  bool plain = h->DbType == DBT_TYPE_PLAIN;
  FUZZ_CHECK(DbmTPutRecord(h, key.c_str(), value.data(), static_cast<int>(value.size())) == 1);
  FUZZ_CHECK(h->DbType == (plain ? DBT_TYPE_PLAIN : DBT_TYPE_TYPED));
  std::vector<Record> after = Walk(h);
  std::vector<Record> others;
  for (const Record &r : records)
    if (!(r.whole && r.key == key))
      others.push_back(r);
  FUZZ_CHECK(!after.empty() && after.back().key == key && after.back().value == value);
  after.pop_back();
  FUZZ_CHECK(after.size() == others.size());
  for (size_t i = 0; i < after.size(); i++)
    FUZZ_CHECK(after[i].key == others[i].key && after[i].value == others[i].value);
  after.push_back({key, value, true});
  CheckLookups(h, after);

  FUZZ_CHECK(DbmTDeleteRecord(h, key.c_str()) == 1);
  FUZZ_CHECK(DbmTGetRecordSize(h, key.c_str()) == 0);
  after.pop_back();
  std::vector<Record> left = Walk(h);
  FUZZ_CHECK(left.size() == after.size());
  CheckLookups(h, left);

  // Deleting by prefix leaves no key that begins with it.
  std::string prefix = key.substr(0, 1);
  FUZZ_CHECK(DbmTDeleteRecords(h, prefix.c_str()) == 1);
  for (const Record &r : Walk(h))
    FUZZ_CHECK(r.key.compare(0, prefix.size(), prefix) != 0 || !r.whole);
  DbTClose(h);
  return 0;
}
