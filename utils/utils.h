// utils: the text and file utilities shared by the installer and the toolkit:
// tokenizer and keyword lists, strings and paths, saved strings, the shared
// line buffers and the current input file, logging, error reports and the
// host file services.
//
// Each section below belongs to one source file of this folder.
#ifndef NORVO_UTILS_H
#define NORVO_UTILS_H

#include <cstdarg>
#include <cstddef>
#include <cstdio>

#include "memmgr/MemMgr.h"

#define NORVO_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))

// ---- Program-wide globals (globals.cpp) -----------------------------------
constexpr size_t LINEBUF_SIZE = 4096;
constexpr size_t LINE_SIZE = 262143;

extern char *my_name;               // program name, names the log file; set by main
extern int flUseLog;                // 1: commands and messages go to /tmp/<my_name>.log
extern char LineBuf[LINEBUF_SIZE];  // current input line (files and keyboard)
extern char Line[LINE_SIZE];        // large scratch and formatting buffer

// ---- Tokenizer and keyword lists (tokenizer.cpp) --------------------------
// One scan state serves the whole program: GetToken, GetTokenParse and their
// relatives walk the text last handed to them. A scan nested inside another
// saves szTokenIn (or GetTokenBufInput()) and chTokenDel and gives the saved
// position back to SetTokenBuf afterwards. Nothing here reports errors: bad or
// missing input yields 0 or null. A backslash escapes the next character (a
// lone one at the very end of a text is dropped by the copying scans and kept
// by GetTokenParse). A scan started on read-only text must not be continued
// with GetTokenParse, which writes into the text.
constexpr size_t TOKENBUF_SIZE = 255;  // a token holds at most 254 characters

// First argument of GetToken/GetTokenD/GetTokenParse: go on with the current
// scan, but refuse (null) a token that a newline ends.
#define TOKEN_LINE_MODE ((char *)-1)

extern char GetTokenBuf[TOKENBUF_SIZE];  // the last token of GetToken
extern char *szTokenIn;                  // where the last completed scan stopped
extern char chTokenDel;                  // last delimiter consumed, 0 for none

// Reads a line of standard input into buf (at most size - 1 characters, the
// newline dropped, always terminated). Null at end of input with nothing read.
char *Gets(char *buf, size_t size);
// Starts a scan of text (scan and resume position both move there).
void SetTokenBuf(const char *text);
// The current scan position.
char *GetTokenBufInput();
// Next token of text (new scan), of the current scan (null) or of the current
// line (TOKEN_LINE_MODE), copied into GetTokenBuf with \n \r \t translated.
// Runs of delimiters count as one; a token longer than 254 characters is
// truncated (the rest of it is consumed). Null when no token is left.
char *GetToken(const char *text, const char *delims);
// GetToken on the caller's cursor and buffer (out holds outSize bytes, the
// token is truncated to fit); leaves the shared scan alone but sets
// chTokenDel. Null/TOKEN_LINE_MODE for text continue at *cursor.
char *GetTokenD(const char *text, const char *delims, const char **cursor, char *out,
                size_t outSize = TOKENBUF_SIZE);
// GetToken in place: terminates the token (and the delimiters in front of
// it) inside the text and returns it; escapes stay untranslated.
char *GetTokenParse(char *text, const char *delims);
// Splits text in place into at most nslots items (all slots cleared first);
// no escapes, the scan state is untouched. Returns the number of items.
int ParseStr(char *text, const char *delims, char **slots, int nslots);
// The n-th token (n < 1 counts as 1) through GetToken; the scan stays behind it.
char *GetTokenN(const char *text, const char *delims, int n);
// Number of tokens of text (or of the rest of the current scan for null);
// the scan state and GetTokenBuf are kept (chTokenDel is not).
int GetTokenCount(const char *text, const char *delims);
// 1-based position of word in a keyword list (",y,yes,n,no,": the first
// character is the delimiter, a trailing one is optional); 0 when absent or
// for null arguments. FindToken is exact, FindTokenC ignores case. Words
// longer than 509 characters are never found.
int FindToken(const char *word, const char *list);
int FindTokenC(const char *word, const char *list);
// 1-based position of word in "a,b,c" split at delim (no leading delimiter).
int FindTokenWithDelim(const char *list, const char *word, char delim);
// Sorts the items of a delim-separated list in place (selection sort, escaped
// delimiters do not split, a lone backslash at the end is dropped). The list
// may grow by one delimiter: the caller's buffer needs room for it.
void SortTokens(char *list, char delim, int ignoreCase);

