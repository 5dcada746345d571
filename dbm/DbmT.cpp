// The typed record database: a whole database file held as an image behind a
// handle, refreshed when the file changes, written back through the
// replacement file. Reads plain record files too and keeps them plain.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string_view>

#include "dbm/Dbm.h"
#include "dbm/DbmInternal.h"
#include "memmgr/MemMgr.h"
#include "utils/utils.h"

DbTHandle *pDrvCoreDB = nullptr;
DbTHandle *pPrtCoreDB = nullptr;
DbTHandle *pPrtHelpDB = nullptr;

// Scratch buffer of the walk over plain images: each step unscrambles the
// whole record into it, so a plain record's pKey lives until the next step on
// any handle. Allocated on first use, kept for the life of the process.
static unsigned char *pMem = nullptr;
constexpr size_t PMEM_SIZE = 65535;

// The bytes 1, 2, 3, 4: read as a host integer they tell the byte order.
static const unsigned char TLBuf[4] = {1, 2, 3, 4};

// Hash index over the keys of a typed image: for each distinct key the
// position of its first record, so a lookup gives what a walk from the start
// would. Valid only for the image (address and size) it was built from;
// every change of the image drops it, and a lookup rebuilds it.
struct DbTIndexSlot {
  uint32_t hash;
  int32_t pos;  // record start; 0 marks a free slot (records start at 16)
};
struct DbTIndex {
  const unsigned char *image;
  int32_t imageSize;
  uint32_t mask;  // slot count - 1, a power of two minus one
  uint32_t used;  // slots taken
  DbTIndexSlot slots[1];
};

