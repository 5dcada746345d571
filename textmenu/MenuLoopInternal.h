// Internals shared by the files of the text-menu module; not installed.
#ifndef NORVO_TEXTMENU_MENULOOPINTERNAL_H
#define NORVO_TEXTMENU_MENULOOPINTERNAL_H

#include <cstdint>
#include <cstring>

#include "textmenu/TextMenu.h"

// An ITEM_FLOAT value: a single-precision float in the low 32 bits of the word.
inline float MenuFloatOf(intptr_t word)
{
  uint32_t bits = static_cast<uint32_t>(word);
  float f;
  memcpy(&f, &bits, sizeof f);
  return f;
}
inline intptr_t MenuFloatWord(float f)
{
  uint32_t bits;
  memcpy(&bits, &f, sizeof bits);
  return static_cast<intptr_t>(bits);
}

// The pick screen's minimum size: 1 when image can show choice columns as
// wide as widest; otherwise messages 206 to 208 are printed, one character is
// read and 0 is returned.
int CheckScreenSize(ScreenImage *image, int widest);

// End of standard input inside a menu: message 1016 and exit status 1.
[[noreturn]] void MenuInputEnded();

#endif