// ---- Strings, paths and saved strings (strings.cpp) -----------------------
// A saved string is a terminated text in pool memory of exactly its length plus
// one byte; the receiver owns it and releases it with PutMem. Running out of
// memory ends the process (SysError), so these never return null for a text.

// printf into pool memory. fmt should not be null (null gives "").
[[gnu::returns_nonnull]] char *SaveStr(const char *fmt, ...) NORVO_PRINTF(1, 2);
// As SaveStr, but a null fmt gives null.
char *SaveStr__(const char *fmt, ...) NORVO_PRINTF(1, 2);
// Plain copy of text ("%" is an ordinary character); null gives "".
[[gnu::returns_nonnull]] char *SaveStr_(const char *text);
// Plain copy of the len bytes at text (which need not end there), terminated.
[[gnu::returns_nonnull]] char *SaveStrN(const char *text, size_t len);
// n zero-filled bytes of pool memory (n > 0) for a caller that cannot go on
// without them: running out of memory ends the process (SysError with
// common_109), so the result is never null. The caller releases it with
// PutMem.
[[gnu::returns_nonnull]] void *GetMemOrDie(size_t n);
// AdjustMem (p may be null) for the same kind of caller: the result is
// never null, and p is not to be used afterwards.
[[gnu::returns_nonnull]] void *AdjustMemOrDie(void *p, size_t n);

// Path splitters. Each returns its own static buffer, overwritten by its next
// call; a path longer than the buffer is cut to fit. A null path is allowed.
char *StripPath(const char *path);      // last component: "a/b/" -> "b"
char *StripFn(const char *path);        // directory part: "a" -> ".", "/f" -> "/"
char *StripExt(const char *path);       // cut at the first dot after a non-dot
char *StripPathExt(const char *path);   // last component without extension
char *StripPathName(const char *path);  // last dot-segment behind the first "/"
// Nearest existing directory entry of path, walking up its directory parts;
// sets *flag to 1 when path itself exists. Saved string.
char *FindExistingPath(const char *path, int *flag);

// Searches. Results point into the text searched.
size_t StrLen(const char *text);                              // text must not be null
char *StrChr(const char *text, int c);                        // skips backslash escapes
char *StrNChr(const char *text, int c, int n);                // n-th occurrence, from 1
char *StrStr(const char *text, const char *pattern);          // empty pattern: null
char *StrNStr(const char *text, const char *pattern, int n);  // overlaps count
char *StrCaseStr(const char *text, const char *pattern);
char *SkipSpace(const char *text);  // null for null

// Removes every backslash, in place.
char *StripAllBackslashes(char *text);
// Keeps the printable characters (and \n \r when keepLineEnds), in place.
char *StripNonPrint(char *text, int keepLineEnds);
// Copies len bytes, in reverse byte order when reverse is set.
void SetVarContent(void *dst, const void *src, size_t len, int reverse);
// Converts a length between units 0 inch, 1 cm, 2 point.
float CvtFloatFormat(float value, int from, int to);
double MaxD(double a, double b);

// ---- Input files and file queries (input.cpp) -----------------------------
// One current input file (pIn) feeds the shared buffers: GetFileLine fills
// LineBuf, GetLine fills Line. Any reader overwrites what the previous one
// left there; callers copy what they keep.
inline constexpr char common_113[] = "ERROR: can't open file, %s";
inline constexpr char common_114[] = "ERROR: can't open file, %s\n";
inline constexpr char common_115[] = "can't open file, %s";

constexpr size_t INPUT_FILE_NAME_SIZE = 256;