namespace {

constexpr size_t PATH_SIZE = 1024;
constexpr int32_t TYPED_REC_MAX = 65535;

void Scramble(unsigned char *p, size_t n)
{
  for (size_t i = 0; i + 1 < n; i++)
    p[i] ^= p[i + 1];
}

// Unscrambles n bytes from src into dst (dst may not overlap src).
void UnscrambleCopy(unsigned char *dst, const unsigned char *src, size_t n)
{
  if (n == 0)
    return;
  dst[n - 1] = src[n - 1];
  for (size_t i = n - 1; i-- > 0;)
    dst[i] = src[i] ^ dst[i + 1];
}

uint16_t GetLen16(const DbTHandle *h, int32_t pos)
{
  uint16_t v;
  SetVarContent(&v, h->pImage + pos, 2, h->flSwap);
  return v;
}

void PutLen16(DbTHandle *h, int32_t pos, uint16_t v)
{
  SetVarContent(h->pImage + pos, &v, 2, h->flSwap);
}

int32_t WalkBase(const DbTHandle *h)
{
  return h->DbType == DBT_TYPE_PLAIN ? 0 : DBT_HEADER_SIZE;
}

void DropIndex(DbTHandle *h)
{
  PutMem(h->pIndex);
  h->pIndex = nullptr;
}

// Path of the file behind the handle.
bool HandlePath(const DbTHandle *h, char *buf)
{
  const char *name = h->pName;
  int n;
  if (name[0] == '/')
    n = snprintf(buf, PATH_SIZE, "%s%s", name, strchr(name, '.') ? "" : ".ndb");
  else if (name[0] == '.')
    n = snprintf(buf, PATH_SIZE, "%s", name);
  else if (pToolPath)
    n = snprintf(buf, PATH_SIZE, "%s/db/%s.%s", pToolPath, name, "ndb");
  else
    return false;
  return n > 0 && static_cast<size_t>(n) < PATH_SIZE;
}

bool NeedsRefresh(const DbTHandle *h)
{
  return !(h->Flags & DBT_KEEP_IMAGE);
}

// FNV-1a over the scrambled key bytes without the terminator: a typed key is
// scrambled over its own bytes only, so equal keys have equal stored bytes.
uint32_t HashStored(const unsigned char *s, size_t n)
{
  uint32_t hash = 2166136261u;
  for (size_t i = 0; i < n; i++)
    hash = (hash ^ s[i]) * 16777619u;
  return hash;
}

// The same hash for a plain key, scrambling on the way.
uint32_t HashKey(const unsigned char *k, size_t n)
{
  uint32_t hash = 2166136261u;
  for (size_t i = 0; i < n; i++)
    hash = (hash ^ static_cast<unsigned char>(k[i] ^ k[i + 1])) * 16777619u;
  return hash;
}

// Whether the scrambled key at s (n characters, terminator behind) is key.
bool StoredKeyIs(const unsigned char *s, const unsigned char *k, size_t n)
{
  for (size_t i = 0; i < n; i++)
    if (s[i] != static_cast<unsigned char>(k[i] ^ k[i + 1]))
      return false;
  return true;
}

// Starts a walk; false when there is nothing to walk.
bool ResetWalk(DbTHandle *h)
{
  if (!h->pImage)
    return false;
  if (h->DbType == DBT_TYPE_PLAIN && !pMem) {
    pMem = static_cast<unsigned char *>(GetMem(PMEM_SIZE));
    if (!pMem)
      return false;
  }
  h->WalkPos = WalkBase(h);
  return true;
}

// A damaged record: the image ends where it began.
DbTRecord *CutAt(DbTHandle *h, int32_t start)
{
  h->ImageSize = start;
  h->WalkPos = start;
  return nullptr;
}

DbTRecord *NextRecord(DbTHandle *h, DbTRecord *rec)
{
  int32_t start = h->WalkPos;
  if (start >= h->ImageSize)
    return nullptr;
  if (h->ImageSize - start < 2)
    return CutAt(h, start);
  h->Cursor = start;
  uint16_t recLen = GetLen16(h, start);
  h->Cursor += 2;
  if (recLen < 3 || recLen > h->ImageSize - start - 2)
    return CutAt(h, start);
  uint16_t keyLen;
  if (h->DbType == DBT_TYPE_PLAIN) {
    UnscrambleCopy(pMem, h->pImage + start + 2, recLen);
    memcpy(&keyLen, pMem, 2);
    if (keyLen < 1 || keyLen + 2 > recLen || pMem[2 + keyLen - 1] != 0)
      return CutAt(h, start);
    rec->pKey = reinterpret_cast<char *>(pMem + 2);
  } else {
    keyLen = GetLen16(h, h->Cursor);
    h->Cursor += 2;
    // The last byte of a scrambled key is stored plain: its terminator.
    if (keyLen < 1 || keyLen + 2 > recLen || h->pImage[h->Cursor + keyLen - 1] != 0)
      return CutAt(h, start);
    rec->pKey = nullptr;
  }
  rec->RecLen = recLen;
  rec->KeyLen = keyLen;
  h->WalkPos = start + 2 + recLen;
  return rec;
}

// Plain key of the current record: pKey (plain image) or unscrambled into buf
// (typed, buf holds at least KeyLen bytes; Cursor stands at the key).
const char *RecordKey(DbTHandle *h, const DbTRecord *rec, unsigned char *buf)
{
  if (rec->pKey)
    return rec->pKey;
  UnscrambleCopy(buf, h->pImage + h->Cursor, rec->KeyLen);
  return reinterpret_cast<const char *>(buf);
}

// Builds the index of a typed image; false when memory ran out (lookups then walk).
bool BuildIndex(DbTHandle *h)
{
  DbTRecord rec;
  int32_t count = 0;
  if (!ResetWalk(h))
    return false;
  while (NextRecord(h, &rec))
    count++;
  uint32_t slots = 16;
  while (slots < static_cast<uint32_t>(count) * 2u)
    slots *= 2;
  auto *idx =
      static_cast<DbTIndex *>(GetMem(sizeof(DbTIndex) + (slots - 1) * sizeof(DbTIndexSlot)));
  if (!idx)
    return false;
  idx->image = h->pImage;
  idx->imageSize = h->ImageSize;
  idx->mask = slots - 1;
  ResetWalk(h);
  for (int32_t start = h->WalkPos; NextRecord(h, &rec); start = h->WalkPos) {
    const unsigned char *key = h->pImage + start + 4;
    size_t n = rec.KeyLen - 1u;
    uint32_t hash = HashStored(key, n);
    for (uint32_t i = hash & idx->mask;; i = (i + 1) & idx->mask) {
      DbTIndexSlot &slot = idx->slots[i];
      if (slot.pos == 0) {
        slot.hash = hash;
        slot.pos = start;
        idx->used++;
        break;
      }
      // A later record of a key already seen is never the answer.
      if (slot.hash == hash && GetLen16(h, slot.pos + 2) == rec.KeyLen &&
          memcmp(h->pImage + slot.pos + 4, key, n) == 0)
        break;
    }
  }
  h->pIndex = idx;
  return true;
}

bool IndexUsable(const DbTHandle *h)
{
  const DbTIndex *idx = h->pIndex;
  return idx && idx->image == h->pImage && idx->imageSize == h->ImageSize;
}

bool EnsureIndex(DbTHandle *h)
{
  if (IndexUsable(h))
    return true;
  DropIndex(h);
  return BuildIndex(h) && IndexUsable(h);
}

// Adds the record just appended at start (a key the index did not hold) and
// moves the index on to the grown image; drops it when it is half full, so
// the next lookup rebuilds it twice as large.
void IndexAppended(DbTHandle *h, int32_t start, size_t keyChars)
{
  DbTIndex *idx = h->pIndex;
  if ((idx->used + 1) * 2 > idx->mask + 1) {
    DropIndex(h);
    return;
  }
  uint32_t hash = HashStored(h->pImage + start + 4, keyChars);
  uint32_t i = hash & idx->mask;
  while (idx->slots[i].pos != 0)
    i = (i + 1) & idx->mask;
  idx->slots[i] = {hash, start};
  idx->used++;
  idx->image = h->pImage;
  idx->imageSize = h->ImageSize;
}

// Sets rec, Cursor (at the value) and WalkPos for the record at start, as
// the walk would have left them.
void StopAt(DbTHandle *h, DbTRecord *rec, int32_t start)
{
  rec->RecLen = GetLen16(h, start);
  rec->KeyLen = GetLen16(h, start + 2);
  rec->pKey = nullptr;
  h->Cursor = start + 4 + rec->KeyLen;
  h->WalkPos = start + 2 + rec->RecLen;
}

int FindByIndex(DbTHandle *h, const char *key, size_t n, DbTRecord *rec)
{
  auto k = reinterpret_cast<const unsigned char *>(key);
  uint32_t hash = HashKey(k, n);
  const DbTIndex *idx = h->pIndex;
  for (uint32_t i = hash & idx->mask;; i = (i + 1) & idx->mask) {
    const DbTIndexSlot &slot = idx->slots[i];
    if (slot.pos == 0)
      return 0;
    if (slot.hash == hash && GetLen16(h, slot.pos + 2) == n + 1 &&
        StoredKeyIs(h->pImage + slot.pos + 4, k, n)) {
      StopAt(h, rec, slot.pos);
      return 1;
    }
  }
}

// Copies the value of the record the find stopped at into dest.
void CopyValue(DbTHandle *h, const DbTRecord *rec, void *dest)
{
  int n = rec->RecLen - rec->KeyLen - 2;
  if (rec->pKey)
    memcpy(dest, rec->pKey + rec->KeyLen, static_cast<size_t>(n));
  else
    DbmTGetData(h, dest, n);
}

// Writes bytes to <dir>/<file>_new (made with mode 666) and moves it over
// <dir>/<file>. The same path as the plain file's update.
int WriteBack(const char *label, const char *dir, const char *file, const void *data, size_t n)
{
  char newName[PATH_SIZE], path[PATH_SIZE];
  if (snprintf(newName, PATH_SIZE, "%s_new", file) >= static_cast<int>(PATH_SIZE) ||
      snprintf(path, PATH_SIZE, "%s/%s", dir, newName) >= static_cast<int>(PATH_SIZE))
    return 0;
  CreateFile(dir, newName, "666", nullptr, nullptr);
  FILE *out = nullptr;
  for (int attempt = 0; attempt < 10 && !out; attempt++)
    if (!(out = OpenFile(nullptr, path, "wb", 1)))
      sleep(1);
  if (!out)
    return 0;
  // On the disk before the rename: a crash must never leave the database
  // replaced by a file whose data was still only in memory.
  bool ok = fwrite(data, 1, n, out) == n && fflush(out) == 0 && fsync(fileno(out)) == 0;
  if (fclose(out) != 0)
    ok = false;
  if (!ok) {
    fprintf(stderr, "ERROR: Can't write to %s", label);
    return 0;
  }
  RenameFile(dir, newName, file);
  return 1;
}

}  // namespace

