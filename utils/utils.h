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

extern char *my_name;           // program name, names the log file; set by main
extern int flUseLog;            // 1: commands and messages go to /tmp/<my_name>.log
extern char LineBuf[LINEBUF_SIZE];  // current input line (files and keyboard)
extern char Line[LINE_SIZE];        // large scratch and formatting buffer

// ---- Tokenizer and keyword lists (tokenizer.cpp) --------------------------
// One scan state serves the whole program: GetToken, GetTokenParse and their
// relatives walk the text last handed to them. A scan nested inside another
// saves szTokenIn (or GetTokenBufInput()) and chTokenDel and gives the saved
// position back to SetTokenBuf afterwards. Nothing here reports errors: bad or
// missing input yields 0 or null. A backslash escapes the next character;
// a backslash at the very end of a text is dropped.
constexpr size_t TOKENBUF_SIZE = 255;   // a token holds at most 254 characters

// First argument of GetToken/GetTokenD/GetTokenParse: go on with the current
// scan, but refuse (null) a token that a newline ends.
#define TOKEN_LINE_MODE ((char *)-1)

extern char GetTokenBuf[TOKENBUF_SIZE]; // the last token of GetToken
extern char *szTokenIn;                 // where the last completed scan stopped
extern char chTokenDel;                 // last delimiter consumed, 0 for none

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
// GetToken in place: terminates the token inside the text and returns it;
// escapes stay untranslated. The text is changed.
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
// delimiters do not split). The list may grow by one delimiter: the caller's
// buffer needs room for it.
void SortTokens(char *list, char delim, int ignoreCase);

// ---- Strings, paths and saved strings (strings.cpp) -----------------------
// A saved string is a terminated text in pool memory of exactly its length plus
// one byte; the receiver owns it and releases it with PutMem. Running out of
// memory ends the process (SysError), so these never return null for a text.

// printf into pool memory. fmt must not be null.
[[gnu::returns_nonnull]] char *SaveStr(const char *fmt, ...) NORVO_PRINTF(1, 2);
// As SaveStr, but a null fmt gives null.
char *SaveStr__(const char *fmt, ...) NORVO_PRINTF(1, 2);
// Plain copy of text ("%" is an ordinary character). text must not be null.
[[gnu::returns_nonnull]] char *SaveStr_(const char *text);

// Path splitters. Each returns its own static buffer, overwritten by its next
// call; a path longer than the buffer is cut to fit. A null path is allowed.
char *StripPath(const char *path);     // last component: "a/b/" -> "b"
char *StripFn(const char *path);       // directory part: "a" -> ".", "/f" -> "/"
char *StripExt(const char *path);      // cut at the first dot after a non-dot
char *StripPathExt(const char *path);  // last component without extension
char *StripPathName(const char *path); // last dot-segment behind the first "/"
// Nearest existing directory entry of path, walking up its directory parts;
// sets *flag to 1 when path itself exists. Saved string.
char *FindExistingPath(const char *path, int *flag);

// Searches. Results point into the text searched.
size_t StrLen(const char *text);                     // text must not be null
char *StrChr(const char *text, int c);               // skips backslash escapes
char *StrNChr(const char *text, int c, int n);       // n-th occurrence, from 1
char *StrStr(const char *text, const char *pattern); // empty pattern: null
char *StrNStr(const char *text, const char *pattern, int n); // overlaps count
char *StrCaseStr(const char *text, const char *pattern);
char *SkipSpace(const char *text);                   // null for null

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

#endif