extern int LineLen;  // LineBuf text before the last continuation line, else 0
extern char *pLine;  // start of the text GetLine returned (Line)
extern int LineCnt;  // physical lines the last GetLine consumed
extern long InPos;   // file offset where the last GetLine's text began
extern FILE *pIn;    // the current input file, or null
extern FILE *pOut;   // the current output file, or null
extern char InputFileName[INPUT_FILE_NAME_SIZE];  // path last given to OpenInputFile
extern int FileStatus;          // input file: 0 open, 1 closed/at end, 2 open failed
extern long SavedFileSize;      // size of the file last read by GetSavedFileContent
extern int flInputFilterState;  // 1 (default): GetLine drops comments and blanks

// Error levels of the openers and of ErrorMsg.
enum ErrorLevel : int {
  LEVEL_SILENT = 0,   // no message
  LEVEL_WARNING = 1,  // a message, and the caller goes on
  LEVEL_FATAL = 2,    // a message, and the process ends
};
// Closes `old` (if any) and opens path with the stdio mode; null on failure.
// Level 2 ends the process (SysError, exit status 1).
FILE *OpenFile(FILE *old, const char *path, const char *mode, int level);
// OpenFile on a formatted path (at most 511 characters, longer ones fail).
FILE *OpenFileF(FILE *old, const char *mode, int level, const char *fmt, ...) NORVO_PRINTF(4, 5);
// open(2) with flags; negative on failure (after common_113 on stdout).
int OpenRawFile(const char *path, int flags);
// Makes path the current input file; 1 when open. Level 2 failure ends the
// process with exit status 1.
int OpenInputFile(const char *path, int level);
int OpenInputFileF(int level, const char *fmt, ...) NORVO_PRINTF(2, 3);
void CloseInputFile();
// Next line of the input file into LineBuf, raw (newline kept). A line ending
// in backslash-newline is joined with the next one, both kept in the text.
// At end of file the file is closed (FileStatus 1) and 0 is returned.
int GetFileLine();
// First token (delims) of the next line not starting with '#', moved to the
// start of LineBuf; 0 at end of file or for null delims.
int GetFileTextLine(const char *delims);
// Next logical line into Line (pLine), without // and /* */ comments, leading
// white space and line end while flInputFilterState is set. Returns the
// number of physical lines consumed, 0 at end of file.
int GetLine();
int GetLineN(int n);          // n-th GetLine from here; 0 for n < 1
int GetLinePos(long offset);  // GetLine from that offset of the input file
// Seeks stream to offset and reads one line (fgets).
char *fgetsp(char *buf, int size, FILE *stream, long offset);
// Reads dir (or dir/name) into LineBuf, at most 4095 bytes; 0 when unreadable.
int GetFileContent(const char *dir, const char *name);
// The same into buf (at most size - 1 bytes).
int GetFileContentR(const char *dir, const char *name, char *buf, size_t size);
// Whole file as a saved string (caller frees); sets SavedFileSize. Null for
// a missing or empty file; a one-byte file gives an empty string.
char *GetSavedFileContent(const char *dir, const char *name);
// First line of path holding pattern (any line for null), newline kept, in a
// static 512-byte buffer; null when none.
char *FileSearch(const char *path, const char *pattern, int level);
long GetFileSize(const char *path);  // 0 when it cannot be examined
long GetFileTime(const char *path);  // modification time, 0 when unknown
// What GetFileType finds at a path (a link is not followed).
enum FileType : int {
  FILE_TYPE_NONE = 0,  // no such entry
  FILE_TYPE_DIRECTORY = 1,
  FILE_TYPE_LINK = 2,  // a symbolic link, dangling or not
  FILE_TYPE_OTHER = 3,
};
int GetFileType(const char *path);
// 1 when the entry exists in its directory's listing (exact name, any kind,
// dangling links too). A null dir takes name as the whole path; a null or
// empty name splits dir into directory and last component.
int FindFile(const char *dir, const char *name);
// 1 when dir/name (or whichever is given) can be stat()ed.
int FindFile_(const char *dir, const char *name);

