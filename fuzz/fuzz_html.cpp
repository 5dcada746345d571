// The help viewer's reader and layout over arbitrary HTML texts: the input
// is a help file given as a buffer; every page is laid out and its links
// followed to their offsets.
//
// Checked beyond the sanitizers: a laid-out page ends in a line end, and
// every link's offsets lie inside the page text in order. (A line end inside
// a text run stays in the text, so lines are not counted.)
#include <cstring>

#include "fuzz/FuzzUtil.h"
#include "help/HtmlInternal.h"
#include "help/html.h"
#include "list/List.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  FuzzPoolScope(true);
  // The buffer is the file's text for as long as it is loaded: the reader
  // writes into it. Exactly its size, so a read past it shows.
  char *text = static_cast<char *>(malloc(size + 1));
  memcpy(text, data, size);
  text[size] = '\0';
  HtmlFile *file = ParseHtmlFile("fuzz.html", text);
  if (file != nullptr) {
    for (ListNode *n = file->Pages.pFirst; n != nullptr; n = n->pNext) {
      auto *page = static_cast<HtmlPage *>(n->pItem);
      if (page->pText == nullptr)
        continue;
      size_t len = strlen(page->pText);
      FUZZ_CHECK(len == 0 || page->pText[len - 1] == '\n');
      for (ListNode *l = page->Links.pFirst; l != nullptr; l = l->pNext) {
        HtmlAnchor *anchor;  // the items hold pointers to the anchors
        memcpy(&anchor, l->pItem, sizeof anchor);
        FUZZ_CHECK(anchor->StartPos >= 0 && anchor->StartPos <= anchor->EndPos);
        FUZZ_CHECK(static_cast<size_t>(anchor->EndPos) <= len);
      }
    }
  }
  HtmlForgetFiles();
  FuzzPoolScope(false);
  free(text);
  return 0;
}
