// Links the installed toolkit through its public headers, all of them in one
// translation unit, and checks a few answers of each module it touches.
#include <cstdio>
#include <cstring>

#include "dbm/Dbm.h"
#include "help/HelpTty.h"
#include "help/html.h"
#include "list/List.h"
#include "memmgr/MemMgr.h"
#include "nls/NlsUtils.h"
#include "syscmd/SysCmd.h"
#include "textmenu/TextMenu.h"
#include "utils/utils.h"

// A menu written the way a program describes its menus: static records.
static char paperChoices[] = "_Letter,_A4, Legal";
static TextMenuItem paperItems[] = {
    {"Paper", ITEM_PICK_ONE, ITEM_STATE_ACTIVE, nullptr, paperChoices, nullptr, 0, 0, 0, nullptr, 0,
     nullptr, -1, 0, nullptr, 0},
    {"~q Quit", ITEM_ACTION_EXIT, ITEM_STATE_ACTIVE, nullptr, nullptr, nullptr, 0, 0, 0, nullptr, 0,
     nullptr, -1, 0, nullptr, 0},
    {},
};
static TextMenu paperMenu = {"Paper",
                             MENU_ALIGN_CENTRED,
                             nullptr,
                             nullptr,
                             nullptr,
                             nullptr,
                             nullptr,
                             paperItems,
                             MENU_FL_HELP | MENU_FL_STORE_ASK};

int main()
{
  char *s = SaveStr("%s/%d", "dir", 7);
  int ok = std::strcmp(s, "dir/7") == 0 && FindToken("b", ",a,b,") == 2 &&
           std::strcmp(StripPath("/x/y.z"), "y.z") == 0;
  PutMem(s);
  List *list = ListCreate();
  ok = ok && ListPushItem(list, "abc", 4) != nullptr && ListFindItemN(list, 1) != nullptr;
  ListDel(list);

  // The menu's item array ends at the first null label.
  int items = 0;
  while (paperMenu.pItems[items].pLabel != nullptr)
    items++;
  ok = ok && items == 2;

  // A help page in pool memory: its embedded lists work without set-up.
  auto *page = static_cast<HtmlPage *>(GetMem(sizeof(HtmlPage)));
  auto *anchor = static_cast<HtmlAnchor *>(GetMem(sizeof(HtmlAnchor)));
  ok = ok && page != nullptr && anchor != nullptr &&
       ListPushItem(&page->Links, &anchor, sizeof anchor) != nullptr &&
       *static_cast<HtmlAnchor **>(ListFindItemN(&page->Links, 1)) == anchor &&
       page->Links.nItems == 1;
  if (page != nullptr)
    ListDelAllItems(&page->Links);
  PutMem(anchor);
  PutMem(page);

  std::printf("%s\n", ok ? "consumer ok" : "consumer FAILED");
  return ok ? 0 : 1;
}
