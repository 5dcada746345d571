// The plain record file: scrambled records, the replacement-file update path
// and the Dbm operations that scan the file on every call.
#include "dbm/Dbm.h"
#include "dbm/DbmInternal.h"

#include <unistd.h>

#include <cctype>
#include <cstring>
#include <string_view>

#include "memmgr/MemMgr.h"
#include "syscmd/SysCmd.h"
#include "utils/utils.h"

char *pToolPath = nullptr;

// Index (file order) of the record DbmGetNextRecord returns next. Shared by
// every database and never reset.
static int32_t Ent2Get = 0;

namespace {

constexpr size_t PATH_SIZE = 1024;

uint16_t RecLenOf(const unsigned char *rec)
{
  uint16_t n;
  memcpy(&n, rec, 2);
  return n;
}
uint16_t KeyLenOf(const unsigned char *rec)
{
  uint16_t n;
  memcpy(&n, rec + 2, 2);
  return n;
}
const char *KeyOf(const unsigned char *rec)
{
  return reinterpret_cast<const char *>(rec + 4);
}
int ValueLenOf(const unsigned char *rec)
{
  return RecLenOf(rec) - KeyLenOf(rec) - 2;
}
const unsigned char *ValueOf(const unsigned char *rec)
{
  return rec + 4 + KeyLenOf(rec);
}

void Scramble(unsigned char *p, size_t n)
{
  for (size_t i = 0; i + 1 < n; i++)
    p[i] ^= p[i + 1];
}

void Unscramble(unsigned char *p, size_t n)
{
  for (size_t i = n - 1; i-- > 0;)
    p[i] ^= p[i + 1];
}

// <pToolPath>/db/<name>.<ext> into buf; false without a base or when too long.
bool DbPath(char *buf, const char *name, const char *ext)
{
  if (!pToolPath || !name)
    return false;
  int n = snprintf(buf, PATH_SIZE, "%s/db/%s.%s", pToolPath, name, ext);
  return n > 0 && static_cast<size_t>(n) < PATH_SIZE;
}

bool DbDir(char *buf)
{
  if (!pToolPath)
    return false;
  int n = snprintf(buf, PATH_SIZE, "%s/db", pToolPath);
  return n > 0 && static_cast<size_t>(n) < PATH_SIZE;
}

// Closes a stdio stream at the end of a scope.
struct FileCloser {
  FILE *f;
  ~FileCloser()
  {
    if (f)
      fclose(f);
  }
};

bool KeyMatches(const unsigned char *rec, const char *key, size_t keyLen, int prefixLen)
{
  size_t recKeyLen = KeyLenOf(rec);
  if (prefixLen == 0)
    return recKeyLen == keyLen + 1 && memcmp(KeyOf(rec), key, recKeyLen) == 0;
  // The record key's terminator differs from every prefix character, so a
  // shorter key can never match.
  return recKeyLen > static_cast<size_t>(prefixLen) &&
         memcmp(KeyOf(rec), key, static_cast<size_t>(prefixLen)) == 0;
}

// Closes a finished replacement file, its contents on the disk first: the
// rename that follows must never put a file in place whose data a crash
// could still take away. False when anything failed (the file is closed
// anyway).
bool CloseDurably(FILE *out)
{
  bool ok = fflush(out) == 0 && fsync(fileno(out)) == 0;
  return fclose(out) == 0 && ok;
}

// Scans db for key; on success rec holds the record. 0 when absent.
int FindRecord(const char *db, const char *key, unsigned char *rec)
{
  FileCloser in{OpenDataBase(db, "ndb", "rb", 0)};
  if (!in.f)
    return 0;
  size_t keyLen = strlen(key);
  while (GetData(in.f, rec))
    if (KeyMatches(rec, key, keyLen, 0))
      return 1;
  return 0;
}

void MakeDbDirectory()
{
  if (!FindFile(nullptr, "db"))
    CreateFile("./db", nullptr, "777", nullptr, nullptr);
}

// Rewrites db without the records matching key; the shared part of both deletes.
// Returns -1 when the files could not be opened, else the purge result.
int RewriteWithout(const char *db, const char *key, int prefixLen)
{
  FILE *in = OpenDataBase(db, "ndb", "rb", 0);
  if (!in)
    return -1;
  FILE *out = OpenNewDataBase(db);
  if (!out) {
    fclose(in);
    return -1;
  }
  int ok = PurgeRecord(db, in, out, key, prefixLen);
  fclose(in);
  if (!CloseDurably(out))
    ok = 0;
  if (ok)
    RenameDataBase(db, "ndb_new", "ndb");
  return ok;
}

}  // namespace

