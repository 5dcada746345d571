// html: the reader of help files. It splits a file into pages and each page
// into the flat element lists of its head and body; the text runs are folded
// and decoded in place, inside the file's own text.
#include "help/html.h"

#include <cctype>
#include <cstring>
#include <strings.h>

#include "help/HelpTty.h"
#include "help/HtmlInternal.h"
#include "memmgr/MemMgr.h"
#include "utils/utils.h"

// Loaded files and the page shown; the navigation (HelpTty) moves between
// them, the layout reads pCurrentPage while a page is laid out.
HtmlFile *aFile[HTML_MAX_FILES];
int32_t FileIndex;
int32_t CurrentFile;
HtmlPage *pCurrentPage;

// The records of loaded files (pages, elements, anchors, tables and their
// list nodes) are carved out of large pool chunks: they live as long as the
// process, and one pool request per record would cost more than the reading.
static char *pArena;
static size_t ArenaLeft;

namespace {

constexpr size_t kChunkSize = 60 * 1024;

constexpr char kStructureTags[] = ",html,head,body,/html,";
enum { TAG_HTML = 1, TAG_HEAD, TAG_BODY };
constexpr int kEntityNameMax = 15;  // characters after "&" searched for ";"

bool IsSpace(char c)
{
  return isspace(static_cast<unsigned char>(c)) != 0;
}

// Splits a tag text into its name and the attributes behind one separating
// blank (null when there are none). Leading blanks are skipped.
char *SplitTag(char *text, char **attrs)
{
  while (IsSpace(*text))
    ++text;
  char *end = text;
  while (*end && !IsSpace(*end))
    ++end;
  *attrs = nullptr;
  if (*end) {
    *end = '\0';
    *attrs = end + 1;
  }
  return text;
}

HtmlPage *AddPage(HtmlFile *file, char *name)
{
  auto *page = static_cast<HtmlPage *>(HtmlNeedItem(&file->Pages, sizeof(HtmlPage)));
  page->pPageName = name;
  return page;
}

// The character a reference at s ("&...") stands for, and how many bytes it
// takes; 0 when s starts no reference the reader knows.
int DecodeReference(const char *s, unsigned char *out)
{
  if (s[1] == '#' && isdigit(static_cast<unsigned char>(s[2]))) {
    unsigned code = 0;
    const char *p = s + 2;
    while (isdigit(static_cast<unsigned char>(*p)))
      code = (code * 10 + static_cast<unsigned>(*p++ - '0')) & 0xFFFF;
    *out = static_cast<unsigned char>(code & 0xFF);
    // The reference ends at the next ";", or with the text.
    const char *semi = strchr(p, ';');
    return static_cast<int>((semi ? semi + 1 : p + strlen(p)) - s);
  }
  if (strncasecmp(s + 1, "quot;", 5) == 0) {
    *out = '"';
    return 6;
  }
  int n = 1;
  while (n <= kEntityNameMax && s[n] && s[n] != ';' && isalnum(static_cast<unsigned char>(s[n])))
    ++n;
  if (n > kEntityNameMax || s[n] != ';' || n == 1)
    return 0;
  char name[kEntityNameMax + 2];
  memcpy(name, s + 1, static_cast<size_t>(n));
  name[n] = '\0';
  int k = FindToken(name, HTMLKeys);
  if (k < 1 || k > HTML_ENTITY_COUNT)
    return 0;
  *out = HTMLChars[k];
  return 1 + HTMLKeySizes[k];
}

}  // namespace

void *HtmlNeedMem(size_t n)
{
  n = (n + 15) & ~size_t{15};
  if (n > kChunkSize / 4) {
    return GetMemOrDie(n);
  }
  if (n > ArenaLeft) {
    // The first bytes of a chunk are never handed out, so that no record
    // starts where the chunk does: a PutMem of a record cannot free it.
    pArena = static_cast<char *>(GetMemOrDie(kChunkSize));
    pArena += 16;
    ArenaLeft = kChunkSize - 16;
  }
  void *p = pArena;
  pArena += n;
  ArenaLeft -= n;
  return p;
}