void DbTSetDbType(DbTHandle *h, int32_t type)
{
  if (!h)
    return;
  h->DbType = type;
  uint32_t order;
  memcpy(&order, TLBuf, 4);
  h->flSwap = type != DBT_TYPE_PLAIN && order != 0x01020304u;
}

void UpdateHeader(DbTHandle *h)
{
  if (!h || !h->pImage)
    return;
  char count[24];
  snprintf(count, sizeof count, "%li", static_cast<long>(h->RecCount));
  count[9] = '\0';
  unsigned char *p = h->pImage;
  memcpy(p, "TNDBAA", 6);
  size_t n = strlen(count);
  memcpy(p + 6, count, n + 1);
  for (size_t i = 6 + n + 1; i < DBT_HEADER_SIZE; i++)
    p[i] = static_cast<unsigned char>(rand());
}

DbTHandle *DbTOpen(const char *name, int32_t flags)
{
  if (!name)
    return nullptr;
  auto *h = static_cast<DbTHandle *>(GetMem(sizeof(DbTHandle)));
  if (!h)
    return nullptr;
  size_t n = strlen(name);
  h->pName = static_cast<char *>(GetMem(n + 1));
  if (!h->pName) {
    PutMem(h);
    return nullptr;
  }
  memcpy(h->pName, name, n);
  h->Flags = flags;
  DbTUpDate(h);
  return h;
}