// ---- Errors and the program's directory (errors.cpp) ----------------------
// Fixed texts of the utilities' reports; never translated.
inline constexpr char common_007[] = "ERROR: couldn't open %s\n";
inline constexpr char common_109[] = "Unable to allocate memory";
inline constexpr char common_116[] = "ERROR: %s\n";

// "\n<my_name>: <message> : <system error text>\n" on stderr, then exit 1.
[[noreturn]] void SysError(const char *fmt, ...) NORVO_PRINTF(1, 2);
// Formats into Line (the shared scratch buffer is overwritten). Level 1:
// "WARNING: %s\n" on stderr; level 2: "ERROR: %s\n" on stderr and the process
// ends with `status`; other levels are silent. Nothing is logged.
void ErrorMsg(int level, int status, const char *fmt, ...) NORVO_PRINTF(3, 4);
// "<my_name>: <message>\n" on stderr; the program goes on.
void errormsg(const char *fmt, ...) NORVO_PRINTF(1, 2);
[[noreturn]] void exit_app(int status);
// The absolute directory that holds the program started as `argv0`, as a
// saved string (caller owns it). Relative start paths are resolved against
// the working directory.
char *GetToolPath(const char *argv0);

// ---- Logging, host files and environment (hostfiles.cpp) ------------------
// The log is /tmp/<my_name>.log (mode 666): the first message of a run
// removes whatever lies there and creates a new file exclusively (never
// through a link), later ones append without following a link; written
// only while flUseLog is set. Host
// changes go through SysCmd with command-table indices.
extern const char *pLogPath;  // directory of the log file, "/tmp"
extern FILE *pLog;            // the log file while one message is written

// Writes the formatted text to the log as it is (no newline added).
void PutLogMsg(const char *fmt, ...) NORVO_PRINTF(1, 2);
// Writes the formatted text to path (stdio mode, e.g. "wt"), then sets the
// permission bits when perms != 0. 1 when written, 0 when not openable.
int CreateTextFile(const char *path, const char *mode, int perms, const char *fmt, ...)
    NORVO_PRINTF(4, 5);
// Runs a formatted shell line (at most 511 characters: a longer one ends the
// process with status 1) outside the command table; modes as SysCmd (1 and 2
// echo the line on stdout, 2 ends the process on failure). Then sleeps a
// second; returns the wait status of that pause.
int SysCmdP(int mode, const char *fmt, ...) NORVO_PRINTF(2, 3);
// Creates dir with parents when missing, touches dir/name when a name is
// given, then applies mode/owner/group (each may be null). Failure is fatal.
void CreateFile(const char *dir, const char *name, const char *mode, const char *owner,
                const char *group);
// rm -rf of dir/name (a null dir: name is the path) when it exists; logged.
void DeleteFile(const char *dir, const char *name);
// rm -rf of path/name (or path alone) when it exists; logged.
void DeleteFile_(const char *path, const char *name);
// mv -f dir/oldName dir/newName (or oldName newName without dir) when the
// source exists; quiet (not logged).
void RenameFile(const char *dir, const char *oldName, const char *newName);
// whoami's answer; "root" or "User ID:  <uid>" without whoami; null when it
// cannot be run. Saved string.
char *GetUserName();
char *GetHostname();             // saved string, null on failure
char *GetEnv(const char *name);  // saved copy of the value, null when unset
// 1 when the located lpd reports LPRng for -V.
int SniffLprng();
// 1 when a process named cupsd runs (sniffcups.cpp).
int SniffCUPS();

