// ndbtool: creates and inspects record databases (typed and plain files).
//
// usage: ndbtool [-b BASE] DATABASE COMMAND [ARGUMENTS]
//
// Message catalogs are built at build time from text catalogs with
// "ndbtool FILE build CATALOG". A catalog holds one record per line,
// KEY<TAB>VALUE, with the escapes \n \r \t \\ and \xHH in keys and values;
// empty lines and lines starting with '#' are skipped. "dump" writes the same
// format, so a catalog survives a build and a dump unchanged.
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "dbm/Dbm.h"
#include "dbm/DbmInternal.h"
#include "memmgr/MemMgr.h"
#include "tools/ndbtool/catalog.h"
#include "utils/utils.h"

namespace {

constexpr char kUsage[] =
    "usage: ndbtool [-b BASE] DATABASE COMMAND [ARGUMENTS]\n"
    "  DATABASE is a file path (\".ndb\" is added when it has no dot), or with\n"
    "  -b BASE a database name under BASE/db.\n"
    "commands:\n"
    "  put KEY VALUE          store VALUE (escapes \\n \\r \\t \\\\ \\xHH) under KEY\n"
    "  get KEY                print the value of KEY and a newline\n"
    "  delete KEY             remove KEY\n"
    "  delete-prefix PREFIX   remove every key beginning with PREFIX\n"
    "  keys                   list the keys, one per line\n"
    "  dump                   print every record as KEY<TAB>VALUE with escapes\n"
    "  build CATALOG          replace the database by a typed one made from a\n"
    "                         catalog file (\"-\": standard input)\n"
    "  info                   print the file type, record count and size\n"
    "exit status: 0 done, 1 not found or failed, 2 usage error\n";

[[noreturn]] void Usage(const char *why)
{
  if (why)
    fprintf(stderr, "ndbtool: %s\n", why);
  fputs(kUsage, stderr);
  exit(2);
}

[[noreturn]] void Fail(const char *fmt, ...) NORVO_PRINTF(1, 2);
void Fail(const char *fmt, ...)
{
  va_list args;
  va_start(args, fmt);
  fputs("ndbtool: ", stderr);
  vfprintf(stderr, fmt, args);
  fputc('\n', stderr);
  va_end(args);
  exit(1);
}

// Key of the record the walk stands at.
std::string KeyOf(DbTHandle *h, const DbTRecord &rec)
{
  if (rec.pKey)
    return std::string(rec.pKey, rec.KeyLen - 1u);
  std::string key(rec.KeyLen, '\0');
  int32_t cursor = h->Cursor;
  DbmTGetData(h, key.data(), rec.KeyLen);
  h->Cursor = cursor;
  key.resize(rec.KeyLen - 1u);
  return key;
}

std::string ValueOf(DbTHandle *h, const DbTRecord &rec)
{
  std::string value(static_cast<size_t>(rec.RecLen - rec.KeyLen - 2), '\0');
  if (rec.pKey) {
    memcpy(value.data(), rec.pKey + rec.KeyLen, value.size());
  } else {
    int32_t cursor = h->Cursor;
    h->Cursor += rec.KeyLen;
    DbmTGetData(h, value.data(), static_cast<int>(value.size()));
    h->Cursor = cursor;
  }
  return value;
}

bool Exists(const std::string &path)
{
  return access(path.c_str(), F_OK) == 0;
}

// Stores one record; the reason when the database refuses it.
void Store(DbTHandle *h, const std::string &key, const std::string &value, const char *where)
{
  std::string why;
  if (!CatalogRecordFits(key, value, why))
    Fail("%s%s", where, why.c_str());
  if (!DbmTPutRecord(h, key.c_str(), value.data(), static_cast<int>(value.size())))
    Fail("%scannot store key \"%s\"", where, CatalogEscape(key, true).c_str());
}

int Build(DbTHandle *h, const char *catalog)
{
  FILE *in = strcmp(catalog, "-") == 0 ? stdin : fopen(catalog, "rb");
  if (!in)
    Fail("cannot open catalog %s: %s", catalog, strerror(errno));
  // Start from an empty typed image, whatever the file held before, and
  // write once at the end: a faulty catalog leaves the file as it was.
  h->Flags |= DBT_NO_ARCHIVE;
  PutMem(h->pImage);
  h->pImage = nullptr;
  h->ImageSize = h->RecCount = 0;
  DbTSetDbType(h, DBT_TYPE_NEW);

  std::string line, key, value, why;
  long lineNo = 0;
  while (CatalogReadLine(in, line)) {
    lineNo++;
    char where[512];
    snprintf(where, sizeof where, "%s:%ld: ", catalog, lineNo);
    int got = CatalogParseLine(line, key, value, why);
    if (got < 0)
      Fail("%s%s", where, why.c_str());
    if (got > 0)
      Store(h, key, value, where);
  }
  if (in != stdin)
    fclose(in);
  if (!DbmTArchiveDb(h))
    Fail("cannot write the database %s", h->pName);
  return 0;
}

}  // namespace