int PutData(FILE *file, unsigned char *rec)
{
  size_t n = RecLenOf(rec);
  Scramble(rec + 2, n);
  return fwrite(rec, 1, n + 2, file) == n + 2 ? 1 : 0;
}

int GetData(FILE *file, unsigned char *rec)
{
  if (fread(rec, 1, 2, file) != 2)
    return 0;
  size_t n = RecLenOf(rec);
  // A record needs its KeyLen field and a key with terminator; anything
  // longer than the limit is damage: the scan ends here.
  if (n < 3 || n > static_cast<size_t>(DBM_REC_MAX))
    return 0;
  if (fread(rec + 2, 1, n, file) != n)
    return 0;
  Unscramble(rec + 2, n);
  size_t keyLen = KeyLenOf(rec);
  if (keyLen < 1 || keyLen + 2 > n || rec[4 + keyLen - 1] != '\0')
    return 0;
  return 1;
}

FILE *OpenDataBase(const char *name, const char *ext, const char *mode, int report)
{
  char path[PATH_SIZE];
  if (!DbPath(path, name, ext) || !FindFile_(path, nullptr))
    return nullptr;
  for (int attempt = 0; attempt < 10; attempt++) {
    if (FILE *f = OpenFile(nullptr, path, mode, report))
      return f;
    sleep(1);
  }
  return nullptr;
}

FILE *OpenNewDataBase(const char *name)
{
  char dir[PATH_SIZE], file[PATH_SIZE];
  if (!DbDir(dir) || !name ||
      snprintf(file, PATH_SIZE, "%s.ndb_new", name) >= static_cast<int>(PATH_SIZE))
    return nullptr;
  CreateFile(dir, file, "666", nullptr, nullptr);
  return OpenDataBase(name, "ndb_new", "wb", 1);
}

void RenameDataBase(const char *name, const char *from, const char *to)
{
  char dir[PATH_SIZE], oldName[PATH_SIZE], newName[PATH_SIZE];
  if (!DbDir(dir) || !name)
    return;
  if (snprintf(oldName, PATH_SIZE, "%s.%s", name, from) >= static_cast<int>(PATH_SIZE) ||
      snprintf(newName, PATH_SIZE, "%s.%s", name, to) >= static_cast<int>(PATH_SIZE))
    return;
  RenameFile(dir, oldName, newName);
}

int PurgeRecord(const char *name, FILE *in, FILE *out, const char *key, int prefixLen)
{
  unsigned char rec[DBM_BUF_SIZE];
  size_t keyLen = strlen(key);
  while (GetData(in, rec)) {
    if (KeyMatches(rec, key, keyLen, prefixLen))
      continue;
    if (!PutData(out, rec)) {
      fprintf(stderr, "ERROR: Can't write to %s", name);
      return 0;
    }
  }
  return 1;
}

