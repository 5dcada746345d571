// ndbtool's catalog parser over arbitrary catalog files: the lines, the
// escapes and the record checks, then the records stored in a typed
// database in memory and dumped back to catalog form.
//
// Checked beyond the sanitizers: a decoded field, escaped again, decodes to
// itself and its escaped form holds no tab, line end or control byte; the
// dump of the database built from the catalog reads back as the same
// records (a catalog survives a build and a dump).
#include <cstring>
#include <map>

#include "dbm/Dbm.h"
#include "dbm/DbmInternal.h"
#include "fuzz/FuzzUtil.h"
#include "tools/ndbtool/catalog.h"

namespace {

void CheckRoundTrip(const std::string &field, bool isKey)
{
  std::string escaped = CatalogEscape(field, isKey);
  for (unsigned char c : escaped)
    FUZZ_CHECK(c >= 0x20 && c != 0x7f);
  FUZZ_CHECK(!isKey || escaped.empty() || escaped[0] != '#');
  std::string back;
  const char *why = nullptr;
  FUZZ_CHECK(CatalogUnescape(escaped, back, &why) && back == field);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  FILE *in = fmemopen(const_cast<uint8_t *>(data), size, "rb");
  if (!in)
    return 0;
  // Stored as ndbtool build stores them: the last record of a key wins.
  DbTHandle *h = DbTOpen("./no-such-dir/catalog.ndb", DBT_KEEP_IMAGE | DBT_NO_ARCHIVE);
  FUZZ_CHECK(h);
  std::map<std::string, std::string> stored;
  std::string line, key, value, why;
  size_t lines = 0;
  while (CatalogReadLine(in, line)) {
    FUZZ_CHECK(++lines <= size && line.find('\n') == std::string::npos);
    int got = CatalogParseLine(line, key, value, why);
    FUZZ_CHECK(got >= -1 && got <= 1);
    if (got < 0) {
      FUZZ_CHECK(!why.empty());
      break;  // ndbtool stops at the first malformed line
    }
    if (got == 0)
      continue;
    CheckRoundTrip(key, true);
    CheckRoundTrip(value, false);
    if (!CatalogRecordFits(key, value, why)) {
      FUZZ_CHECK(!why.empty());
      break;
    }
    FUZZ_CHECK(DbmTPutRecord(h, key.c_str(), value.data(), static_cast<int>(value.size())) == 1);
    stored[key] = value;
  }
  fclose(in);

  // The dump, line by line, parses back to what was stored.
  std::map<std::string, std::string> dumped;
  DbTRecord rec;
  static char buf[65536];
  for (DbTRecord *r = WalkDbTRecords(h, &rec, 0); r; r = WalkDbTRecords(h, &rec, 1)) {
    int32_t cursor = h->Cursor;
    DbmTGetData(h, buf, r->KeyLen);
    std::string k(buf, r->KeyLen - 1u);
    int n = r->RecLen - r->KeyLen - 2;
    DbmTGetData(h, buf, n);
    h->Cursor = cursor;
    std::string dumpLine =
        CatalogEscape(k, true) + '\t' + CatalogEscape(std::string(buf, n), false);
    FUZZ_CHECK(CatalogParseLine(dumpLine, key, value, why) == 1);
    FUZZ_CHECK(dumped.emplace(key, value).second);
  }
  FUZZ_CHECK(dumped == stored);
  DbTClose(h);
  return 0;
}
