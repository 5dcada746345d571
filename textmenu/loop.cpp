// The menu loop: prints a menu as numbered lines, reads a selection from
// standard input, lets the selected item do its work and prints the menu
// again until the user leaves. Pick-many items get a full-screen page of
// their own, composed in the screen image.
//
// Every read of standard input goes through ReadLine: the end of input ends
// the program (message 1016, status 1), so no dialogue can spin on a closed
// standard input.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "help/HelpTty.h"
#include "nls/NlsUtils.h"
#include "textmenu/MenuLoopInternal.h"
#include "textmenu/TextMenu.h"

// ---- Module state ---------------------------------------------------------
// The argument typed after a selection (points into LineBuf), the request to
// unwind every running menu, the help page of the h key, and the pick
// screen's current-selection text and column cursor. The loop owns them;
// callers may set flExitTextMenu and the help globals.
char *pOption = LineBuf;
char flExitTextMenu = 0;
const char *pTtyHtmlName = nullptr;
const char *pTtyHtmlData = nullptr;
const char *pTtyHtmlTitle = "Help";
char CurrentSelection[CURRENT_SELECTION_SIZE];
int CurScreenCol = 0;

namespace {

// The pick screen's layout, made by its first page and kept for the pages
// after it: the width of each choice column, the widest, rows per column.
int *pColWidths = nullptr;
int ColWidthCount = 0;
int WidestColumn = 0;
int PickRows = 0;

// Reads one line of standard input into LineBuf; the end of input ends the
// program.
char *ReadLine()
{
  fflush(stdout);
  char *line = Gets(LineBuf, LINEBUF_SIZE);
  if (line == nullptr) {
    MenuInputEnded();
  }
  return line;
}

// The prompts and validators answer "no" at the end of input; inside a menu
// that ends the program like a selection read would.
void CheckInputEnded()
{
  if (feof(stdin)) {
    MenuInputEnded();
  }
}

bool HasKeyLetter(const TextMenuItem *item)
{
  return item->pLabel != nullptr && item->pLabel[0] == '~' && item->pLabel[1] != '\0';
}

// The label as shown: a "~k " label without its key part.
const char *ShownLabel(const TextMenuItem *item)
{
  if (HasKeyLetter(item)) {
    return strlen(item->pLabel) >= 3 ? item->pLabel + 3 : "";
  }
  return item->pLabel;
}

// Choice j (from 0) of a pick item as the tokenizer returns it, or null.
const char *ChoiceText(const TextMenuItem *item, int j)
{
  if (item->pChoices == nullptr || j < 0 || j >= item->ChoiceCount) {
    return nullptr;
  }
  return GetTokenN(item->pChoices, ",", j + 1);
}

bool ChoiceVisible(const TextMenuItem *item, int j)
{
  const char *text = ChoiceText(item, j);
  return text != nullptr && text[0] != ' ';
}

// A choice without its marker character.
const char *ChoiceShown(const char *text)
{
  return (text[0] == '_' || text[0] == ' ') ? text + 1 : text;
}

// A yes/no question whose format is message number of the menu set.
int AskMessage(int number, const char *arg)
{
  // nls: 25_1017 25_1018
  char *question = NlsFetchString(pDrvCoreDB, nullptr, NLS_BY_NUMBER, NLS_SET_MENU, number);
  int yes = PromptYN(question, arg);
  PutMem(question);
  if (!yes) {
    CheckInputEnded();
  }
  return yes;
}

void ClearTerminal()
{
  // Only a terminal is cleared; output into a file or pipe stays plain text.
  if (!isatty(STDOUT_FILENO)) {
    return;
  }
  if (pCurImage == nullptr) {
    pCurImage = GetTermInfo(nullptr);
  }
  ClearScreen(pCurImage);
}

void OpenHelp()
{
  if (pTtyHtmlName != nullptr) {
    TtyHtmlHelp(pTtyHtmlName, pTtyHtmlData, pTtyHtmlTitle);
    return;
  }
  if (PostMsg("\nNo help is available for this menu.\n") == nullptr) {
    MenuInputEnded();
  }
}

void StoreSettings(TextMenu *menu, const char *path)
{
  pOut = OpenFile(pOut, path, "wt", 1);
  if (pOut != nullptr) {
    StoreMenu(menu);
    fclose(pOut);
    pOut = nullptr;
  }
}

void RunAction(TextMenu *menu, TextMenuItem *item)
{
  if (item->pfnAction != nullptr) {
    item->pfnAction(menu, item);
  }
}

// Copies text into buf of size bytes, cut to fit; always terminated.
void CopyCut(char *buf, size_t size, const char *text)
{
  size_t n = std::min(strlen(text), size - 1);
  memcpy(buf, text, n);
  buf[n] = '\0';
}

// Adds text to the current-selection line, cut to its size.
void AddSelection(const char *text)
{
  size_t used = strlen(CurrentSelection);
  if (used > 0 && used + 1 < sizeof CurrentSelection) {
    CurrentSelection[used++] = ' ';
  }
  CopyCut(CurrentSelection + used, sizeof CurrentSelection - used, text);
}

}  // namespace

