// The menu model: preparing a menu for a run and releasing it, the current
// choice of pick items and their hidden choices, the name check before
// applying, and the column layout of a pick screen.
#include <cstring>

#include "nls/NlsUtils.h"
#include "textmenu/TextMenu.h"

namespace {

constexpr char kChoiceDelims[] = ",";

bool IsPickType(int32_t type)
{
  return type == ITEM_PICK_ONE || type == ITEM_PICK_MANY;
}

// First character of choice n (0-based) inside the choice list, found by the
// shared tokenizer as the program's other choice readers find it; null when
// the list has no such choice.
char *ChoiceStart(char *choices, int n)
{
  if (choices == nullptr || n < 0)
    return nullptr;
  char *p = choices;
  if (n > 0) {
    if (GetTokenN(choices, kChoiceDelims, n) == nullptr)
      return nullptr;
    p = GetTokenBufInput();
  }
  while (p != nullptr && *p == ',')  // runs of commas count as one
    p++;
  return p != nullptr && *p != '\0' ? p : nullptr;
}

}  // namespace

int InitMenu(TextMenu *menu, int)
{
  if (menu == nullptr || menu->pItems == nullptr)
    return 0;
  int longest = 0;
  int counter = 0;
  for (int i = 0; menu->pItems[i].pLabel != nullptr; i++) {
    TextMenuItem *item = &menu->pItems[i];
    item->LabelLen = static_cast<int32_t>(strlen(item->pLabel));
    if (item->LabelLen > longest)
      longest = item->LabelLen;
    switch (item->Type) {
      case ITEM_PICK_ONE:
      case ITEM_PICK_MANY:
        item->ChoiceCount =
            item->pChoices != nullptr ? GetTokenCount(item->pChoices, kChoiceDelims) : 0;
        if (item->Type == ITEM_PICK_ONE)
          item->Value = item->Default;
        else if (item->Value == 0)
          item->Default = item->Value = 1;
        item->PrevValue = item->Default;
        UpdateStateSelection(item);
        ProcessStateFormat(menu, i);
        break;
      case ITEM_INT:
      case ITEM_FLOAT: item->Value = item->Default; break;
      case ITEM_NAME:
      case ITEM_STRING: {
        if (item->Value == 0)
          item->Value = reinterpret_cast<intptr_t>(GetMem(MENU_TEXT_SIZE));
        char *buf = reinterpret_cast<char *>(item->Value);
        if (buf == nullptr)
          SysError("%s", OutOfMem);
        const char *def = reinterpret_cast<const char *>(item->Default);
        buf[0] = '\0';
        if (def != nullptr)
          strncat(buf, def, MENU_TEXT_SIZE - 1);
        break;
      }
      default: break;
    }
    if (item->Type <= ITEM_COLUMNS)
      item->Key = 0;
    else if (item->pLabel[0] == '~' && item->pLabel[1] != '\0')
      item->Key = static_cast<unsigned char>(item->pLabel[1]);
    else
      item->Key = ++counter;
  }
  return longest;
}

void FreeMenu(TextMenu *menu)
{
  if (menu == nullptr || menu->pItems == nullptr)
    return;
  for (TextMenuItem *item = menu->pItems; item->pLabel != nullptr; item++) {
    if ((item->Type == ITEM_NAME || item->Type == ITEM_STRING) && item->Value != 0) {
      PutMem(reinterpret_cast<void *>(item->Value));
      item->Value = 0;
    }
  }
}

void UpdateStateSelection(TextMenuItem *item)
{
  if (item == nullptr)
    return;
  if (item->pChoices == nullptr || item->ChoiceCount <= 0) {
    item->pCurChoice = nullptr;
    return;
  }
  for (int tries = 0; tries < item->ChoiceCount; tries++) {
    // Past INT_MAX no choice exists; GetTokenN counts from 1.
    intptr_t number = item->Value >= 0 && item->Value < INT32_MAX ? item->Value + 1 : -1;
    item->pCurChoice =
        number > 0 ? GetTokenN(item->pChoices, kChoiceDelims, static_cast<int>(number)) : nullptr;
    if (item->pCurChoice == nullptr || item->pCurChoice[0] != ' ' || item->Type != ITEM_PICK_ONE)
      return;
    item->PrevValue = item->Value;
    item->Value = (item->Value + 1) % item->ChoiceCount;
  }
}

void HideStateSelection(TextMenuItem *item, int n)
{
  if (item == nullptr)
    return;
  char *start = ChoiceStart(item->pChoices, n);
  if (start == nullptr)
    return;
  *start = ' ';
  UpdateStateSelection(item);
}

char *ShowStateSelection(TextMenuItem *item, int n)
{
  if (item == nullptr)
    return nullptr;
  char *start = ChoiceStart(item->pChoices, n);
  if (start != nullptr)
    *start = '_';
  return start;
}

bool TestNames(TextMenu *menu)
{
  if (menu == nullptr || menu->pItems == nullptr)
    return true;
  for (TextMenuItem *item = menu->pItems; item->pLabel != nullptr; item++) {
    if (item->State == ITEM_STATE_HIDDEN)
      break;
    const char *text = reinterpret_cast<const char *>(item->Value);
    if (item->Type == ITEM_NAME && (text == nullptr || text[0] == '\0')) {
      char *msg = NlsFetchString(pDrvCoreDB, nullptr, NLS_BY_NUMBER, 25, 1011);
      fputs(msg, stdout);
      PutMem(msg);
      fflush(stdout);
      Gets(LineBuf, sizeof LineBuf);
      return false;
    }
  }
  return true;
}

TextMenuItem *FindTextMenuItem(TextMenu *menu, int32_t type)
{
  if (menu == nullptr || menu->pItems == nullptr)
    return nullptr;
  for (TextMenuItem *item = menu->pItems; item->pLabel != nullptr; item++)
    if (item->Type == type)
      return item;
  return nullptr;
}

int GetColumnWidths(const ScreenImage *image, const TextMenuItem *item, int *widths)
{
  if (image == nullptr || item == nullptr || widths == nullptr || !IsPickType(item->Type) ||
      item->pChoices == nullptr)
    return 0;
  int rows = image->Height - 6 > 0 ? image->Height - 6 : 1;
  int widest = 0;
  const char *cursor = item->pChoices;
  char choice[TOKENBUF_SIZE];
  for (int k = 0; k < item->ChoiceCount; k++) {
    if (GetTokenD(nullptr, kChoiceDelims, &cursor, choice, sizeof choice) == nullptr)
      break;
    int len = static_cast<int>(strlen(choice));
    if (choice[0] == ' ' || choice[0] == '_')
      len--;
    int &column = widths[k / rows];
    if (len > column)
      column = len;
    if (column > widest)
      widest = column;
  }
  return widest;
}