int DbmPutRecord(const char *db, const char *key, const void *value, int length)
{
  if (!db || !key || !value || length <= 0)
    return 0;
  size_t keyLen = strlen(key);
  // RecLen is 16 bits: a longer record would be written with a wrapped
  // length and corrupt the file.
  if (keyLen + static_cast<size_t>(length) + 3 > static_cast<size_t>(DBM_REC_MAX))
    return 0;
  MakeDbDirectory();
  FILE *in = OpenDataBase(db, "ndb", "rb", 0);
  // A file that exists but cannot be read must not be replaced by one
  // holding only the new record.
  char path[PATH_SIZE];
  if (!in && DbPath(path, db, "ndb") && FindFile_(path, nullptr))
    return 0;
  FILE *out = OpenNewDataBase(db);
  if (!out) {
    if (in)
      fclose(in);
    return 0;
  }
  int ok = 1;
  if (in) {
    ok = PurgeRecord(db, in, out, key, 0);
    fclose(in);
  }
  if (ok) {
    unsigned char rec[DBM_BUF_SIZE];
    uint16_t keyField = static_cast<uint16_t>(keyLen + 1);
    uint16_t recLen = static_cast<uint16_t>(keyLen + static_cast<size_t>(length) + 3);
    memcpy(rec, &recLen, 2);
    memcpy(rec + 2, &keyField, 2);
    memcpy(rec + 4, key, keyLen + 1);
    memcpy(rec + 4 + keyLen + 1, value, static_cast<size_t>(length));
    if (!PutData(out, rec)) {
      fprintf(stderr, "ERROR: Can't write to %s", db);
      ok = 0;
    }
  }
  if (!CloseDurably(out) && ok) {
    fprintf(stderr, "ERROR: Can't write to %s", db);
    ok = 0;
  }
  if (ok)
    RenameDataBase(db, "ndb_new", "ndb");
  return ok;
}

int DbmGetRecord(const char *db, const char *key, void *dest)
{
  if (!db || !key || !dest)
    return 0;
  unsigned char rec[DBM_BUF_SIZE];
  if (!FindRecord(db, key, rec))
    return 0;
  int n = ValueLenOf(rec);
  memcpy(dest, ValueOf(rec), static_cast<size_t>(n));
  return n;
}

int DbmGetNextRecord(const char *db, void *dest)
{
  if (!db || !dest)
    return 0;
  FileCloser in{OpenDataBase(db, "ndb", "rb", 0)};
  if (!in.f)
    return 0;
  unsigned char rec[DBM_BUF_SIZE];
  for (int32_t i = 0; i <= Ent2Get; i++)
    if (!GetData(in.f, rec))
      return 0;
  int n = ValueLenOf(rec);
  memcpy(dest, ValueOf(rec), static_cast<size_t>(n));
  Ent2Get++;
  return n;
}

int DbmGetRecordSize(const char *db, const char *key)
{
  if (!db || !key)
    return 0;
  unsigned char rec[DBM_BUF_SIZE];
  return FindRecord(db, key, rec) ? ValueLenOf(rec) : 0;
}

int DbmDeleteRecord(const char *db, const char *key)
{
  if (!db || !key)
    return 0;
  int r = RewriteWithout(db, key, 0);
  return r < 0 ? 0 : r;
}

int DbmDeleteRecords(const char *db, const char *prefix)
{
  if (!db || !prefix || !*prefix)
    return 0;
  size_t n = strlen(prefix);
  if (n > static_cast<size_t>(DBM_REC_MAX))
    return 0;
  return RewriteWithout(db, prefix, static_cast<int>(n)) < 0 ? 0 : 1;
}

char *DbmGetRecordList(const char *db, const char *prefix, const char *suffix)
{
  if (!db || !prefix || !suffix)
    return nullptr;
  FileCloser in{OpenDataBase(db, "ndb", "rb", 0)};
  if (!in.f)
    return nullptr;
  unsigned char rec[DBM_BUF_SIZE];
  char *buf = nullptr;
  size_t len = 0;
  bool any = false;
  while (GetData(in.f, rec)) {
    any = true;
    if (!DbmAppendText(buf, len, prefix) || !DbmAppendText(buf, len, KeyOf(rec))) {
      PutMem(buf);
      return nullptr;
    }
  }
  if (!any || !DbmAppendText(buf, len, suffix)) {
    PutMem(buf);
    return nullptr;
  }
  return buf;
}