void DbTClose(DbTHandle *h)
{
  if (!h)
    return;
  DropIndex(h);
  PutMem(h->pImage);
  PutMem(h->pName);
  PutMem(h);
}

void DbTUpDate(DbTHandle *h)
{
  if (!h)
    return;
  char path[PATH_SIZE];
  struct stat st;
  if (!HandlePath(h, path) || stat(path, &st) != 0)
    return;
  if (h->pImage && h->FileTime == st.st_mtim.tv_sec && h->FileTimeNs == st.st_mtim.tv_nsec &&
      h->FileSize == st.st_size && h->FileIno == st.st_ino)
    return;
  DropIndex(h);
  PutMem(h->pImage);
  h->pImage = nullptr;
  unsigned char *image = nullptr;
  for (int attempt = 0; attempt < 10; attempt++) {
    image = reinterpret_cast<unsigned char *>(GetSavedFileContent(path, nullptr));
    if (image || SavedFileSize == 0)
      break;
    sleep(1);
  }
  if (image && SavedFileSize > 0x7fff0000L) {
    PutMem(image);
    image = nullptr;
  }
  h->FileTimeNs = st.st_mtim.tv_nsec;
  h->FileSize = st.st_size;
  h->FileIno = st.st_ino;
  if (!image) {
    h->ImageSize = h->Cursor = h->WalkPos = h->RecCount = 0;
    // An empty file is remembered as loaded, so changes kept in memory
    // survive until the file itself changes; a failed read is retried.
    h->FileTime = SavedFileSize == 0 && st.st_size == 0 ? st.st_mtim.tv_sec : 0;
    if (st.st_size != 0)
      h->FileSize = -1;  // unreadable: never written back over
    h->pImage = static_cast<unsigned char *>(GetMem(DBT_HEADER_SIZE));
    DbTSetDbType(h, DBT_TYPE_NEW);
    if (h->pImage) {
      UpdateHeader(h);
      h->ImageSize = DBT_HEADER_SIZE;
    }
    return;
  }
  h->pImage = image;
  h->ImageSize = static_cast<int32_t>(SavedFileSize);
  h->FileTime = st.st_mtim.tv_sec;
  h->Cursor = h->WalkPos = 0;
  if (h->ImageSize >= 5 && memcmp(image, "TNDBAA", 5) == 0) {
    h->RecCount = 0;
    for (int i = 6; i < 15 && i < h->ImageSize && image[i] >= '0' && image[i] <= '9'; i++)
      h->RecCount = h->RecCount * 10 + (image[i] - '0');
    // A header cut short still gets its 16 bytes, so records start where
    // they always do.
    if (h->ImageSize < DBT_HEADER_SIZE) {
      auto *grown = static_cast<unsigned char *>(AdjustMem(image, DBT_HEADER_SIZE));
      if (grown) {
        h->pImage = grown;
        h->ImageSize = DBT_HEADER_SIZE;
      } else {
        h->ImageSize = 0;
      }
    }
    DbTSetDbType(h, DBT_TYPE_TYPED);
  } else {
    h->RecCount = 0;
    DbTSetDbType(h, DBT_TYPE_PLAIN);
  }
}

void DbmTPutData(DbTHandle *h, const void *src, int n)
{
  if (!h || n <= 0)
    return;
  unsigned char *dst = h->pImage + h->Cursor;
  memcpy(dst, src, static_cast<size_t>(n));
  Scramble(dst, static_cast<size_t>(n));
  h->Cursor += n;
}