void MenuInputEnded()
{
  char *msg = NlsFetchString(pDrvCoreDB, nullptr, NLS_BY_NUMBER, 25, 1016);
  SysError("%s", msg);
}

intptr_t RunMenu(TextMenu *menu, const char *path, int interactive)
{
  if (menu->pfnRefresh != nullptr) {
    menu->pfnRefresh(menu);
  }
  if (flExitTextMenu || menu->pItems == nullptr) {
    return 0;
  }
  int longest = InitMenu(menu, 0);
  if (path != nullptr) {
    if (!OpenInputFile(path, 1)) {
      TextMenuItem *item = FindTextMenuItem(menu, ITEM_ACTION_EXIT);
      if (item == nullptr) {
        return 0;
      }
      if (item->pfnAction == nullptr) {
        return reinterpret_cast<intptr_t>(item);
      }
      return item->pfnAction(menu, item);
    }
    LoadMenu(menu);
    CloseInputFile();
  }
  if (!interactive) {
    return menu->pfnApply != nullptr ? menu->pfnApply(menu) : reinterpret_cast<intptr_t>(menu);
  }

  const char *title = menu->pTitle != nullptr ? menu->pTitle : "";
  int titleWidth = static_cast<int>(strcspn(title, "\n\r"));
  bool changed = false;
  for (;;) {
    int count = PrintMenu(menu, longest, titleWidth);
    ReadLine();
    bool empty = LineBuf[0] == '\0' || strcmp(LineBuf, "\r") == 0;
    if (!empty || (menu->Flags & MENU_FL_EMPTY_SELECTS)) {
      int sel = FindSelection(menu, 0, count);
      if (sel > 0) {
        TextMenuItem *item = &menu->pItems[sel - 1];
        int type = item->Type;
        bool ok = ProcessSelection(menu, sel - 1, pOption);
        if (!(menu->Flags & MENU_FL_TYPE_BEFORE)) {
          type = item->Type;
        }
        if (flExitTextMenu ||
            (ok && (type == ITEM_APPLY || type == ITEM_ACTION_EXIT || type == ITEM_ACTION_LEAVE))) {
          if (!(menu->Flags & MENU_FL_KEEP_ENTRIES)) {
            FreeMenu(menu);
          }
          return 0;
        }
        if (ok && type == ITEM_ACTION && (menu->Flags & MENU_FL_REINIT)) {
          longest = InitMenu(menu, 0);
        } else if (!changed) {
          changed = ok;
        }
      }
      continue;
    }

    if (menu->pApplyQuestion != nullptr) {
      bool yes = changed && PromptYN("%s", menu->pApplyQuestion);
      CheckInputEnded();
      if (yes) {
        bool named = TestNames(menu);
        CheckInputEnded();
        if (named) {
          if (menu->pfnApply != nullptr) {
            menu->pfnApply(menu);
          }
          FreeMenu(menu);
          return 0;
        }
        continue;
      }
    } else if (menu->pfnApply != nullptr) {
      menu->pfnApply(menu);
    }
    if (menu->pParent != nullptr) {
      if (AskMessage(1017, menu->pParent->pTitle != nullptr ? menu->pParent->pTitle : "")) {
        FreeMenu(menu);
        return 0;
      }
    } else if (AskMessage(1018, my_name != nullptr ? my_name : "")) {
      FreeMenu(menu);
      putchar('\n');
      fflush(stdout);
      return 0;
    }
    if (menu->pfnRefresh != nullptr) {
      menu->pfnRefresh(menu);
    }
  }
}

