// NlsUtils: message fetch, the conversions and output built on it, and the
// text checksum. The language choice is in NlsLang.cpp.
#include "nls/NlsUtils.h"

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "memmgr/MemMgr.h"
#include "textmenu/TextMenu.h"
#include "utils/utils.h"

// Module state. StrBuf receives every fetched value first; its spare byte
// lets a value that fills all NLS_STRBUF_SIZE bytes still be terminated.
// pErrBuf is the "Error" text every caller shares; StrVal the checksum text.
namespace {
char StrBuf[NLS_STRBUF_SIZE + 1];
char *pErrBuf;
char StrVal[NLS_STRVAL_SIZE];
}  // namespace

char NlsBuf[NLS_STRBUF_SIZE];

namespace {

// Reads the value of key into StrBuf, terminated. With whole set a value of
// up to NLS_STRBUF_SIZE bytes stays whole and a longer one is handed back in
// *pLong (a pool buffer of its length, one zero byte behind it); otherwise
// the value is cut to NLS_STRBUF_SIZE - 1 characters. Returns the value
// length, 0 when key is absent.
int FetchValue(DbTHandle *h, const char *key, bool whole, char **pLong)
{
  *pLong = nullptr;
  void *buf = StrBuf;
  int n = DbmTGetRecordV(h, key, &buf, NLS_STRBUF_SIZE);
  if (n <= 0)
    return 0;
  if (buf != StrBuf) {
    char *big = static_cast<char *>(buf);
    if (whole) {
      *pLong = big;
      return n;
    }
    memcpy(StrBuf, big, NLS_STRBUF_SIZE - 1);
    PutMem(big);
  }
  StrBuf[std::min(n, whole ? NLS_STRBUF_SIZE : NLS_STRBUF_SIZE - 1)] = '\0';
  return n;
}

// The caller's buffer gets what StrBuf holds, as strncpy of at most n bytes
// would copy it, and a terminator when those bytes carry none: it never
// receives more than NLS_STRBUF_SIZE bytes.
void CopyOut(char *out, const char *text, int n)
{
  size_t limit = static_cast<size_t>(std::min(n, NLS_STRBUF_SIZE));
  size_t len = strnlen(text, limit);
  memcpy(out, text, len);
  memset(out + len, 0, limit - len);
  if (len == limit)
    out[len] = '\0';
}

// A pool copy of at most max characters of text.
char *SaveCut(const char *text, size_t max)
{
  return SaveStr("%.*s", static_cast<int>(std::min(strlen(text), max)), text);
}

}  // namespace

char *NlsFetchString(DbTHandle *h, char *out, int mode, ...)
{
  if (!pErrBuf)
    pErrBuf = SaveStr_("Error");
  char numKey[NLS_KEY_MAX + 1];
  const char *key = nullptr, *textKey = nullptr;
  bool byNumber = false;
  int set = 0, number = 0;
  va_list args;
  va_start(args, mode);
  switch (mode) {
    case NLS_BY_NUMBER:
    case NLS_BY_NUMBER_LONG:
      set = va_arg(args, int);
      number = va_arg(args, int);
      snprintf(numKey, sizeof numKey, "%d_%d", set, number);
      key = numKey;
      byNumber = true;
      break;
    case NLS_BY_KEY:
    case NLS_BY_KEY_ALT: key = textKey = va_arg(args, const char *); break;
    default: break;
  }
  va_end(args);
  // Without a database only a key of two numbers can be shown; a fetch that
  // names no key at all has nothing else to show either.
  if (!key || (!h && !(byNumber && set != 0 && number != 0)))
    return pErrBuf;

  if (mode == NLS_BY_NUMBER_LONG) {
    char *big = nullptr;
    if (h && FetchValue(h, key, true, &big) > 0)
      return big ? big : SaveStr_(StrBuf);
    return SaveStr_(key);
  }

  char *unused = nullptr;
  int n = h ? FetchValue(h, key, false, &unused) : 0;
  if (n > 0) {
    if (!out)
      return SaveStr_(StrBuf);
    CopyOut(out, StrBuf, n);
    return out;
  }
  if (out) {
    size_t len = std::min(strlen(key), static_cast<size_t>(NLS_STRBUF_SIZE - 1));
    memcpy(out, key, len);
    out[len] = '\0';
    return out;
  }
  return byNumber ? SaveStr_(numKey) : const_cast<char *>(textKey);
}

// ---- Conversions ---------------------------------------------------------------

char *NlsTtyMenuCvt(const char **ppText, int number)
{
  char *text = NlsFetchString(pDrvCoreDB, nullptr, NLS_BY_NUMBER, NLS_SET_MENU, number);
  if (text == pErrBuf)
    text = SaveStr_(text);  // the caller owns what it is given
  if (ppText)
    *ppText = text;
  return text;
}