void DbmTGetData(DbTHandle *h, void *dest, int n)
{
  if (!h || n <= 0)
    return;
  UnscrambleCopy(static_cast<unsigned char *>(dest), h->pImage + h->Cursor, static_cast<size_t>(n));
  h->Cursor += n;
}

DbTRecord *WalkDbTRecords(DbTHandle *h, DbTRecord *rec, int index)
{
  if (!h || !rec || !h->pImage)
    return nullptr;
  if (index == 0 && !ResetWalk(h))
    return nullptr;
  return NextRecord(h, rec);
}

int FindTRecord(DbTHandle *h, const char *key, DbTRecord *rec)
{
  if (!h || !key || !*key || !rec || !h->pImage)
    return 0;
  size_t n = strlen(key);
  if (n + 1 > 0xffff)
    return 0;
  if (h->DbType != DBT_TYPE_PLAIN && EnsureIndex(h))
    return FindByIndex(h, key, n, rec);
  auto k = reinterpret_cast<const unsigned char *>(key);
  for (DbTRecord *r = WalkDbTRecords(h, rec, 0); r; r = WalkDbTRecords(h, rec, 1)) {
    if (r->KeyLen != n + 1)
      continue;
    if (r->pKey ? memcmp(r->pKey, key, n + 1) == 0 : StoredKeyIs(h->pImage + h->Cursor, k, n)) {
      if (!r->pKey)
        h->Cursor += r->KeyLen;
      return 1;
    }
  }
  return 0;
}

int PurgeTRecord(DbTHandle *h, const char *key, int prefixLen)
{
  if (!h || !key || !*key || prefixLen < 0)
    return 0;
  if (NeedsRefresh(h))
    DbTUpDate(h);
  if (!h->pImage || !ResetWalk(h))
    return 0;
  size_t n = strlen(key);
  if (prefixLen == 0 && n + 1 > 0xffff)
    return 0;
  unsigned char keyBuf[65536];
  bool removed = false;
  DbTRecord rec;
  for (int32_t start = h->WalkPos; NextRecord(h, &rec); start = h->WalkPos) {
    bool match;
    if (prefixLen == 0) {
      match = rec.KeyLen == n + 1 && memcmp(RecordKey(h, &rec, keyBuf), key, n + 1) == 0;
    } else {
      match = rec.KeyLen > prefixLen &&
              memcmp(RecordKey(h, &rec, keyBuf), key, static_cast<size_t>(prefixLen)) == 0;
    }
    if (!match)
      continue;
    memmove(h->pImage + start, h->pImage + h->WalkPos,
            static_cast<size_t>(h->ImageSize - h->WalkPos));
    h->ImageSize -= rec.RecLen + 2;
    if (h->RecCount > 0)
      h->RecCount--;
    h->WalkPos = start;
    removed = true;
  }
  DropIndex(h);
  if (removed && h->ImageSize > 0) {
    if (auto *shrunk =
            static_cast<unsigned char *>(AdjustMem(h->pImage, static_cast<size_t>(h->ImageSize))))
      h->pImage = shrunk;
  }
  return removed ? 1 : 0;
}