int PrintMenu(TextMenu *menu, int longest, int titleWidth)
{
  ClearTerminal();
  const char *title = menu->pTitle != nullptr ? menu->pTitle : "";
  int pad = 0;
  if (menu->TitleAlign == MENU_ALIGN_CENTRED && titleWidth <= 80) {
    pad = (80 - titleWidth) / 2;
  } else if (menu->TitleAlign == MENU_ALIGN_RIGHT && titleWidth <= 80) {
    pad = 80 - titleWidth;
  }
  if (menu->TitleAlign == MENU_ALIGN_LEFT) {
    printf("\f\n%s:\n\n", title);
  } else {
    printf("\f\n%*s%s\n\n", pad, "", title);
  }

  const char *lineEnd = (menu->Flags & MENU_FL_SINGLE_SPACED) ? "" : "\n";
  TextMenuItem *items = menu->pItems;
  int number = 0;
  int i = 0;
  for (; items[i].pLabel != nullptr; i++) {
    TextMenuItem *item = &items[i];
    int type = item->Type;
    // Printed numbers are the selection keys: key-letter items have none.
    if (type >= ITEM_APPLY && !HasKeyLetter(item)) {
      number++;
    }
    if (type == ITEM_SUBMENU) {
      TextMenu *sub = ValidateMenu(menu, i);
      if (sub != nullptr) {
        printf("%2i) %s \n%s", number, sub->pTitle != nullptr ? sub->pTitle : "", lineEnd);
      }
      continue;
    }
    if (type == ITEM_BAR || type == ITEM_COLUMNS) {
      TextMenuItem *last = PrintMenuBarItem(item, type, &i, &number);
      i = static_cast<int>(last - items);
      printf("\n%s", lineEnd);
      continue;
    }
    if (item->State == ITEM_STATE_HIDDEN) {
      continue;
    }
    if (type == ITEM_TEXT) {
      printf("%s ", item->pLabel);
    } else if (item->State == ITEM_STATE_INACTIVE) {
      printf("%*s  %s ", 2, "", ShownLabel(item));
    } else if (HasKeyLetter(item)) {
      printf(" %c) %s ", item->pLabel[1], ShownLabel(item));
    } else {
      printf("%2i) %s ", number, item->pLabel);
    }
    if (type >= ITEM_PICK_ONE && type <= ITEM_FLOAT) {
      for (int k = item->LabelLen; k < longest; k++) {
        putchar('.');
      }
    }
    switch (type) {
      case ITEM_PICK_ONE: {
        UpdateStateSelection(item);
        const char *cur = item->pCurChoice;
        if (cur != nullptr && cur[0] != ' ') {
          printf(" [%i. %s]", static_cast<int>(item->Value) + 1, ChoiceShown(cur));
        } else {
          printf(" [ ]");
        }
        break;
      }
      case ITEM_PICK_MANY: {
        Nlsfprintf(stdout, pDrvCoreDB, 25, 270);
        if (item->Value == 1) {
          Nlsfprintf(stdout, pDrvCoreDB, 25, 271);
        } else {
          const char *sep = "";
          for (int k = 0; k < MENU_PICK_MANY_MAX; k++) {
            if (static_cast<uintptr_t>(item->Value) & (uintptr_t{1} << k)) {
              printf("%s%d", sep, k + 1);
              sep = ",";
            }
          }
        }
        printf("]");
        break;
      }
      case ITEM_NAME:
      case ITEM_STRING: {
        const char *text = reinterpret_cast<const char *>(item->Value);
        printf(" [%s]", text != nullptr ? text : "");
        break;
      }
      case ITEM_INT: printf(" [%i]", static_cast<int>(item->Value)); break;
      case ITEM_FLOAT: printf(" [%.3f]", static_cast<double>(MenuFloatOf(item->Value))); break;
      default: break;
    }
    printf("\n%s", lineEnd);
  }

  char *store = (menu->Flags & (MENU_FL_STORE_ASK | MENU_FL_STORE_EXIT))
                    ? NlsFetchString(pDrvCoreDB, nullptr, NLS_BY_NUMBER, 25, 230)
                    : nullptr;
  char *help = (menu->Flags & MENU_FL_HELP)
                   ? NlsFetchString(pDrvCoreDB, nullptr, NLS_BY_NUMBER, 25, 231)
                   : nullptr;
  char *leave = (menu->Flags & MENU_FL_EMPTY_SELECTS)
                    ? nullptr
                    : NlsFetchString(pDrvCoreDB, nullptr, NLS_BY_NUMBER, 25, 232);
  Nlsfprintf(stdout, pDrvCoreDB, 25, 510, store != nullptr ? store : "",
             help != nullptr ? help : "", leave != nullptr ? leave : "");
  for (char *text : {store, help, leave}) {
    if (text != nullptr) {
      PutMem(text);
    }
  }
  fflush(stdout);
  return i;
}

