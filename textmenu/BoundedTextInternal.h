// A fixed text buffer of the menu toolkit's parsers (condition operands,
// validation sets, matched text); not installed.
#ifndef NORVO_TEXTMENU_BOUNDEDTEXTINTERNAL_H
#define NORVO_TEXTMENU_BOUNDEDTEXTINTERNAL_H

#include <cstring>

// A text of at most N - 1 characters that grows one character at a time;
// what does not fit is dropped, so no input overruns it.
template <int N>
struct BoundedText {
  char text[N] = {};
  int len = 0;
  void Add(char c)
  {
    if (len < N - 1)
      text[len++] = c;
  }
  void Clear()
  {
    len = 0;
    text[0] = '\0';
  }
  bool Has(char c) const { return c != '\0' && memchr(text, c, size_t(len)) != nullptr; }
};

#endif