// ---- Line-oriented file editing (fileedit.cpp) ----------------------------
// Each editing operation edits base.ext (base alone for an empty or null
// extension) through the temporary file base.ext + "out" (base + ".out"),
// which is made afresh beside it with the edited file's mode and owner, and
// then replaces the edited file in one rename by "mv -f -- <temporary> <file>"
// run through the shell. The result is that command's system() status: 0
// when the file was replaced. When the move fails, the file is untouched
// and the edited copy stays in the temporary file. A file that cannot be
// opened ends the process (level 2, SysError). Names must fit in
// FILE_NAME_SIZE - 1 characters and be shell-safe (IsShellSafeWord); a
// name, pattern or argument that is refused, or a temporary file that
// cannot be written completely, gives -1 after "ERROR: ..." on stderr and
// leaves the file as it was. Patterns are exact, case-sensitive substrings;
// a line is the whole physical line, however long. Lines are changed at the
// first occurrence of the pattern unless said otherwise.
constexpr size_t FILE_NAME_SIZE = 128;  // names of at most 127 characters
constexpr size_t GEN_NAME_SIZE = 255;   // GenName gives at most 254 characters
// The largest byte sequence FileChangeChar puts in place of a character.
constexpr size_t REPLACEMENT_MAX = 127;

extern char Fn[FILE_NAME_SIZE];     // the file OpenIOFiles opened as pIn
extern char FnOut[FILE_NAME_SIZE];  // Fn + "out", opened as pOut

// True when word may be pasted into a shell command line as one argument as
// it is: not empty, and made only of letters, digits, bytes above 127 and
// the characters "/._-+,:@%=" (no blank, quote, glob, expansion, redirection
// or separator, no leading '~' or '#' can sneak in).
bool IsShellSafeWord(const char *word);

// Replaces the first occurrence of pattern in each line by replacement
// (null: nothing).
int FileChange(const char *base, const char *ext, const char *pattern, const char *replacement);
// Replaces every occurrence of the character named by code ("%i": decimal,
// 0-octal, 0x-hexadecimal, 0..255) by the bytes of the comma-separated
// codes of replacements (null: none; at most REPLACEMENT_MAX codes, the
// sequence ends at the first 0).
int FileChangeChar(const char *base, const char *ext, const char *code, const char *replacements);
// Leaves the first n lines holding pattern alone; removes the occurrence
// from every later one.
int FileDel(const char *base, const char *ext, int n, const char *pattern);
// In each line holding pattern, by the first character of mode: none (null
// or "") removes the occurrence, 'a' keeps the text up to and including it
// and ends the line there, 'b' keeps the text from it on, 'l' drops the
// line, 'c' removes every character whose code ("%i") pattern is. 0 when the
// file was replaced; 1 for any other mode (nothing opened, nothing left
// behind); -1 or the move's status otherwise.
int FileDelFormat(const char *base, const char *ext, const char *mode, const char *pattern);
// Leaves the first n lines holding pattern alone; drops every later one.
int FileDelLine(const char *base, const char *ext, int n, const char *pattern);
// Leaves the first n lines holding open alone; drops every later one, and
// for each of them the next line holding close. The lines between stay.
int FileDelLinePair(const char *base, const char *ext, int n, const char *open, const char *close);
// Writes text before every line. "%s<digits>" in text sets the line
// counter's start (0 without) and is cut out of the caller's text, in
// place; "%#<digits>" then stands for counter - digits as five digits
// ("%05i"), and lines whose counter is below digits get nothing.
int FileInsert(const char *base, const char *ext, char *text);
// FileInsert before the lines holding pattern only; the counter counts
// those lines.
int FileSearchInsert(const char *base, const char *ext, char *text, const char *pattern);

// Opens Fn = base.ext (base alone for an empty extension) as pIn, the
// current input file, and FnOut = Fn + "out" (no dot) as pOut, made afresh
// with Fn's mode and owner; both open streams are closed first. Failing
// opens end the process (level 2). Returns pOut, or null (after "ERROR:")
// for a name that is too long or not shell-safe.
FILE *OpenIOFiles(const char *base, const char *ext);
// Closes pIn and pOut and replaces Fn by FnOut with "mv -f" (command line
// built in Line); the move's system() status. -1 when nothing was opened,
// and (FnOut removed, Fn untouched) when pOut could not be written fully.
int ReplaceInputFile();
// Capitalised identifier of the letter and digit runs of text, from its
// first letter on: "hello world-2" gives "HelloWorld2". Static buffer,
// overwritten by the next call; "" for a text without letters.
char *GenName(const char *text);

#endif
