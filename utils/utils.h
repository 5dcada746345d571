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

// ---- Strings, paths and saved strings (strings.cpp) -----------------------

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