void HtmlForgetFiles()
{
  memset(aFile, 0, sizeof aFile);
  FileIndex = CurrentFile = 0;
  pCurrentPage = nullptr;
  pArena = nullptr;
  ArenaLeft = 0;
  memset(History, 0, sizeof History);
  HistoryI = TargetPos = 0;
  flBuildingFile = 0;
  HtmlForgetLayout();
}

void *HtmlNeedItem(List *list, int32_t size)
{
  auto *node = static_cast<ListNode *>(HtmlNeedMem(sizeof(ListNode) + static_cast<size_t>(size)));
  node->pItem = node + 1;
  node->nSize = size;
  ListPushLink(list, node);
  return node->pItem;
}

HtmlFile *FindHtmlFile(const char *name)
{
  if (!name)
    return nullptr;
  for (int i = 0; i < FileIndex; ++i)
    if (aFile[i] && strcmp(aFile[i]->pFileName, name) == 0) {
      CurrentFile = i;
      return aFile[i];
    }
  return nullptr;
}

char *GetKeyWord(HtmlFile *file)
{
  char *open = strchr(file->pParse, '<');
  if (!open) {
    file->pParse += strlen(file->pParse);
    return nullptr;
  }
  *open = '\0';
  char *close = strchr(open + 1, '>');
  if (!close) {
    file->pParse = open + 1 + strlen(open + 1);
    return nullptr;
  }
  *close = '\0';
  file->pParse = close + 1;
  return open + 1;
}

HtmlAttr *AddAtribute(List *list, char *name, char *data)
{
  auto *attr = static_cast<HtmlAttr *>(HtmlNeedItem(list, sizeof(HtmlAttr)));
  attr->pTag = name;
  attr->pAttrData = data;
  attr->AttrLen = data ? static_cast<int32_t>(strlen(data)) : 0;
  if (!name || strcasecmp(name, "a") != 0)
    return attr;
  auto *anchor = static_cast<HtmlAnchor *>(HtmlNeedMem(sizeof(HtmlAnchor)));
  attr->pAttrData = anchor;
  for (char *p = data; p && *p;) {
    p += strspn(p, " \t\r\n\f\v");
    char *token = p;
    p += strcspn(p, " \t\r\n\f\v");
    if (*p)
      *p++ = '\0';
    char *eq = strchr(token, '=');
    if (!eq)
      continue;
    *eq = '\0';
    char *value = eq + 1;
    if (*value == '"')
      ++value;
    size_t len = strlen(value);
    if (len && value[len - 1] == '"')
      value[len - 1] = '\0';
    switch (FindTokenC(token, ",name,href,")) {
      case 1: anchor->pTarget = value, anchor->AnchorKind = ANCHOR_NAME; break;
      case 2: anchor->pTarget = value, anchor->AnchorKind = ANCHOR_HREF; break;
      default: break;
    }
  }
  return attr;
}

HtmlFile *ParseHtml(HtmlFile *file, List *list, const char *section)
{
  char *r = file->pParse;
  char *run = nullptr;  // start of the open text run
  char *w = nullptr;    // its write position (never ahead of r)
  while (*r) {
    char c = *r;
    if (c == '<') {
      if (run) {
        *w = '\0';
        AddAtribute(list, nullptr, run);
        run = nullptr;
      }
      char *close = strchr(r + 1, '>');
      if (!close) {
        file->pParse = r + 1 + strlen(r + 1);
        return file;
      }
      *close = '\0';
      char *attrs;
      char *name = SplitTag(r + 1, &attrs);
      r = close + 1;
      if (name[0] == '/' && strcasecmp(name + 1, section) == 0) {
        file->pParse = r;
        return nullptr;
      }
      AddAtribute(list, name, attrs);
      continue;
    }
    if (c == '&') {
      unsigned char ch;
      if (int skip = DecodeReference(r, &ch)) {
        if (!run)
          run = w = r;
        if (ch)  // a zero byte would end the run early
          *w++ = static_cast<char>(ch);
        r += skip;
        continue;
      }
    }
    if (IsSpace(c) || c == '&') {
      if (!run) {
        *r++ = '\0';
        continue;
      }
      *w++ = c;
      ++r;
      if (c != '&')
        while (IsSpace(*r))
          ++r;
      continue;
    }
    if (!run)
      run = w = r;
    *w++ = c;
    ++r;
  }
  if (run) {
    *w = '\0';
    AddAtribute(list, nullptr, run);
  }
  file->pParse = r;
  return file;
}

