// usage: helpdump [-l] file...
// Prints the laid-out pages of help files as plain text, page after page,
// as the help viewer shows them; -l adds each page's links (offsets in the
// page text, kind, target) after its text.
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "help/html.h"

namespace {

void PrintLinks(const HtmlPage *page)
{
  for (ListNode *n = page->Links.pFirst; n; n = n->pNext) {
    HtmlAnchor *a;
    memcpy(&a, n->pItem, sizeof a);
    printf("link %d %d %s %s\n", a->StartPos, a->EndPos,
           a->AnchorKind == ANCHOR_HREF ? "href" : "name", a->pTarget ? a->pTarget : "");
  }
}

}  // namespace

int main(int argc, char **argv)
{
  bool links = false;
  int opt;
  while ((opt = getopt(argc, argv, "l")) != -1) {
    if (opt != 'l') {
      fprintf(stderr, "usage: helpdump [-l] file...\n");
      return 2;
    }
    links = true;
  }
  if (optind >= argc) {
    fprintf(stderr, "usage: helpdump [-l] file...\n");
    return 2;
  }
  int status = 0;
  for (int i = optind; i < argc; ++i) {
    HtmlFile *file = ParseHtmlFile(argv[i], nullptr);
    if (!file) {
      fprintf(stderr, "helpdump: cannot read help file %s\n", argv[i]);
      status = 1;
      continue;
    }
    for (ListNode *n = file->Pages.pFirst; n; n = n->pNext) {
      auto *page = static_cast<const HtmlPage *>(n->pItem);
      fputs(page->pText, stdout);
      if (links)
        PrintLinks(page);
    }
  }
  return status;
}
