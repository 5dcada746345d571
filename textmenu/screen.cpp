// The screen image of the pick screens and the terminal layer beneath it.
//
// The pick screens are composed in an in-memory grid the size of the
// terminal and sent in one pass. The terminal itself is reached through
// terminfo (the description named by TERM); when no description can be
// loaded, ANSI sequences stand in, since every terminal emulator in use
// understands them. Every write into the image is clipped to it.
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <term.h>

#include "nls/NlsUtils.h"
#include "textmenu/MenuLoopInternal.h"
#include "textmenu/TextMenu.h"

// ---- Module state ---------------------------------------------------------
// The current image (made by the first pick screen) and the line buffer that
// Refresh prints it through; the frame texts of the pick screen, fetched once
// by the menu loop. Only this file and the menu loop touch them.
ScreenImage *pCurImage = nullptr;
char CurLineBuf[CUR_LINE_BUF_SIZE];
char *NPATTYMENU_SAVE = nullptr;
char *NPATTYMENU_CANCEL = nullptr;
char *NPATTYMENU_CURSEL = nullptr;
char *NPATTYMENU_CURSELTRUNC = nullptr;
char *NPATTYMENU_OPTION = nullptr;

namespace {

// The terminal data words of an image: whether the terminal description was
// looked up, and its clear and cursor-address capabilities (null: use ANSI).
enum { TD_READY = 0, TD_CLEAR = 1, TD_CUP = 2 };

// terminfo capability text, or null when the terminal lacks it.
char *TermCap(const char *name)
{
  char *s = tigetstr(name);
  return (s == nullptr || s == reinterpret_cast<char *>(-1)) ? nullptr : s;
}

void SetupTerminal(ScreenImage *image)
{
  if (image->TermData[TD_READY]) {
    return;
  }
  image->TermData[TD_READY] = 1;
  int err = 0;
  // One description serves the process; setupterm may be asked again for a
  // new image, which only loads it anew.
  if (setupterm(nullptr, STDOUT_FILENO, &err) == 0) {
    image->TermData[TD_CLEAR] = reinterpret_cast<intptr_t>(TermCap("clear"));
    image->TermData[TD_CUP] = reinterpret_cast<intptr_t>(TermCap("cup"));
  }
}

// Terminal size: the terminal's own answer, then LINES/COLUMNS, then 80x24.
void QuerySize(int *cols, int *rows)
{
  *cols = 0;
  *rows = 0;
  struct winsize ws {};
  for (int fd : {STDOUT_FILENO, STDIN_FILENO, STDERR_FILENO}) {
    if (ioctl(fd, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 && ws.ws_row > 0) {
      *cols = ws.ws_col;
      *rows = ws.ws_row;
      return;
    }
  }
  const char *envRows = getenv("LINES");
  const char *envCols = getenv("COLUMNS");
  if (envRows != nullptr) {
    *rows = atoi(envRows);
  }
  if (envCols != nullptr) {
    *cols = atoi(envCols);
  }
  if (*rows <= 0) {
    *rows = 24;
  }
  if (*cols <= 0) {
    *cols = 80;
  }
}

}  // namespace

ScreenImage *GetTermInfo(ScreenImage *image)
{
  if (image == nullptr) {
    image = static_cast<ScreenImage *>(GetMem(sizeof(ScreenImage)));
    if (image == nullptr) {
      SysError("%s", common_109);
    }
  }
  int cols;
  int rows;
  QuerySize(&cols, &rows);
  // A terminal of absurd size gets an image of sane size; 4096 columns is
  // also the most the line buffer prints.
  cols = std::min(cols, CUR_LINE_BUF_SIZE - 1);
  rows = std::min(rows, 4096);
  if (image->pData == nullptr || cols != image->Width || rows != image->Height) {
    if (image->pData != nullptr) {
      PutMem(image->pData);
    }
    image->pData = static_cast<char *>(GetMem(static_cast<size_t>(cols) * rows));
    if (image->pData == nullptr) {
      SysError("%s", common_109);
    }
  }
  image->Width = cols;
  image->Height = rows;
  memset(image->pData, ' ', static_cast<size_t>(cols) * rows);
  SetupTerminal(image);
  return image;
}

void ClearScreen(ScreenImage *image)
{
  SetupTerminal(image);
  const char *clr = reinterpret_cast<const char *>(image->TermData[TD_CLEAR]);
  if (clr != nullptr) {
    putp(clr);
  } else {
    fputs("\033[H\033[2J", stdout);
  }
  fflush(stdout);
  if (image->pData != nullptr && image->Width > 0 && image->Height > 0) {
    memset(image->pData, ' ', static_cast<size_t>(image->Width) * image->Height);
  }
}

void MoveCursor(ScreenImage *image, int col, int row)
{
  SetupTerminal(image);
  // The image counts rows from 1, the terminal from 0.
  int trow = std::max(row - 1, 0);
  int tcol = std::max(col, 0);
  const char *addr = reinterpret_cast<const char *>(image->TermData[TD_CUP]);
  if (addr != nullptr) {
    putp(tparm(addr, trow, tcol, 0, 0, 0, 0, 0, 0, 0));
  } else {
    printf("\033[%d;%dH", trow + 1, tcol + 1);
  }
  fflush(stdout);
}

void SetPosition(ScreenImage *image, int col, int row)
{
  image->CurCol = col;
  image->CurRow = row;
}

void SetOvlInfo(ScreenImage *image, int col, int row, int width, int height)
{
  image->OvlCol = col;
  image->OvlRow = row;
  image->OvlWidth = width;
  image->OvlHeight = height;
}

void WriteString(ScreenImage *image, const char *fmt, ...)
{
  char text[512];
  va_list ap;
  va_start(ap, fmt);
  int n = vsnprintf(text, sizeof text, fmt, ap);
  va_end(ap);
  if (n <= 0 || image->pData == nullptr) {
    return;
  }
  n = std::min(n, static_cast<int>(sizeof text) - 1);
  int row = image->CurRow;
  int col = image->CurCol;
  if (row < 1 || row > image->Height) {
    row = 1;
  }
  if (col < 0 || col > image->Width) {
    col = 0;
  }
  long size = static_cast<long>(image->Width) * image->Height;
  long at = static_cast<long>(row - 1) * image->Width + col;
  // Text that runs past a row goes on in the next; past the last cell it is cut.
  long count = std::min<long>(n, size - at);
  if (count > 0) {
    memcpy(image->pData + at, text, static_cast<size_t>(count));
  }
}

void FillArea(ScreenImage *image, int col, int row, int width, int height, int ch)
{
  if (image->pData == nullptr) {
    return;
  }
  // The rectangle is clipped to the image on every side.
  int c0 = std::max(col, 0);
  int c1 = std::min(static_cast<long>(col) + width, static_cast<long>(image->Width));
  int r0 = std::max(row, 0);
  int r1 = std::min(static_cast<long>(row) + height, static_cast<long>(image->Height));
  for (int r = r0; r < r1 && c0 < c1; r++) {
    memset(image->pData + static_cast<long>(r) * image->Width + c0, ch, c1 - c0);
  }
}

int Refresh(ScreenImage *image)
{
  memset(CurLineBuf, 0, sizeof CurLineBuf);
  if (image->pData == nullptr) {
    return 0;
  }
  // The image is one stream; its very last cell is never printed, so the
  // terminal does not scroll.
  long last = static_cast<long>(image->Width) * image->Height - 1;
  long pos = 0;
  size_t room = sizeof CurLineBuf - 1;
  for (int r = 0; r < image->Height && pos < last; r++) {
    size_t n = 0;
    for (int c = 0; c < image->Width && pos < last; c++) {
      char ch = image->pData[pos++];
      if (ch == '\n') {
        break;
      }
      if (n < room) {
        CurLineBuf[n++] = ch;
      }
    }
    CurLineBuf[n] = '\0';
    fputs(CurLineBuf, stdout);
  }
  fflush(stdout);
  return 0;
}

void Overlay(ScreenImage *image, const char *text, int wait)
{
  int saveCol = image->CurCol;
  int saveRow = image->CurRow;
  size_t len = text != nullptr ? strlen(text) : 0;
  size_t pos = 0;
  int width = std::max(image->OvlWidth, 0);
  int waitRow = -1;
  for (int i = 0; i < image->OvlHeight + 4; i++) {
    MoveCursor(image, image->OvlCol, image->OvlRow + i);
    if (i == 0) {
      for (int k = 0; k < width + 4; k++) {
        putchar('*');
      }
      putchar('\n');
      continue;
    }
    fputs("* ", stdout);
    bool lineEnd = false;
    for (int k = 0; k < width; k++) {
      char ch = pos < len ? text[pos++] : ' ';
      if (ch == '\n') {
        lineEnd = true;
      }
      putchar(lineEnd ? ' ' : ch);
    }
    fputs(" *", stdout);
    if (pos >= len) {
      if (wait) {
        MoveCursor(image, image->OvlCol, image->OvlRow + i + 1);
        fputs("* Press enter", stdout);
        for (int k = 0; k < width - 8; k++) {
          putchar(' ');
        }
        putchar('*');
        waitRow = image->OvlRow + i + 1;
        i++;
      }
      MoveCursor(image, image->OvlCol, image->OvlRow + i + 1);
      for (int k = 0; k < width + 4; k++) {
        putchar('*');
      }
      break;
    }
  }
  fflush(stdout);
  if (wait && waitRow > 0) {
    MoveCursor(image, image->OvlCol + 15, waitRow);
    if (scanf("%*c") == EOF) {
      // Nothing to wait for: the box stays and the caller goes on.
      clearerr(stdin);
    }
  }
  MoveCursor(image, saveCol, saveRow);
}

void NumberScreen(ScreenImage *image)
{
  if (image->pData == nullptr) {
    return;
  }
  // The test pattern is 24 rows of 80 digits; a smaller image gets what fits.
  long size = std::min(static_cast<long>(image->Width) * image->Height, 24L * 80);
  for (long k = 0; k < size; k++) {
    image->pData[k] = static_cast<char>('0' + k % 10);
  }
}

void WriteScreenFrame(ScreenImage *image, TextMenuItem *item, const char *selection)
{
  const char *save = NPATTYMENU_SAVE != nullptr ? NPATTYMENU_SAVE : "";
  const char *cancel = NPATTYMENU_CANCEL != nullptr ? NPATTYMENU_CANCEL : "";
  const char *cursel = NPATTYMENU_CURSEL != nullptr ? NPATTYMENU_CURSEL : "%s";
  const char *trunc = NPATTYMENU_CURSELTRUNC != nullptr ? NPATTYMENU_CURSELTRUNC : "%s";
  const char *option = NPATTYMENU_OPTION != nullptr ? NPATTYMENU_OPTION : "";
  if (selection == nullptr) {
    selection = "";
  }

  int labelLen = item->pLabel != nullptr ? static_cast<int>(strlen(item->pLabel)) : 0;
  SetPosition(image, std::max((image->Width - labelLen) / 2, 0), 1);
  WriteString(image, "%s", item->pLabel != nullptr ? item->pLabel : "");

  SetPosition(image, 0, image->Height - 2);
  WriteString(image, save, 0);
  SetPosition(image, image->Width / 2, image->Height - 2);
  WriteString(image, cancel, 0);

  SetPosition(image, 0, image->Height - 1);
  int curselLen = static_cast<int>(strlen(cursel));
  int selLen = static_cast<int>(strlen(selection));
  if (selLen > image->Width - curselLen + 2) {
    char cut[512];
    int keep = std::clamp(image->Width - curselLen - 1, 0, static_cast<int>(sizeof cut) - 1);
    snprintf(cut, sizeof cut, "%.*s", keep, selection);
    WriteString(image, trunc, cut);
  } else {
    WriteString(image, cursel, selection);
  }

  SetPosition(image, 0, image->Height);
  WriteString(image, option, 0);
}

int CheckScreenSize(ScreenImage *image, int widest)
{
  int rows = image->Height - 6;
  int need = widest / 2 + 20;
  int hints = static_cast<int>(strlen(NPATTYMENU_SAVE != nullptr ? NPATTYMENU_SAVE : "") +
                               strlen(NPATTYMENU_CANCEL != nullptr ? NPATTYMENU_CANCEL : ""));
  if (rows >= 1 && image->Width >= hints && image->Width >= need) {
    return 1;
  }
  Nlsfprintf(stdout, pDrvCoreDB, NLS_SET_MENU, 206);
  Nlsfprintf(stdout, pDrvCoreDB, NLS_SET_MENU, 207, image->Width, image->Height);
  Nlsfprintf(stdout, pDrvCoreDB, NLS_SET_MENU, 208, std::max(need, hints), 7);
  fflush(stdout);
  // One key is asked for, but the terminal hands over a whole line: the rest
  // of it must not become the menu's next selection.
  int c = getchar();
  while (c != '\n' && c != EOF) {
    c = getchar();
  }
  if (c == EOF) {
    MenuInputEnded();
  }
  return 0;
}