int DbmTPutRecord(DbTHandle *h, const char *key, const void *value, int length)
{
  if (!h || !key || !value || length <= 0)
    return 0;
  size_t n = strlen(key);
  // Lengths are 16-bit fields: a record that does not fit would be written
  // with a wrapped length and corrupt the file. Keys stay within the key
  // buffers of the callers.
  if (n + 1 > static_cast<size_t>(DBT_KEY_MAX) ||
      n + static_cast<size_t>(length) + 3 > static_cast<size_t>(TYPED_REC_MAX))
    return 0;
  if (NeedsRefresh(h))
    DbTUpDate(h);
  bool plain = h->DbType == DBT_TYPE_PLAIN;
  // Plain files must stay readable by the plain reader.
  if (plain && n + static_cast<size_t>(length) + 3 > static_cast<size_t>(DBM_REC_MAX))
    return 0;
  if (h->DbType == DBT_TYPE_NEW)
    DbTSetDbType(h, DBT_TYPE_TYPED);
  // A key the index does not hold has no record to purge, and the index
  // can take the new record as it is: storing new keys one after another
  // (building a catalog) stays linear.
  DbTRecord old;
  bool newKey = !plain && h->pImage && EnsureIndex(h) && !FindByIndex(h, key, n, &old);
  if (!newKey) {
    int32_t flags = h->Flags;
    h->Flags |= DBT_KEEP_IMAGE;  // refreshed above already
    PurgeTRecord(h, key, 0);
    h->Flags = flags;
    DropIndex(h);
  }
  if (h->ImageSize == 0 && !plain)
    h->ImageSize = DBT_HEADER_SIZE;
  uint16_t keyLen = static_cast<uint16_t>(n + 1);
  uint16_t recLen = static_cast<uint16_t>(n + static_cast<size_t>(length) + 3);
  int64_t newSize = int64_t{h->ImageSize} + recLen + 2;
  if (newSize > 0x7fff0000L)
    return 0;
  auto *grown = static_cast<unsigned char *>(AdjustMem(h->pImage, static_cast<size_t>(newSize)));
  if (!grown)
    return 0;
  h->pImage = grown;
  int32_t at = h->ImageSize;
  PutLen16(h, at, recLen);
  h->Cursor = at + 2;
  if (plain) {
    unsigned char *p = h->pImage + h->Cursor;
    memcpy(p, &keyLen, 2);
    memcpy(p + 2, key, n + 1);
    memcpy(p + 2 + n + 1, value, static_cast<size_t>(length));
    Scramble(p, recLen);
  } else {
    PutLen16(h, h->Cursor, keyLen);
    h->Cursor += 2;
    DbmTPutData(h, key, keyLen);
    DbmTPutData(h, value, length);
    h->RecCount++;
  }
  h->ImageSize = static_cast<int32_t>(newSize);
  if (newKey && h->pIndex)
    IndexAppended(h, at, n);
  if (h->Flags & DBT_NO_ARCHIVE)
    return 1;
  return DbmTArchiveDb(h);
}

int DbmTDeleteRecord(DbTHandle *h, const char *key)
{
  if (!h || !key)
    return 0;
  int removed = PurgeTRecord(h, key, 0);
  if (removed && !(h->Flags & DBT_NO_ARCHIVE))
    return DbmTArchiveDb(h);
  return removed;
}

int DbmTDeleteRecords(DbTHandle *h, const char *prefix)
{
  if (!h || !prefix || !*prefix)
    return 0;
  size_t n = strlen(prefix);
  if (n > 0xffff)
    return 1;
  if (PurgeTRecord(h, prefix, static_cast<int>(n)) && !(h->Flags & DBT_NO_ARCHIVE))
    DbmTArchiveDb(h);
  return 1;
}

int DbmTGetRecordSize(DbTHandle *h, const char *key)
{
  if (!h || !key)
    return 0;
  if (NeedsRefresh(h))
    DbTUpDate(h);
  DbTRecord rec;
  return FindTRecord(h, key, &rec) ? rec.RecLen - rec.KeyLen - 2 : 0;
}

int DbmTGetRecord(DbTHandle *h, const char *key, void *dest)
{
  if (!h || !key || !dest)
    return 0;
  if (NeedsRefresh(h))
    DbTUpDate(h);
  DbTRecord rec;
  if (!FindTRecord(h, key, &rec))
    return 0;
  CopyValue(h, &rec, dest);
  return rec.RecLen - rec.KeyLen - 2;
}

int DbmTGetRecordV(DbTHandle *h, const char *key, void **buf, int size)
{
  if (!h || !key || !buf)
    return 0;
  if (NeedsRefresh(h))
    DbTUpDate(h);
  DbTRecord rec;
  if (!FindTRecord(h, key, &rec))
    return 0;
  int n = rec.RecLen - rec.KeyLen - 2;
  if (n > size || !*buf) {
    void *own = GetMem(static_cast<size_t>(n > 0 ? n : 1));
    if (!own)
      return 0;
    *buf = own;
  }
  CopyValue(h, &rec, *buf);
  return n;
}

int DbmTCopyRecord(DbTHandle *h, const char *srcKey, const char *dstKey)
{
  if (!h || !srcKey || !dstKey)
    return 0;
  unsigned char value[65536];
  int n = DbmTGetRecord(h, srcKey, value);
  return n ? DbmTPutRecord(h, dstKey, value, n) : 0;
}