namespace {

enum class ItemField { Label, Choices, Prompt };

int ConvertItems(TextMenuItem *items, int first, int count, ItemField field)
{
  if (!items || count <= 0)
    return 0;
  char buf[NLS_STRBUF_SIZE];
  for (int i = 0; i < count; i++) {
    const char *text = NlsFetchString(pDrvCoreDB, buf, NLS_BY_NUMBER, NLS_SET_MENU, first + i);
    char *copy = SaveCut(text, NLS_ITEM_TEXT_MAX);
    switch (field) {
      case ItemField::Label: items[i].pLabel = copy; break;
      case ItemField::Choices: items[i].pChoices = copy; break;
      case ItemField::Prompt: items[i].pPrompt = copy; break;
    }
  }
  return count;
}

}  // namespace

int NlsTtyMenuItemCvt(TextMenuItem *items, int first, int count)
{
  return ConvertItems(items, first, count, ItemField::Label);
}

int NlsTtyMenuItemStateCvt(TextMenuItem *items, int first, int count)
{
  return ConvertItems(items, first, count, ItemField::Choices);
}

int NlsTtyMenuItemPromptCvt(TextMenuItem *items, int first, int count)
{
  return ConvertItems(items, first, count, ItemField::Prompt);
}

char *NlsGuiStrCvt(const char *pTemplate, int set, char *dest, int size)
{
  if (!dest || size <= 0)
    return dest;
  memset(dest, 0, static_cast<size_t>(size));
  if (!pTemplate)
    return dest;
  // The fetch may fill a whole StrBuf; the slot keeps NLS_SLOT_MAX of it.
  char work[NLS_STRBUF_SIZE];
  size_t room = static_cast<size_t>(size) - 1, len = 0;
  int slot = 0;
  for (const char *p = pTemplate; *p && len < room;) {
    if (p[0] == '%' && p[1] == 's') {
      memset(work, 0, sizeof work);
      NlsFetchString(pDrvCoreDB, work, NLS_BY_NUMBER, set, ++slot);
      work[NLS_SLOT_MAX] = '\0';
      size_t take = std::min(strlen(work), room - len);
      memcpy(dest + len, work, take);
      len += take;
      p += 2;
    } else {
      dest[len++] = *p++;
    }
  }
  return dest;
}

// ---- Formatted output ------------------------------------------------------------

namespace {

// The format of message set_number, or null when it is missing (its key
// came back) or there is no database. Release it with ReleaseFormat.
char *FetchFormat(DbTHandle *h, int set, int number, int mode)
{
  char key[NLS_KEY_MAX + 1];
  snprintf(key, sizeof key, "%d_%d", set, number);
  char *text = mode == NLS_BY_KEY ? NlsFetchString(h, nullptr, NLS_BY_KEY, key)
                                  : NlsFetchString(h, nullptr, NLS_BY_NUMBER, set, number);
  if (text == key)
    return nullptr;
  if (strcmp(text, key) == 0) {
    PutMem(text);
    return nullptr;
  }
  return text;
}

void ReleaseFormat(char *text)
{
  if (text != pErrBuf)
    PutMem(text);
}

}  // namespace

int Nlsfprintf(FILE *stream, DbTHandle *h, int set, int number, ...)
{
  char *format = FetchFormat(h, set, number, NLS_BY_KEY);
  if (!format)
    return fputs("Error", stream) < 0 ? -1 : 5;
  va_list args;
  va_start(args, number);
  int n = vfprintf(stream, format, args);
  va_end(args);
  ReleaseFormat(format);
  return n;
}

int Nlssprintf(char *dest, DbTHandle *h, int set, int number, ...)
{
  char *format = FetchFormat(h, set, number, NLS_BY_NUMBER);
  if (!format)
    return sprintf(dest, "Error");
  va_list args;
  va_start(args, number);
  int n = vsprintf(dest, format, args);
  va_end(args);
  ReleaseFormat(format);
  return n;
}

int Nlssnprintf(char *dest, size_t size, DbTHandle *h, int set, int number, ...)
{
  char *format = FetchFormat(h, set, number, NLS_BY_NUMBER);
  if (!format)
    return snprintf(dest, size, "Error");
  va_list args;
  va_start(args, number);
  int n = vsnprintf(dest, size, format, args);
  va_end(args);
  ReleaseFormat(format);
  return n;
}

// ---- Checksum ----------------------------------------------------------------------

char *NlsCalcStrVal(const char *pText)
{
  // Unsigned arithmetic wraps as the 32-bit two's-complement sums do.
  uint32_t sum = 0, weighted = 0, i = 0;
  for (const char *p = pText ? pText : ""; *p; p++) {
    uint32_t c = static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*p)));
    i++;
    sum += c;
    weighted += i * i * c;
  }
  snprintf(StrVal, sizeof StrVal, "%08X%08X", static_cast<unsigned>(weighted),
           static_cast<unsigned>(sum));
  return StrVal;
}
