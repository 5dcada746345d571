// helpmenu: a laid-out help page shown as a text menu (the page text, its
// links as numbered actions, then Exit Help, Contents and Back), and the
// redirection of help texts to the printer help database.
#include <algorithm>
#include <cstring>
#include <strings.h>

#include "help/HelpTty.h"
#include "nls/NlsUtils.h"
#include "utils/utils.h"

// The help menu, rebuilt for the current page at every move.
TextMenuItem *HelpMenuItems;  // pool array of HelpMenuItemCnt items
int32_t HelpMenuItemCnt;
TextMenu HelpMenu = {nullptr, MENU_ALIGN_CENTRED, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, HELP_MENU_FLAGS};
char TmpKey[REDIRECT_KEY_SIZE];

// The labels of the last build: link labels are pool copies released at the
// next build; the fixed labels and the title are fetched into these buffers.
static int32_t BuiltLinks;
static char LabelExit[NLS_STRBUF_SIZE];
static char LabelContents[NLS_STRBUF_SIZE];
static char LabelBack[NLS_STRBUF_SIZE];
static char HelpTitle[NLS_STRBUF_SIZE];

namespace {

intptr_t GotoLinkAction(TextMenu *menu, TextMenuItem *item)
{
  return TtyHelpGotoLink(menu, item);
}
intptr_t ContentsAction(TextMenu *, TextMenuItem *)
{
  return TtyHelpContents();
}
intptr_t BackAction(TextMenu *, TextMenuItem *)
{
  return TtyHelpBack();
}

TextMenuItem Item(const char *label, int32_t type, intptr_t value, MenuActionFn action, int key)
{
  TextMenuItem item;
  memset(&item, 0, sizeof item);
  item.pLabel = label;
  item.Type = type;
  item.Value = value;
  item.pfnAction = action;
  item.SavedValue = -1;
  item.Key = key;
  return item;
}

// Copied behind the links at every build; labels and keys are filled in
// from the message database.
const TextMenuItem HelpCommonItems[HELP_COMMON_ITEMS] = {
    Item("", ITEM_COLUMNS, 1, nullptr, 0),
    Item("", ITEM_COLUMNS, 3, nullptr, 0),
    Item("~e Exit Help", ITEM_ACTION_LEAVE, 0, nullptr, 'e'),
    Item("~c Contents", ITEM_ACTION, 0, ContentsAction, 'c'),
    Item("~b Back", ITEM_ACTION, 0, BackAction, 'b'),
    Item(nullptr, 0, 0, nullptr, 0),
};

HtmlAnchor *AnchorOf(ListNode *n)
{
  HtmlAnchor *a;
  memcpy(&a, n->pItem, sizeof a);
  return a;
}

void SetCommonLabel(TextMenuItem *item, const char *label)
{
  item->pLabel = label;
  item->Key = label[0] && label[1] ? static_cast<unsigned char>(label[1]) : 0;
}

}  // namespace

intptr_t TtyHelpGotoLink(TextMenu *, TextMenuItem *item)
{
  ProcessLink(static_cast<HtmlAnchor *>(item->pUserData));
  TtyHelpBuildMenuItems();
  return 0;
}

intptr_t TtyHelpContents()
{
  if (HtmlSetHistory(0) == 1)
    TtyHelpBuildMenuItems();
  return 0;
}

intptr_t TtyHelpBack()
{
  if (HtmlSetHistory(-1) == 1)
    TtyHelpBuildMenuItems();
  return 0;
}

void TtyHelpBuildMenuItems()
{
  HtmlPage *page = pCurrentPage;
  if (!page)
    return;
  int32_t need = page->Links.nItems + HELP_COMMON_ITEMS + 1;
  if (HelpMenuItemCnt < need) {
    void *p = AdjustMem(HelpMenuItems, sizeof(TextMenuItem) * static_cast<size_t>(need));
    if (!p)
      SysError("%s", OutOfMem);
    HelpMenuItems = static_cast<TextMenuItem *>(p);
    HelpMenuItemCnt = need;
  }
  HelpMenu.pItems = HelpMenuItems;
  for (int32_t i = 1; i <= BuiltLinks; ++i)
    PutMem(const_cast<char *>(HelpMenuItems[i].pLabel));

  TextMenuItem *item = HelpMenuItems;
  *item++ = Item(page->pText, ITEM_TEXT, 0, nullptr, 0);
  if (!page->pPageName)
    page->pPageName = const_cast<char *>(szHelpContentsPage);
  int32_t textLen = static_cast<int32_t>(strlen(page->pText));
  int key = 0;
  for (ListNode *n = page->Links.pFirst; n; n = n->pNext) {
    HtmlAnchor *a = AnchorOf(n);
    if (!a || !a->pTarget || a->TextLen == 0)
      continue;
    if (a->AnchorKind != ANCHOR_HREF && strcmp(a->pTarget, page->pPageName) == 0)
      continue;
    // The text between the link marks, inside the page text.
    int32_t from = std::min(a->StartPos + 1, textLen);
    int32_t len = std::clamp(a->EndPos - a->StartPos - 2, 0, HELP_LINK_TEXT_MAX);
    len = std::min(len, textLen - from);
    *item = Item(SaveStr("%.*s", len, page->pText + from), ITEM_ACTION, 0, GotoLinkAction, ++key);
    item++->pUserData = a;
  }
  BuiltLinks = key;

  NlsFetchString(pDrvCoreDB, LabelExit, NLS_BY_NUMBER, 20, 150);
  NlsFetchString(pDrvCoreDB, LabelContents, NLS_BY_NUMBER, 20, 151);
  NlsFetchString(pDrvCoreDB, LabelBack, NLS_BY_NUMBER, 20, 152);
  memcpy(item, HelpCommonItems, sizeof HelpCommonItems);
  SetCommonLabel(&item[2], LabelExit);
  SetCommonLabel(&item[3], LabelContents);
  SetCommonLabel(&item[4], LabelBack);
  Nlssnprintf(HelpTitle, sizeof HelpTitle, pDrvCoreDB, 30, 22, "Norvo");
  HelpMenu.pTitle = HelpTitle;
}

void TtyHtmlHelp(const char *path, const char *buffer, const char *title)
{
  if (!path || !title)
    return;
  // The reader writes into its text and keeps pointing into it.
  char *text = buffer && !FindHtmlFile(path) ? SaveStr_(buffer) : nullptr;
  if (!HtmlHelp(path, text))
    return;
  TtyHelpBuildMenuItems();
  RunMenu(&HelpMenu, nullptr, 1);
}

char *FindRedirect(char *text)
{
  char *mark = text ? strstr(text, szRedirectMark) : nullptr;
  if (!mark)
    return nullptr;
  char *key = mark + strlen(szRedirectMark);
  char *dot = strchr(key, '.');
  if (!dot || strncasecmp(dot, szRedirectSuffix, strlen(szRedirectSuffix)) != 0)
    return nullptr;
  *dot = '\0';
  return key;
}

char *CheckForRedirect(char *buffer, size_t size)
{
  char *key = FindRedirect(buffer);
  if (!key)
    return nullptr;
  memset(TmpKey, 0, sizeof TmpKey);
  strncpy(TmpKey, key, sizeof TmpKey - 1);
  char text[NLS_STRBUF_SIZE];
  NlsFetchString(pPrtHelpDB, text, NLS_BY_KEY, TmpKey);
  snprintf(buffer, size, "%s", text);
  return TmpKey;
}

char *CheckForRedirect(char *buffer)
{
  return CheckForRedirect(buffer, NLS_STRBUF_SIZE);
}