TextMenuItem *PrintMenuBarItem(TextMenuItem *item, int type, int *counter, int *number)
{
  int columns = item->Value > 0 ? static_cast<int>(item->Value) : 3;
  int colWidth = 80 / std::min(columns, 80);
  int rowWidth = 0;
  TextMenuItem *last = item;
  for (TextMenuItem *f = item + 1; f->pLabel != nullptr; f++) {
    if (type == ITEM_BAR && f->Type != ITEM_TEXT) {
      break;
    }
    (*counter)++;
    last = f;
    if (type == ITEM_BAR || f->Type == ITEM_COLUMNS) {
      putchar('\n');
      columns = f->Value > 0 ? static_cast<int>(f->Value) : 3;
      colWidth = 80 / std::min(columns, 80);
      rowWidth = 0;
      continue;
    }
    if (rowWidth + f->LabelLen > 80 || (rowWidth > 0 && f->LabelLen > colWidth - 5)) {
      putchar('\n');
      rowWidth = 0;
    }
    if (f->Type >= ITEM_APPLY && !HasKeyLetter(f)) {
      (*number)++;
    }
    if (f->State == ITEM_STATE_HIDDEN) {
      continue;
    }
    char cell[512];
    if (HasKeyLetter(f)) {
      snprintf(cell, sizeof cell, " %c) %s%*s ", f->pLabel[1], ShownLabel(f),
               std::max(colWidth - f->LabelLen - 5 + 2, 0), "");
    } else {
      snprintf(cell, sizeof cell, "%2i) %s%*s", *number, f->pLabel,
               std::max(colWidth - f->LabelLen - 5, 0), "");
    }
    // A cell keeps one blank before the next column.
    if (colWidth >= 2 && strlen(cell) > static_cast<size_t>(colWidth - 1)) {
      cell[colWidth - 1] = '\0';
      cell[colWidth - 2] = ' ';
    }
    fputs(cell, stdout);
    if (f->LabelLen > colWidth - columns) {
      putchar('\n');
      rowWidth = 0;
    } else {
      rowWidth += colWidth;
    }
  }
  return last;
}

