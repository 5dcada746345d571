// helptty: moving between help pages, anchors and files, and the history
// that "Back" and "Contents" use.
#include "help/HelpTty.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

#include "help/HtmlInternal.h"
#include "utils/utils.h"

// Where the user came from; HtmlHelp empties it, moves fill it.
HtmlHistoryEntry History[HTML_HISTORY_MAX];
int32_t HistoryI;
int32_t TargetPos;
uint8_t flBuildingFile;

namespace {

HtmlPage *FirstPage(HtmlFile *file)
{
  return file && file->Pages.pFirst ? static_cast<HtmlPage *>(file->Pages.pFirst->pItem) : nullptr;
}

HtmlAnchor *AnchorOf(ListNode *n)
{
  HtmlAnchor *a;
  memcpy(&a, n->pItem, sizeof a);
  return a;
}

// Loads a linked file; a relative name that cannot be read as it is is
// taken relative to the directory of the file that links to it, so help
// files can link to each other wherever they are installed.
HtmlFile *LoadLinkedFile(const char *target, const char *from)
{
  if (HtmlFile *f = ParseHtmlFile(target, nullptr))
    return f;
  const char *name = target;
  if (strncasecmp(name, "file://", 7) == 0)
    name += 7;
  const char *slash = from ? strrchr(from, '/') : nullptr;
  if (*name == '/' || !slash || strncasecmp(name, "http://", 7) == 0)
    return nullptr;
  char *path = SaveStr("%.*s/%s", static_cast<int>(slash - from), from, name);
  HtmlFile *f = ParseHtmlFile(path, nullptr);
  PutMem(path);
  return f;
}

}  // namespace

void SetHistory()
{
  if (HistoryI < HTML_HISTORY_MAX)
    History[HistoryI++] = {CurrentFile, pCurrentPage, TargetPos};
}

int HtmlSetHistory(int mode)
{
  if (HistoryI <= 0)
    return 0;
  if (mode == 0) {
    HistoryI = 0;
    CurrentFile = 0;
    pCurrentPage = FirstPage(aFile[0]);
    TargetPos = 0;
  } else if (mode == -1) {
    const HtmlHistoryEntry &e = History[--HistoryI];
    CurrentFile = e.File;
    pCurrentPage = e.pPage;
  }
  return 1;
}

void GoToTarget(const char *target)
{
  if (!target || CurrentFile < 0 || CurrentFile >= FileIndex)
    return;
  if (*target == '#')
    ++target;
  for (ListNode *n = aFile[CurrentFile]->Pages.pFirst; n; n = n->pNext) {
    auto *page = static_cast<HtmlPage *>(n->pItem);
    if (page->pPageName && strcmp(page->pPageName, target) == 0) {
      SetHistory();
      pCurrentPage = page;
      TargetPos = 0;
      return;
    }
    for (ListNode *l = page->Links.pFirst; l; l = l->pNext) {
      HtmlAnchor *a = AnchorOf(l);
      if (a->AnchorKind == ANCHOR_NAME && a->pTarget && strcmp(a->pTarget, target) == 0) {
        SetHistory();
        pCurrentPage = page;
        TargetPos = a->StartPos;
        return;
      }
    }
  }
}

void ProcessLink(HtmlAnchor *anchor)
{
  if (!anchor || !anchor->pTarget)
    return;
  const char *t = anchor->pTarget;
  flBuildingFile = 1;
  HtmlFile *current = CurrentFile < FileIndex ? aFile[CurrentFile] : nullptr;
  const char *hash = strrchr(t, '#');
  const char *base = nullptr;
  if (current) {
    const char *slash = strrchr(current->pFileName, '/');
    base = slash ? slash + 1 : current->pFileName;
  }
  if (*t == '#') {
    GoToTarget(t);
  } else if (hash && base && static_cast<size_t>(hash - t) <= strlen(base) &&
             strncmp(t, base, static_cast<size_t>(hash - t)) == 0) {
    GoToTarget(hash);
  } else if (HtmlFile *f = FindHtmlFile(t)) {
    pCurrentPage = FirstPage(f);
    TargetPos = 0;
  } else if (!LoadLinkedFile(t, current ? current->pFileName : nullptr)) {
    printf("Error in reading file %s\n", t);
  }
  flBuildingFile = 0;
}

void HtmlProcessLink(int32_t offset)
{
  if (flBuildingFile || FileIndex == 0 || !pCurrentPage)
    return;
  for (ListNode *n = pCurrentPage->Links.pFirst; n; n = n->pNext) {
    HtmlAnchor *a = AnchorOf(n);
    if (a->AnchorKind == ANCHOR_HREF && a->StartPos <= offset && offset < a->EndPos) {
      TargetPos = offset;
      ProcessLink(a);
      return;
    }
  }
}

int HtmlHelp(const char *path, char *buffer)
{
  if (!path)
    return 0;
  HistoryI = 0;
  flBuildingFile = 1;
  HtmlFile *f = ParseHtmlFile(path, buffer);
  // Cleared on failure as well: a failed start must not stop later links.
  flBuildingFile = 0;
  if (f)
    return 1;
  if (buffer)
    printf("Error reading HTML buffer\n");
  else
    printf("Error in reading HTML file %s\n", path);
  return 0;
}
