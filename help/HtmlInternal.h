// Internals shared by the help viewer's sources; not installed.
#ifndef NORVO_HELP_HTMLINTERNAL_H
#define NORVO_HELP_HTMLINTERNAL_H

#include <cstddef>

#include "help/html.h"

// n zero-filled bytes of pool memory that are never released (records of
// loaded files); running out of memory ends the process, as for saved
// strings.
void *HtmlNeedMem(size_t n);
// A new zero-filled item of size bytes, with its node, at the end of list;
// the same policy. Releasing such an item or node releases nothing.
void *HtmlNeedItem(List *list, int32_t size);

// Forgets every loaded file, the layout's work buffers and the history, as
// at the start of the process, without releasing their memory (it may be
// released by whoever owns all pool memory, as a test harness does). Pages
// and texts handed out before are not to be used afterwards.
void HtmlForgetFiles();
// The layout's part of that: its grid, row starts and open anchor.
void HtmlForgetLayout();

#endif