int main(int argc, char **argv)
{
  my_name = SaveStr_("ndbtool");
  int arg = 1;
  if (arg < argc && (strcmp(argv[arg], "-h") == 0 || strcmp(argv[arg], "--help") == 0)) {
    fputs(kUsage, stdout);
    return 0;
  }
  const char *base = nullptr;
  if (arg < argc && strcmp(argv[arg], "-b") == 0) {
    if (arg + 1 >= argc)
      Usage("-b needs a base directory");
    base = argv[arg + 1];
    arg += 2;
  }
  if (argc - arg < 2)
    Usage(nullptr);
  std::string db = argv[arg];
  std::string cmd = argv[arg + 1];
  char **rest = argv + arg + 2;
  int nRest = argc - arg - 2;

  std::string file;  // the file behind the database, for messages and checks
  if (base) {
    if (db.empty() || db.find('/') != std::string::npos || db[0] == '.')
      Usage("with -b the database is a plain name (no '/', no leading '.')");
    // The database code makes ./db when it is missing: working in the
    // base directory keeps that the same folder as BASE/db.
    char *real = realpath(base, nullptr);
    if (!real || chdir(real) != 0)
      Fail("cannot enter base directory %s: %s", base, strerror(errno));
    pToolPath = SaveStr_(real);
    free(real);
    file = std::string(pToolPath) + "/db/" + db + ".ndb";
  } else {
    if (db.empty())
      Usage("empty database path");
    if (db.find('.') == std::string::npos)
      db += ".ndb";
    if (db[0] != '/' && db[0] != '.')
      db = "./" + db;
    file = db;
  }

  struct Command {
    const char *name;
    int args;
    bool writes;
  };
  static constexpr Command kCommands[] = {
      {"put", 2, true},   {"get", 1, false},  {"delete", 1, true}, {"delete-prefix", 1, true},
      {"keys", 0, false}, {"dump", 0, false}, {"build", 1, true},  {"info", 0, false},
  };
  const Command *c = nullptr;
  for (const Command &k : kCommands)
    if (cmd == k.name)
      c = &k;
  if (!c)
    Usage(("unknown command \"" + cmd + "\"").c_str());
  if (nRest != c->args)
    Usage(("wrong number of arguments for " + cmd).c_str());
  if (!c->writes && !Exists(file))
    Fail("no database %s", file.c_str());

  DbTHandle *h = DbTOpen(db.c_str(), DBT_KEEP_IMAGE);
  if (!h)
    Fail("out of memory");
  std::string key;
  const char *why = nullptr;
  if (c->args > 0 && cmd != "build" && !CatalogUnescape(rest[0], key, &why))
    Fail("%s: %s", rest[0], why);

  if (cmd == "put") {
    std::string value;
    if (!CatalogUnescape(rest[1], value, &why))
      Fail("%s: %s", rest[1], why);
    Store(h, key, value, "");
    return 0;
  }
  if (cmd == "get") {
    void *buf = nullptr;
    int n = DbmTGetRecordV(h, key.c_str(), &buf, 0);
    if (n <= 0)
      Fail("no key \"%s\" in %s", rest[0], file.c_str());
    fwrite(buf, 1, static_cast<size_t>(n), stdout);
    fputc('\n', stdout);
    return 0;
  }
  if (cmd == "delete") {
    if (!DbmTDeleteRecord(h, key.c_str()))
      Fail("no key \"%s\" in %s (or it could not be written)", rest[0], file.c_str());
    return 0;
  }
  if (cmd == "delete-prefix") {
    if (key.empty())
      Fail("empty prefix");
    DbmTDeleteRecords(h, key.c_str());
    return 0;
  }
  if (cmd == "build")
    return Build(h, rest[0]);

  DbTRecord rec;
  long count = 0;
  for (DbTRecord *r = WalkDbTRecords(h, &rec, 0); r; r = WalkDbTRecords(h, &rec, 1)) {
    count++;
    if (cmd == "keys")
      printf("%s\n", CatalogEscape(KeyOf(h, rec), true).c_str());
    else if (cmd == "dump")
      printf("%s\t%s\n", CatalogEscape(KeyOf(h, rec), true).c_str(),
             CatalogEscape(ValueOf(h, rec), false).c_str());
  }
  if (cmd == "info") {
    static constexpr const char *kTypes[] = {"new", "plain", "typed"};
    printf("file: %s\ntype: %s\nrecords: %ld\nbytes: %d\n", file.c_str(),
           h->DbType >= 0 && h->DbType <= 2 ? kTypes[h->DbType] : "?", count, h->ImageSize);
  }
  return 0;
}
