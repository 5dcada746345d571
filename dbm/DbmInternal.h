// Dbm internals: the record I/O and the image walk that the plain and the
// typed database share, for the module itself, its tool and its tests. Not
// installed; ordinary callers need only dbm/Dbm.h.
#ifndef NORVO_DBM_INTERNAL_H
#define NORVO_DBM_INTERNAL_H

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "dbm/Dbm.h"

// ---- Plain record files ----

// Low-level record I/O, shared by both flavours. A record buffer holds the
// 16-bit RecLen followed by RecLen plain bytes.
// Scrambles the buffer in place and writes it; 1 on success.
int PutData(FILE *file, unsigned char *rec);
// Reads and unscrambles the next record; 0 at the end, on a short read and on
// a damaged record (length out of range, key without room or terminator).
int GetData(FILE *file, unsigned char *rec);
// Opens <pToolPath>/db/<name>.<ext>; null at once when it does not exist,
// else up to 10 attempts one second apart (report: print each failure).
FILE *OpenDataBase(const char *name, const char *ext, const char *mode, int report);
// Creates (mode 666) and opens <name>.ndb_new for writing, truncated.
FILE *OpenNewDataBase(const char *name);
// Moves <name>.<from> over <name>.<to> inside <pToolPath>/db.
void RenameDataBase(const char *name, const char *from, const char *to);
// Copies every record of in to out except those whose key is key (prefixLen
// 0) or begins with its first prefixLen bytes. 1 when all was copied.
int PurgeRecord(const char *name, FILE *in, FILE *out, const char *key, int prefixLen);
// Appends text to the growing pool string buf of length len (the key lists
// are built this way); false when memory ran out, buf then unchanged.
bool DbmAppendText(char *&buf, size_t &len, std::string_view text);

// ---- Typed record database ----

// One record of the walk.
struct DbTRecord {
  uint16_t RecLen;
  uint16_t KeyLen;
  char *pKey;  // plain images only: the key in the shared scratch buffer
};

// Next record of the walk (index 0 restarts it), or null at the end. A
// damaged record cuts the image back to its start. For a typed image Cursor
// then stands at the scrambled key.
DbTRecord *WalkDbTRecords(DbTHandle *h, DbTRecord *rec, int index);
// First record of key in image order; 1 when found (typed: Cursor at the value).
int FindTRecord(DbTHandle *h, const char *key, DbTRecord *rec);
// Removes every record of key (prefixLen 0) or of keys beginning with its
// first prefixLen bytes; 1 when something was removed. Never writes the file.
int PurgeTRecord(DbTHandle *h, const char *key, int prefixLen);
// Writes magic, RecCount (at most 9 digits) and filler into bytes 0..15.
void UpdateHeader(DbTHandle *h);
// 1 when key begins with an entry of the comma list.
int TestKeyName(const char *key, const char *list);
// Unscrambles n bytes at Cursor into dest / scrambles n bytes from src into
// the image at Cursor; both advance Cursor by n.
void DbmTGetData(DbTHandle *h, void *dest, int n);
void DbmTPutData(DbTHandle *h, const void *src, int n);

#endif