int FindSelection(TextMenu *menu, int ignored, int count)
{
  (void)ignored;
  char *p = LineBuf;
  while (*p != '\0' && *p != ' ' && *p != '\t') {
    p++;
  }
  while (*p == ' ' || *p == '\t') {
    p++;
  }
  pOption = p;

  TextMenuItem *items = menu->pItems;
  if (isdigit(static_cast<unsigned char>(LineBuf[0]))) {
    int n = atoi(LineBuf);
    for (int i = 0; i < count && items[i].pLabel != nullptr; i++) {
      if (!HasKeyLetter(&items[i]) && items[i].State == ITEM_STATE_ACTIVE && items[i].Key == n) {
        return i + 1;
      }
    }
    return 0;
  }
  int c = tolower(static_cast<unsigned char>(LineBuf[0]));
  if (c == 'h' && (menu->Flags & MENU_FL_HELP)) {
    OpenHelp();
    return 0;
  }
  if (c == 's' && (menu->Flags & MENU_FL_STORE_ASK)) {
    printf("Enter the settings file name: ");
    ReadLine();
    char path[LINEBUF_SIZE];
    snprintf(path, sizeof path, "%s", LineBuf);
    if (ValidateEntry(path, "/A(1,255)+-+_+/") == VALID_OK) {
      StoreSettings(menu, path);
    }
    CheckInputEnded();
    return 0;
  }
  if (c == 's' && (menu->Flags & MENU_FL_STORE_EXIT)) {
    StoreSettings(menu, ".settings");
    exit(0);
  }
  for (int i = 0; i < count && items[i].pLabel != nullptr; i++) {
    if (HasKeyLetter(&items[i]) && items[i].State == ITEM_STATE_ACTIVE &&
        tolower(items[i].Key) == c) {
      return i + 1;
    }
  }
  return 0;
}

int ProcessSelection(TextMenu *menu, int index, char *arg)
{
  TextMenuItem *item = &menu->pItems[index];
  bool ok = false;
  switch (item->Type) {
    case ITEM_APPLY:
      if (!TestNames(menu)) {
        CheckInputEnded();
        return 0;
      }
      [[fallthrough]];
    case ITEM_ACTION_EXIT:
    case ITEM_ACTION_LEAVE:
    case ITEM_ACTION: return item->pfnAction == nullptr || item->pfnAction(menu, item) == 0;
    case ITEM_SUBMENU: {
      TextMenu *sub = ValidateMenu(menu, index);
      if (sub != nullptr) {
        RunMenu(sub, nullptr, 1);
      }
      if (menu->pfnRefresh != nullptr) {
        menu->pfnRefresh(menu);
      }
      return 0;
    }
    case ITEM_PICK_ONE: {
      int count = item->ChoiceCount;
      if (count <= 0) {
        return 0;
      }
      int n = (arg != nullptr && *arg != '\0') ? atoi(arg) : 0;
      int found = -1;
      if (n >= 1 && n <= count && ChoiceVisible(item, n - 1)) {
        found = n - 1;
      } else {
        int start = (n >= 1 && n <= count) ? n - 1 : static_cast<int>(item->Value);
        for (int k = 1; k <= count && found < 0; k++) {
          int j = ((start + k) % count + count) % count;
          if (ChoiceVisible(item, j)) {
            found = j;
          }
        }
      }
      if (found < 0) {
        return 0;
      }
      item->PrevValue = item->Value;
      item->Value = found;
      item->pCurChoice = ChoiceText(item, found);
      ProcessStateFormat(menu, index);
      ok = true;
      break;
    }
    case ITEM_PICK_MANY: ProcessStateValue(menu, index, arg); return 0;
    case ITEM_NAME:
    case ITEM_STRING:
    case ITEM_INT:
    case ITEM_FLOAT: {
      char entry[LINEBUF_SIZE];
      if (arg != nullptr && *arg != '\0') {
        snprintf(entry, sizeof entry, "%s", arg);
      } else {
        printf("%s: ", item->pPrompt != nullptr ? item->pPrompt : "");
        ReadLine();
        if (LineBuf[0] == '\0') {
          return 0;
        }
        snprintf(entry, sizeof entry, "%s", LineBuf);
      }
      if (ValidateEntry(entry, item->pFormat) != VALID_OK) {
        CheckInputEnded();
        return 0;
      }
      if (item->Type == ITEM_INT) {
        item->Value = static_cast<intptr_t>(strtol(entry, nullptr, 10));
      } else if (item->Type == ITEM_FLOAT) {
        item->Value = MenuFloatWord(strtof(entry, nullptr));
      } else {
        char *buf = reinterpret_cast<char *>(item->Value);
        if (buf == nullptr) {
          return 0;
        }
        CopyCut(buf, MENU_TEXT_SIZE, entry);
      }
      ok = true;
      break;
    }
    default: return 0;
  }
  if (ok) {
    RunAction(menu, item);
  }
  return ok;
}

