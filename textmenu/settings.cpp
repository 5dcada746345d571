// Settings files: the values of a menu tree as lines of text.
//
// A value line is "index[value] type state"; a sub-menu's lines are framed
// by "index{" and "}". The file is written through pOut and read through the
// current input file (pIn, GetFileLine into LineBuf). A damaged file never
// writes outside the menu it is loaded into: unknown indices are skipped,
// texts are cut to the item's buffer and an item's type changes only to one
// that holds the same kind of value.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "textmenu/MenuLoopInternal.h"
#include "textmenu/TextMenu.h"

// Set by every LoadMenu; read only by callers who want to know.
char flLoadedSettings = 0;

namespace {

// How deep sub-menu blocks may nest while loading: a file that opens more
// blocks than any menu tree has is damaged, and must not exhaust the stack.
constexpr int kMaxLoadDepth = 64;
int LoadDepth = 0;

int ItemCount(const TextMenu *menu)
{
  int n = 0;
  if (menu->pItems != nullptr) {
    while (menu->pItems[n].pLabel != nullptr) {
      n++;
    }
  }
  return n;
}

// The kind of value a type holds: 1 integer, 2 text, 3 float, 0 none.
int ValueKind(int32_t type)
{
  switch (type) {
    case ITEM_PICK_ONE:
    case ITEM_INT: return 1;
    case ITEM_NAME:
    case ITEM_STRING: return 2;
    case ITEM_FLOAT: return 3;
    default: return 0;
  }
}

// Reads the value line in LineBuf into the item: the value between the first
// '[' and the line's last ']', then the type and state behind that ']'.
void LoadValueLine(TextMenuItem *item)
{
  char *open = strchr(LineBuf, '[');
  char *close = strrchr(LineBuf, ']');
  if (open == nullptr || close == nullptr || close < open) {
    return;
  }
  int type = 0;
  int state = 0;
  if (sscanf(close + 1, "%i %i", &type, &state) != 2) {
    return;
  }
  // The state is any item's: a line may hide or grey an item that stores
  // no value of its own.
  item->State = state;
  int kind = ValueKind(item->Type);
  if (kind == 0) {
    return;  // items without a stored value keep value and type
  }
  *close = '\0';
  const char *text = open + 1;
  switch (kind) {
    case 1: item->Value = static_cast<intptr_t>(strtol(text, nullptr, 10)); break;
    case 2: {
      char *buf = reinterpret_cast<char *>(item->Value);
      if (buf == nullptr) {
        // A sub-menu that has not run yet has no buffer; give it one now.
        buf = static_cast<char *>(GetMemOrDie(MENU_TEXT_SIZE));
        item->Value = reinterpret_cast<intptr_t>(buf);
      }
      snprintf(buf, MENU_TEXT_SIZE, "%s", text);
      break;
    }
    case 3: item->Value = MenuFloatWord(strtof(text, nullptr)); break;
  }
  *close = ']';
  if (type != 0 && ValueKind(type) == kind) {
    item->Type = type;
  }
}

}  // namespace

void StoreMenu(TextMenu *menu)
{
  if (pOut == nullptr || menu == nullptr || menu->pItems == nullptr) {
    return;
  }
  TextMenuItem *items = menu->pItems;
  for (int i = 0; items[i].pLabel != nullptr; i++) {
    TextMenuItem &it = items[i];
    switch (it.Type) {
      case ITEM_PICK_ONE:
      case ITEM_INT:
        fprintf(pOut, "%i[%i] %i %i\n", i, static_cast<int>(it.Value), it.Type, it.State);
        break;
      case ITEM_NAME:
      case ITEM_STRING: {
        const char *text = reinterpret_cast<const char *>(it.Value);
        fprintf(pOut, "%i[%s] %i %i\n", i, text != nullptr ? text : "", it.Type, it.State);
        break;
      }
      case ITEM_FLOAT:
        fprintf(pOut, "%i[%.3f] %i %i\n", i, static_cast<double>(MenuFloatOf(it.Value)), it.Type,
                it.State);
        break;
      default: break;
    }
  }
  for (int j = 0; items[j].pLabel != nullptr; j++) {
    if (items[j].Type != ITEM_SUBMENU) {
      continue;
    }
    TextMenu *sub = ValidateMenu(menu, j);
    if (sub != nullptr) {
      fprintf(pOut, "%i{\n", j);
      StoreMenu(sub);
      fprintf(pOut, "}\n");
    }
  }
}

void LoadMenu(TextMenu *menu)
{
  int count = ItemCount(menu);
  for (;;) {
    flLoadedSettings = 1;
    if (!GetFileLine()) {
      return;
    }
    if (LineBuf[0] == '}') {
      TextMenuItem *apply = FindTextMenuItem(menu, ITEM_APPLY);
      if (apply != nullptr && apply->pfnAction != nullptr) {
        apply->pfnAction(menu, apply);
      }
      return;
    }
    int index = -1;
    char ch = 0;
    if (sscanf(LineBuf, "%d%c", &index, &ch) != 2 || index < 0 || index >= count) {
      continue;
    }
    if (ch == '{' && menu->pItems[index].Type == ITEM_SUBMENU) {
      // Only a sub-menu item's value is a menu.
      TextMenu *sub = ValidateMenu(menu, index);
      if (sub != nullptr && LoadDepth < kMaxLoadDepth) {
        LoadDepth++;
        LoadMenu(sub);
        LoadDepth--;
        continue;
      }
    }
    TextMenuItem *item = &menu->pItems[index];
    LoadValueLine(item);
    // A loaded choice greys, hides and sets other items as a selection
    // would, so that the sub-menu blocks behind it find their menus.
    if (item->Type == ITEM_PICK_ONE) {
      ProcessStateFormat(menu, index);
    }
  }
}
