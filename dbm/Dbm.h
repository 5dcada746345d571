// Dbm: keyed record databases.
//
// A database is one file of records, each a text key and a value of any
// bytes, named by a plain name and kept as <pToolPath>/db/<name>.ndb. Two
// flavours share the record layout and the write path:
//
//  - the plain record file: records back to back, no header, lengths in host
//    order; the Dbm* functions open, scan and close the file on every call;
//  - the typed database: the whole file as an image behind a DbTHandle,
//    refreshed when the file changes; new files carry a 16-byte "TNDBAA"
//    header and big-endian lengths.
//
// A record is RecLen (16 bits), then RecLen bytes: KeyLen (16 bits), the key
// with its terminator, the value. Those bytes are stored scrambled by an XOR
// chain (s[i] = p[i] ^ p[i+1], the last byte plain). Updates never rewrite a
// file in place: the new contents go to <name>.ndb_new, which is then moved
// over <name>.ndb, so a reader sees either the old or the new file.
//
// Damaged files are read up to the last sound record; nothing past a record
// buffer or the image is ever read. Single-threaded; no locks between
// processes (the last writer wins).
#ifndef NORVO_DBM_H
#define NORVO_DBM_H

#include <cstdint>
#include <cstdio>

// Base directory of the application's databases (<pToolPath>/db). Set by the
// application; while it is null, databases named by plain names do not exist.
extern char *pToolPath;

// ---- Plain record files -----------------------------------------------------

constexpr int DBM_REC_MAX = 65527;   // bytes after a record's length field
constexpr int DBM_BUF_SIZE = 65536;  // a record buffer: RecLen field and record

// One record found by DbmGetDbLinkList / DbmTGetDbLinkList (pool memory).
struct DbLink {
  DbLink *pNext;    // next node or null
  char *pKey;       // pool copy of key, terminator and value
  char *pData;      // the value inside pKey
  int32_t DataLen;  // value length
};

// Stores value under key (replacing the old record, which moves to the end).
// 0 for null arguments, an empty value, a record over the size limit or a
// failed write; the file is then left as it was.
int DbmPutRecord(const char *db, const char *key, const void *value, int length);
// Copies the value of key into dest (no bound: the caller knows the sizes);
// returns its length, 0 when absent.
int DbmGetRecord(const char *db, const char *key, void *dest);
// Copies the value of the record numbered by a process-wide counter (0, 1,
// 2, ... across all databases, never reset) and advances the counter.
int DbmGetNextRecord(const char *db, void *dest);
int DbmGetRecordSize(const char *db, const char *key);
// Rewrites the file without key; 1 when rewritten (also when key was absent).
int DbmDeleteRecord(const char *db, const char *key);
// Drops every key beginning with prefix; 1 once both files were opened.
int DbmDeleteRecords(const char *db, const char *prefix);
// prefix + key for every record, then suffix, as a pool string; null if none.
char *DbmGetRecordList(const char *db, const char *prefix, const char *suffix);
// Names of ./db/*.ndb: " a b" (flag set) or "a,b" (flag 0), in the directory
// listing's pool buffer; null when ./db cannot be read.
char *DbmGetDbList(int flag);
// Stores the value of srcKey under dstKey; 0 when srcKey is absent.
int DbmCopyRecord(const char *db, const char *srcKey, const char *dstKey);
// Records whose key contains pattern, in file order; free with DbmFreeDbLinkList.
DbLink *DbmGetDbLinkList(const char *db, const char *pattern);
void DbmFreeDbLinkList(DbLink *first);
// Prints every record of <path>.db: "RecLen KeyLen ==>{key.value}".
void DumpDbm(const char *path);
void DbmCreate();
void DbmDelete();

// ---- Typed record database -------------------------------------------------

enum : int32_t {
  DBT_KEEP_IMAGE = 2,  // never refresh the image from the file
  DBT_NO_ARCHIVE = 4,  // changes stay in memory until DbmTArchiveDb
};
enum : int32_t {
  DBT_TYPE_NEW = 0,    // image made in memory
  DBT_TYPE_PLAIN = 1,  // plain record file
  DBT_TYPE_TYPED = 2,  // typed file with header
};
constexpr int DBT_HEADER_SIZE = 16;
constexpr int DBT_KEY_MAX = 4096;  // key and terminator, as callers' key buffers

struct DbTIndex;  // lookup index over the image, private to the module

// An open typed database (pool memory, from DbTOpen).
struct DbTHandle {
  char *pName;            // name or path given to DbTOpen
  uint8_t flSwap;         // length fields are byte-swapped against the host
  int32_t Flags;          // DBT_KEEP_IMAGE, DBT_NO_ARCHIVE
  unsigned char *pImage;  // the file image, or null
  int32_t ImageSize;      // bytes used in pImage
  long FileTime;          // mtime (s) of the file the image came from, 0: none
  int32_t Cursor;         // position of the scrambled field routines
  int32_t WalkPos;        // position of the next record of the walk
  int32_t RecCount;       // record count (typed header)
  int32_t DbType;         // DBT_TYPE_*
  // The rest identifies the loaded file beyond its mtime seconds (a rewrite
  // within the same second is still seen) and caches lookups.
  long FileTimeNs;
  long FileSize;  // -1 after a failed read: never written back over
  unsigned long FileIno;
  DbTIndex *pIndex;  // null until the first lookup after a change
};

// Application handles the toolkit reads (opened by the application).
extern DbTHandle *pDrvCoreDB;
extern DbTHandle *pPrtCoreDB;
extern DbTHandle *pPrtHelpDB;

// Opens name ("/abs/path", "./rel/path" or a plain name under pToolPath/db)
// and loads it; a missing file gives an empty typed database. Null only for
// a null name or no memory.
DbTHandle *DbTOpen(const char *name, int32_t flags);
// Releases image and handle without writing.
void DbTClose(DbTHandle *h);
// Loads the file, or reloads it when it changed since it was loaded.
void DbTUpDate(DbTHandle *h);
void DbTSetDbType(DbTHandle *h, int32_t type);

// Stores value under key at the end of the image and writes the file back
// (unless DBT_NO_ARCHIVE). 0 for null arguments, an empty value, a record over
// the limits (typed 65535 bytes after the length field, plain 65527, keys
// 4096 with terminator) or a failed write-back.
int DbmTPutRecord(DbTHandle *h, const char *key, const void *value, int length);
int DbmTDeleteRecord(DbTHandle *h, const char *key);
int DbmTDeleteRecords(DbTHandle *h, const char *prefix);
// Value of key into dest (no bound); its length, 0 when absent.
int DbmTGetRecord(DbTHandle *h, const char *key, void *dest);
// Value of key into *buf when it fits in size bytes, else into a new pool
// buffer that replaces *buf (the caller frees it). Returns the value length.
int DbmTGetRecordV(DbTHandle *h, const char *key, void **buf, int size);
int DbmTGetRecordSize(DbTHandle *h, const char *key);
int DbmTCopyRecord(DbTHandle *h, const char *srcKey, const char *dstKey);
// prefix + key for every record, then suffix (pool string), null if none.
char *DbmTGetRecordList(DbTHandle *h, const char *prefix, const char *suffix);
// The same for keys beginning with an entry of the comma list.
char *DbmTGetRecordListS(DbTHandle *h, const char *list, const char *prefix, const char *suffix);
DbLink *DbmTGetDbLinkList(DbTHandle *h, const char *pattern);
// Writes the image to <pToolPath>/db/<pName>.ndb through the replacement file.
int DbmTArchiveDb(DbTHandle *h);

#endif