HtmlFile *ParseHtmlFile(const char *name, char *buffer)
{
  if (!name || strncasecmp(name, "http://", 7) == 0)
    return nullptr;
  if (strncasecmp(name, "file://", 7) == 0)
    name += 7;
  const char *hash = strchr(name, '#');
  const char *target = hash ? hash + 1 : nullptr;
  int nameLen = static_cast<int>(hash ? hash - name : static_cast<ptrdiff_t>(strlen(name)));
  char *fileName = SaveStr("%.*s", nameLen, name);

  if (HtmlFile *loaded = FindHtmlFile(fileName)) {
    PutMem(fileName);
    pCurrentPage = static_cast<HtmlPage *>(loaded->Pages.pFirst->pItem);
    TargetPos = 0;
    if (target && *target)
      GoToTarget(target);
    return loaded;
  }
  // The table is full: the file is refused rather than written past it.
  if (FileIndex >= HTML_MAX_FILES) {
    PutMem(fileName);
    return nullptr;
  }
  char *content = buffer ? buffer : GetSavedFileContent(fileName, nullptr);
  if (!content) {
    PutMem(fileName);
    return nullptr;
  }
  auto *file = static_cast<HtmlFile *>(HtmlNeedMem(sizeof(HtmlFile)));
  file->pFileName = fileName;
  file->pContent = file->pParse = content;

  HtmlPage *page = nullptr;
  while (char *kw = GetKeyWord(file)) {
    char *attrs;
    char *tag = SplitTag(kw, &attrs);
    if (!*tag)
      continue;
    switch (FindTokenC(tag, kStructureTags)) {
      case TAG_HTML:
        if (attrs && strstr(attrs, "SkipPage")) {
          char *end = StrCaseStr(file->pParse, "/html");
          char *gt = end ? strchr(end, '>') : nullptr;
          file->pParse = gt ? gt + 1 : file->pParse + strlen(file->pParse);
        } else if (char *p = attrs ? StrCaseStr(attrs, "page=\"") : nullptr) {
          char *pageName = p + 6;
          if (char *quote = strchr(pageName, '"'))
            *quote = '\0';
          page = AddPage(file, pageName);
        } else if (file->Pages.nItems == 0) {
          // The file's first page, unnamed. Counted by pages, not by "html"
          // tags: behind a skipped first page the next one still opens, or
          // the whole file would read as empty.
          page = AddPage(file, nullptr);
        }
        break;
      case TAG_HEAD:
        if (page && page->Head.nItems == 0)
          ParseHtml(file, &page->Head, "head");
        break;
      case TAG_BODY:
        if (page)
          ParseHtml(file, &page->Body, "body");
        break;
      default: break;
    }
  }
  if (file->Pages.nItems == 0) {
    if (!buffer)
      PutMem(content);
    PutMem(fileName);
    return nullptr;  // the few records made stay unused
  }
  aFile[FileIndex] = file;
  CurrentFile = FileIndex++;
  for (ListNode *n = file->Pages.pFirst; n; n = n->pNext) {
    pCurrentPage = static_cast<HtmlPage *>(n->pItem);
    PrintTextImage(file);
  }
  pCurrentPage = static_cast<HtmlPage *>(file->Pages.pFirst->pItem);
  TargetPos = 0;
  if (target && *target)
    GoToTarget(target);
  return file;
}
