// Internals shared by the help viewer's sources; not installed.
#ifndef NORVO_HELP_HTMLINTERNAL_H
#define NORVO_HELP_HTMLINTERNAL_H

#include <cstddef>

#include "help/html.h"

// n zero-filled pool bytes; running out of memory ends the process, as for
// saved strings.
void *HtmlNeedMem(size_t n);
// A new zero-filled item of size bytes at the end of list; the same policy.
void *HtmlNeedItem(List *list, int32_t size);

#endif
