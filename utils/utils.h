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

// ---- Logging, host files and environment (hostfiles.cpp) ------------------

#endif