void ProcessStateValue(TextMenu *menu, int index, char *arg)
{
  TextMenuItem *item = &menu->pItems[index];
  intptr_t atEntry = item->Value;
  intptr_t work = item->Value;
  uint32_t hidden = 0;
  int first = 0;
  char given[LINEBUF_SIZE] = "";
  if (arg != nullptr) {
    snprintf(given, sizeof given, "%s", arg);
  }
  for (;;) {
    int shown = PrintPickOneManyScreen(item, &hidden, first);
    if (shown < 0) {
      return;
    }
    int next = shown > 0 ? first + shown : 0;
    char line[LINEBUF_SIZE];
    if (given[0] != '\0') {
      snprintf(line, sizeof line, "%s", given);
      given[0] = '\0';
    } else {
      ReadLine();
      snprintf(line, sizeof line, "%s", LineBuf);
    }
    int c = static_cast<unsigned char>(line[0]);
    if (c == '\0' || c == '\r') {
      first = (shown > 0 && next < item->ChoiceCount) ? next : 0;
      continue;
    }
    if (NPATTYMENU_SAVE != nullptr && tolower(c) == tolower(NPATTYMENU_SAVE[0])) {
      return;
    }
    if (NPATTYMENU_CANCEL != nullptr && tolower(c) == tolower(NPATTYMENU_CANCEL[0])) {
      item->PrevValue = item->Value;
      item->Value = atEntry;
      ProcessStateFormat(menu, index);
      RunAction(menu, item);
      return;
    }
    if (!isalnum(c)) {
      first = next;
      continue;
    }
    bool taken = false;
    char *save = nullptr;
    for (char *tok = strtok_r(line, ", \t", &save); tok != nullptr;
         tok = strtok_r(nullptr, ", \t", &save)) {
      if (!isalnum(static_cast<unsigned char>(tok[0]))) {
        continue;
      }
      int n = atoi(tok);
      if (n < 1 || n > item->ChoiceCount || !ChoiceVisible(item, n - 1)) {
        continue;
      }
      if (item->Type == ITEM_PICK_ONE) {
        work = n - 1;
      } else if (n <= MENU_PICK_MANY_MAX) {
        work = static_cast<intptr_t>(static_cast<uintptr_t>(work) ^ (uintptr_t{1} << (n - 1)));
      } else {
        continue;
      }
      taken = true;
    }
    if (taken) {
      item->PrevValue = item->Value;
      item->Value = work;
      ProcessStateFormat(menu, index);
      RunAction(menu, item);
    } else {
      first = next;
    }
  }
}