// Appends text to a growing pool string; false when memory ran out.
bool DbmAppendText(char *&buf, size_t &len, std::string_view text)
{
  char *grown = static_cast<char *>(AdjustMem(buf, len + text.size() + 1));
  if (!grown)
    return false;
  memcpy(grown + len, text.data(), text.size());
  len += text.size();
  grown[len] = '\0';
  buf = grown;
  return true;
}

char *DbmGetDbList(int flag)
{
  char *list = GetDirFileList("db");
  if (!list)
    return nullptr;
  // The names are copied down inside the listing's own buffer: the output
  // never runs ahead of the input.
  std::string_view rest(list);
  char *out = list;
  bool first = true;
  while (!rest.empty()) {
    size_t start = rest.find_first_not_of(' ');
    if (start == std::string_view::npos)
      break;
    rest.remove_prefix(start);
    size_t end = rest.find(' ');
    std::string_view name = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
    size_t dot = name.find('.');
    if (dot == 0 || dot == std::string_view::npos || name.substr(dot) != ".ndb")
      continue;
    if (flag || !first)
      *out++ = flag ? ' ' : ',';
    memmove(out, name.data(), dot);
    out += dot;
    first = false;
  }
  if (flag && first)
    *out++ = ' ';
  *out = '\0';
  return list;
}

int DbmCopyRecord(const char *db, const char *srcKey, const char *dstKey)
{
  if (!db || !srcKey || !dstKey)
    return 0;
  unsigned char value[DBM_BUF_SIZE];
  int n = DbmGetRecord(db, srcKey, value);
  return n ? DbmPutRecord(db, dstKey, value, n) : 0;
}

DbLink *DbmGetDbLinkList(const char *db, const char *pattern)
{
  if (!db || !pattern)
    return nullptr;
  FileCloser in{OpenDataBase(db, "ndb", "rb", 0)};
  if (!in.f)
    return nullptr;
  unsigned char rec[DBM_BUF_SIZE];
  DbLink *first = nullptr, **tail = &first;
  while (GetData(in.f, rec)) {
    if (!strstr(KeyOf(rec), pattern))
      continue;
    auto *node = static_cast<DbLink *>(GetMem(sizeof(DbLink)));
    char *copy = node ? static_cast<char *>(GetMem(RecLenOf(rec))) : nullptr;
    if (!copy) {
      PutMem(node);
      break;
    }
    memcpy(copy, KeyOf(rec), RecLenOf(rec) - 2u);
    node->pKey = copy;
    node->pData = copy + KeyLenOf(rec);
    node->DataLen = ValueLenOf(rec);
    *tail = node;
    tail = &node->pNext;
  }
  return first;
}

void DbmFreeDbLinkList(DbLink *first)
{
  while (first) {
    DbLink *next = first->pNext;
    PutMem(first->pKey);
    PutMem(first);
    first = next;
  }
}

void DumpDbm(const char *path)
{
  if (!path)
    return;
  char name[PATH_SIZE];
  if (snprintf(name, PATH_SIZE, "%s.db", path) >= static_cast<int>(PATH_SIZE))
    return;
  FileCloser in{OpenFile(nullptr, name, "rb", 1)};
  if (!in.f)
    return;
  unsigned char rec[DBM_BUF_SIZE];
  while (GetData(in.f, rec)) {
    printf("%i %i ==>{", RecLenOf(rec), KeyLenOf(rec));
    for (size_t i = 0; i + 2 < RecLenOf(rec); i++) {
      unsigned char c = rec[4 + i];
      putchar(c >= 0x20 && c < 0x7f ? c : '.');
    }
    printf("}\n");
  }
}

void DbmCreate() {}
void DbmDelete() {}