int TestKeyName(const char *key, const char *list)
{
  if (!key || !list || !*list)
    return 0;
  size_t size = strlen(list) + 1;
  char *entry = static_cast<char *>(GetMem(size));
  if (!entry)
    return 0;
  char savedDel = chTokenDel;
  const char *cursor = list;
  int found = 0;
  for (const char *text = list; !found && GetTokenD(text, ",", &cursor, entry, size);
       text = nullptr)
    found = strncmp(key, entry, strlen(entry)) == 0;
  chTokenDel = savedDel;
  PutMem(entry);
  return found;
}

// The key lists: prefix + key per selected record, then suffix.
static char *KeyList(DbTHandle *h, const char *select, const char *prefix, const char *suffix)
{
  if (NeedsRefresh(h))
    DbTUpDate(h);
  DbTRecord rec;
  unsigned char keyBuf[65536];
  char *buf = nullptr;
  size_t len = 0;
  bool any = false;
  for (DbTRecord *r = WalkDbTRecords(h, &rec, 0); r; r = WalkDbTRecords(h, &rec, 1)) {
    const char *key = RecordKey(h, r, keyBuf);
    if (select && !TestKeyName(key, select))
      continue;
    any = true;
    if (!DbmAppendText(buf, len, prefix) || !DbmAppendText(buf, len, key)) {
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

char *DbmTGetRecordList(DbTHandle *h, const char *prefix, const char *suffix)
{
  if (!h || !prefix || !suffix)
    return nullptr;
  return KeyList(h, nullptr, prefix, suffix);
}

char *DbmTGetRecordListS(DbTHandle *h, const char *list, const char *prefix, const char *suffix)
{
  if (!h || !list || !*list || !prefix || !suffix)
    return nullptr;
  return KeyList(h, list, prefix, suffix);
}

DbLink *DbmTGetDbLinkList(DbTHandle *h, const char *pattern)
{
  if (!h || !pattern)
    return nullptr;
  if (NeedsRefresh(h))
    DbTUpDate(h);
  DbTRecord rec;
  unsigned char keyBuf[65536];
  DbLink *first = nullptr, **tail = &first;
  for (DbTRecord *r = WalkDbTRecords(h, &rec, 0); r; r = WalkDbTRecords(h, &rec, 1)) {
    const char *key = RecordKey(h, r, keyBuf);
    if (!strstr(key, pattern))
      continue;
    auto *node = static_cast<DbLink *>(GetMem(sizeof(DbLink)));
    char *copy = node ? static_cast<char *>(GetMem(r->RecLen)) : nullptr;
    if (!copy) {
      PutMem(node);
      break;
    }
    memcpy(copy, key, r->KeyLen);
    int n = r->RecLen - r->KeyLen - 2;
    if (r->pKey) {
      memcpy(copy + r->KeyLen, r->pKey + r->KeyLen, static_cast<size_t>(n));
    } else {
      h->Cursor += r->KeyLen;
      DbmTGetData(h, copy + r->KeyLen, n);
    }
    node->pKey = copy;
    node->pData = copy + r->KeyLen;
    node->DataLen = n;
    *tail = node;
    tail = &node->pNext;
  }
  return first;
}

int DbmTArchiveDb(DbTHandle *h)
{
  if (!h)
    return 0;
  if (h->DbType != DBT_TYPE_PLAIN) {
    if (!h->pImage || h->ImageSize < DBT_HEADER_SIZE) {
      auto *grown = static_cast<unsigned char *>(AdjustMem(h->pImage, DBT_HEADER_SIZE));
      if (!grown)
        return 0;
      h->pImage = grown;
      h->ImageSize = DBT_HEADER_SIZE;
    }
    UpdateHeader(h);
  }
  char path[PATH_SIZE];
  if (!HandlePath(h, path))
    return 0;
  // The image of a file that could not be read lacks that file's records:
  // writing it back would lose them.
  struct stat st;
  if (h->FileSize < 0 && stat(path, &st) == 0)
    return 0;
  bool byName = h->pName[0] != '/' && h->pName[0] != '.';
  if (byName && !FindFile(nullptr, "db"))
    CreateFile("./db", nullptr, "777", nullptr, nullptr);
  // A handle opened by a path writes back to that very file, one opened by
  // a name to <pToolPath>/db/<name>.ndb.
  char *slash = strrchr(path, '/');
  const char *dir = path, *file = path;
  if (!slash) {
    dir = ".";
  } else if (slash == path) {
    dir = "/";
    file = path + 1;
  } else {
    *slash = '\0';
    file = slash + 1;
  }
  return WriteBack(h->pName, dir, file, h->pImage, static_cast<size_t>(h->ImageSize));
}
