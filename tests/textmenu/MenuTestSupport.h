// What the menu tests share: a message database of their own with the
// English texts the menus fetch, and a run of a piece of code with standard
// input taken from a text and standard output captured.
#ifndef NORVO_TESTS_TEXTMENU_MENUTESTSUPPORT_H
#define NORVO_TESTS_TEXTMENU_MENUTESTSUPPORT_H

#include <fcntl.h>
#include <stdio_ext.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "common/ChildProcess.h"
#include "dbm/Dbm.h"
#include "textmenu/TextMenu.h"

// Opens an in-memory core database holding the menu texts (never written).
inline void UseMenuMessages()
{
  static const char *const kTexts[][2] = {
      {"25_1000", "Press <Return> to continue"},
      {"25_1001", "\nPress <Return> to continue "},
      {"25_1002",
       "\n'%c' is not a valid name character. \nOnly alphanumeric character, '-', and '_' are "
       "valid: \n"},
      {"25_1003", "This number must be between %i to %i."},
      {"25_1004", "This number must be between %x to %x."},
      {"25_1006", "Invalid character '%c'\nThis text may contain \"0123456789.\""},
      {"25_1007", "Invalid character '%c'\nThis text may contain \"abc..zABC..Z012..9%s\""},
      {"25_1008", "Invalid character '%c'\nThis text may contain \"abc..zABC..Z%s\""},
      {"25_1009", "Invalid entry \"%s\""},
      {"25_1010", "Invalid character %c\n%c was expected after \"%s\""},
      {"25_1011", "\nAll names must be set before applying setup.\nPress <Return> to continue"},
      {"25_1020", "Only one '.' may be entered."},
      {"25_1024", "This number must be between %Lg to %Lg."},
      {"30_42", "This text length must be from %i to %i characters long."},
      {"30_44", "This text must be %i characters long."},
  };
  std::string path = "/tmp/menutest_" + std::to_string(getpid()) + ".ndb";
  pDrvCoreDB = DbTOpen(path.c_str(), DBT_NO_ARCHIVE);
  for (auto &t : kTexts)
    DbmTPutRecord(pDrvCoreDB, t[0], t[1], int(strlen(t[1]) + 1));
}

// In a child: standard input no terminal, so the screen size comes from
// LINES and COLUMNS alone. Ends the child (status 3) when /dev/null fails.
inline void SizeWithoutATerminal(const char *lines, const char *columns)
{
  if (freopen("/dev/null", "r", stdin) == nullptr)
    _exit(3);
  setenv("LINES", lines, 1);
  setenv("COLUMNS", columns, 1);
}

// Runs body with standard input reading `input` and returns what it printed
// on standard output. The process's own streams are put back afterwards.
inline std::string WithInput(const std::string &input, const std::function<void()> &body)
{
  fflush(nullptr);
  FILE *in = tmpfile();
  fwrite(input.data(), 1, input.size(), in);
  fflush(in);
  lseek(fileno(in), 0, SEEK_SET);
  FILE *out = tmpfile();
  int savedIn = dup(0), savedOut = dup(1);
  dup2(fileno(in), 0);
  dup2(fileno(out), 1);
  __fpurge(stdin);
  clearerr(stdin);
  body();
  fflush(stdout);
  dup2(savedIn, 0);
  dup2(savedOut, 1);
  close(savedIn);
  close(savedOut);
  __fpurge(stdin);
  clearerr(stdin);
  std::string text = ReadWholeFd(fileno(out));
  fclose(in);
  fclose(out);
  return text;
}

#endif