int PrintPickOneManyScreen(TextMenuItem *item, uint32_t *hiddenMask, int first)
{
  if (first == 0) {
    pCurImage = GetTermInfo(pCurImage);
    CurScreenCol = 0;
    if (NPATTYMENU_SAVE == nullptr) {
      NPATTYMENU_SAVE = NlsFetchString(pDrvCoreDB, nullptr, NLS_BY_NUMBER, 25, 201);
      NPATTYMENU_CANCEL = NlsFetchString(pDrvCoreDB, nullptr, NLS_BY_NUMBER, 25, 202);
      NPATTYMENU_CURSEL = NlsFetchString(pDrvCoreDB, nullptr, NLS_BY_NUMBER, 25, 203);
      NPATTYMENU_CURSELTRUNC = NlsFetchString(pDrvCoreDB, nullptr, NLS_BY_NUMBER, 25, 204);
      NPATTYMENU_OPTION = NlsFetchString(pDrvCoreDB, nullptr, NLS_BY_NUMBER, 25, 205);
    }
    *hiddenMask = 0;
    PickRows = pCurImage->Height - 6;
    if (pColWidths != nullptr) {
      PutMem(pColWidths);
    }
    // One width per column; with one row per column there are as many
    // columns as choices.
    ColWidthCount = std::max(item->ChoiceCount, 0) + 1;
    pColWidths = static_cast<int *>(GetMemOrDie(sizeof(int) * ColWidthCount));
    WidestColumn = PickRows >= 1 ? GetColumnWidths(pCurImage, item, pColWidths) : 0;
    if (!CheckScreenSize(pCurImage, WidestColumn)) {
      return -1;
    }
  }
  ScreenImage *img = pCurImage;
  int count = item->ChoiceCount;
  if (img == nullptr || pColWidths == nullptr || first < 0 || first >= count || PickRows < 1) {
    return -1;
  }
  ClearScreen(img);
  SetPosition(img, 0, 0);

  // Every page starts at a whole column (a page shows rows x columns), so
  // the page's first choice names its first column. A page drawn again
  // after a choice was taken thus keeps its columns instead of moving on
  // to the next page's.
  CurScreenCol = first / PickRows;
  // Columns that fit from the column cursor; a column too wide for the
  // screen is still shown alone, cut.
  int totalCols = std::min((count + PickRows - 1) / PickRows, ColWidthCount);
  int used = 0;
  int taken = 0;
  for (int c = CurScreenCol; c < totalCols; c++) {
    int need = pColWidths[c] + 7;
    if (used + need <= img->Width) {
      used += need;
      taken++;
    } else {
      if (taken == 0) {
        used = img->Width;
        taken = 1;
      }
      break;
    }
  }
  if (taken == 0) {
    taken = 1;
  }
  int firstCol = CurScreenCol;
  CurScreenCol += taken;
  int spare = taken > 1 ? std::max(img->Width - used, 0) / taken : 0;

  int capacity = PickRows * taken;
  int shown = count > capacity ? capacity : count - first;
  CurrentSelection[0] = '\0';
  int drawn = 0;
  int x = 0;
  for (int k = 0; k < shown; k++) {
    int j = first + k;
    if (j >= count) {
      break;
    }
    int col = k / PickRows;
    if (k > 0 && k % PickRows == 0) {
      int prev = firstCol + col - 1;
      x += (prev < ColWidthCount ? pColWidths[prev] : 0) + 7 + spare;
    }
    int row = 3 + k % PickRows;
    const char *text = ChoiceText(item, j);
    if (text == nullptr) {
      break;
    }
    drawn++;
    if (text[0] == ' ') {
      if (j < 32) {
        *hiddenMask |= uint32_t{1} << j;
      }
      continue;
    }
    bool chosen = item->Type == ITEM_PICK_ONE
                      ? item->Value == j
                      : (j < MENU_PICK_MANY_MAX &&
                         (static_cast<uintptr_t>(item->Value) & (uintptr_t{1} << j)));
    char shownText[TOKENBUF_SIZE];
    snprintf(shownText, sizeof shownText, "%s", ChoiceShown(text));
    if (chosen) {
      SetPosition(img, x, row);
      WriteString(img, " ->");
      AddSelection(shownText);
    }
    SetPosition(img, x + 4, row);
    WriteString(img, "%2d) ", j + 1);
    SetPosition(img, x + 8, row);
    int room = img->Width - (x + 8);
    if (col == 0 && static_cast<int>(strlen(shownText)) > room) {
      WriteString(img, "%.*s...", std::max(room - 3, 0), shownText);
    } else {
      WriteString(img, "%s", shownText);
    }
  }
  if (drawn < shown || first + shown > count) {
    shown = 0;
  }
  WriteScreenFrame(img, item, CurrentSelection);
  Refresh(img);
  MoveCursor(img, static_cast<int>(strlen(NPATTYMENU_OPTION != nullptr ? NPATTYMENU_OPTION : "")),
             img->Height);
  return shown;
}
