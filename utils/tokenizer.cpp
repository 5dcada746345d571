// The word scanner shared by the whole program, the one-shot splitters, the
// keyword-list lookups and the keyboard line reader.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <strings.h>

#include "utils/utils.h"

// Scan state, one for the program. szIn is where the next GetToken or
// GetTokenParse goes on; szTokenIn and chTokenDel are read (and, by nested
// scans, restored) by other modules.
static char *szIn = nullptr;
char *szTokenIn = nullptr;
char GetTokenBuf[TOKENBUF_SIZE];
char chTokenDel = 0;

namespace {

bool IsLineMode(const char *text)
{
  return text == TOKEN_LINE_MODE;
}

bool IsDelim(const char *delims, char c)
{
  return c != '\0' && delims != nullptr && strchr(delims, c) != nullptr;
}

char Unescape(char c)
{
  switch (c) {
    case 'n': return '\n';
    case 'r': return '\r';
    case 't': return '\t';
    default: return c;
  }
}

enum class Scan { Token, None, Refused };

// The copying scan behind GetToken and GetTokenD. Walks *pos, copies the
// token (escapes translated) into out, keeping at most outSize - 1 characters
// of it; a longer token is consumed whole. *pos ends behind the delimiter
// that ended the token, or on the terminator.
Scan CopyToken(const char *&pos, const char *delims, char *out, size_t outSize, bool lineMode)
{
  size_t seen = 0;  // token characters met, stored or not
  size_t stored = 0;
  const char *p = pos;
  auto keep = [&](char c) {
    if (stored + 1 < outSize)
      out[stored++] = c;
    seen++;
  };
  for (;;) {
    char c = *p;
    if (c == '\0')
      break;
    if (c == '\\') {
      if (p[1] == '\0') {  // a lone trailing backslash is dropped
        p++;
        break;
      }
      keep(Unescape(p[1]));
      p += 2;
      continue;
    }
    if (IsDelim(delims, c)) {
      chTokenDel = c;
      p++;
      if (seen == 0)
        continue;
      out[stored] = '\0';
      pos = p;
      return lineMode && c == '\n' ? Scan::Refused : Scan::Token;
    }
    keep(c);
    p++;
  }
  out[stored] = '\0';
  pos = p;
  return seen != 0 ? Scan::Token : Scan::None;
}

// Keyword lookups take words that fit a 512-byte pattern of delimiter, word,
// delimiter and terminator (509 characters); longer ones are never found.
constexpr size_t PATTERN_SIZE = 512;

}  // namespace

char *Gets(char *buf, size_t size)
{
  if (buf == nullptr || size == 0)
    return nullptr;
  size_t n = 0;
  bool ended = false;  // newline met: the line is complete
  while (n + 1 < size) {
    int c = getchar();
    if (c == EOF)
      break;
    if (c == '\n') {
      ended = true;
      break;
    }
    buf[n++] = static_cast<char>(c);
  }
  buf[n] = '\0';
  if (n == 0 && !ended && size > 1)
    return nullptr;
  return buf;
}

void SetTokenBuf(const char *text)
{
  szIn = const_cast<char *>(text);
  szTokenIn = szIn;
}

char *GetTokenBufInput()
{
  return szIn;
}

char *GetToken(const char *text, const char *delims)
{
  chTokenDel = 0;
  bool lineMode = IsLineMode(text);
  if (text != nullptr && !lineMode)
    szIn = const_cast<char *>(text);
  if (szIn == nullptr) {
    GetTokenBuf[0] = '\0';
    szTokenIn = nullptr;
    return nullptr;
  }
  const char *pos = szIn;
  Scan result = CopyToken(pos, delims, GetTokenBuf, sizeof GetTokenBuf, lineMode);
  szIn = const_cast<char *>(pos);
  if (result == Scan::Refused)
    return nullptr;
  szTokenIn = szIn;
  return result == Scan::Token ? GetTokenBuf : nullptr;
}

char *GetTokenD(const char *text, const char *delims, const char **cursor, char *out,
                size_t outSize)
{
  chTokenDel = 0;
  bool lineMode = IsLineMode(text);
  const char *pos = text;
  if (text == nullptr || lineMode)
    pos = cursor != nullptr ? *cursor : nullptr;
  if (pos == nullptr || out == nullptr || outSize == 0)
    return nullptr;
  Scan result = CopyToken(pos, delims, out, outSize, lineMode);
  if (result == Scan::Refused)
    return nullptr;
  if (cursor != nullptr)
    *cursor = pos;
  return result == Scan::Token ? out : nullptr;
}

char *GetTokenParse(char *text, const char *delims)
{
  chTokenDel = 0;
  bool lineMode = IsLineMode(text);
  if (text != nullptr && !lineMode)
    szIn = text;
  if (szIn == nullptr)
    return nullptr;
  char *p = szIn;
  char *start = p;
  for (;;) {
    char c = *p;
    if (c == '\0')
      break;
    if (c == '\\') {  // kept as it is, with the character it escapes
      p += p[1] == '\0' ? 1 : 2;
      continue;
    }
    if (IsDelim(delims, c)) {
      chTokenDel = c;
      *p++ = '\0';
      if (p - 1 == start) {  // still in the leading delimiters
        start = p;
        continue;
      }
      szIn = p;
      if (lineMode && c == '\n')
        return nullptr;
      szTokenIn = szIn;
      return start;
    }
    p++;
  }
  szIn = p;
  szTokenIn = szIn;
  return *start != '\0' ? start : nullptr;
}

int ParseStr(char *text, const char *delims, char **slots, int nslots)
{
  if (slots == nullptr || nslots <= 0)
    return 0;
  for (int i = 0; i < nslots; i++)
    slots[i] = nullptr;
  if (text == nullptr)
    return 0;
  int count = 0;
  char *p = text;
  while (*p != '\0' && count < nslots) {
    while (IsDelim(delims, *p))
      p++;
    if (*p == '\0')
      break;
    slots[count++] = p;
    while (*p != '\0' && !IsDelim(delims, *p))
      p++;
    if (*p != '\0')
      *p++ = '\0';
  }
  return count;
}

char *GetTokenN(const char *text, const char *delims, int n)
{
  char *token = GetToken(text, delims);
  for (int i = 1; i < n && token != nullptr; i++)
    token = GetToken(nullptr, delims);
  return token;
}

int GetTokenCount(const char *text, const char *delims)
{
  char *savedIn = szIn;
  char *savedTokenIn = szTokenIn;
  char savedBuf[TOKENBUF_SIZE];
  memcpy(savedBuf, GetTokenBuf, sizeof savedBuf);
  int count = 0;
  for (char *token = GetToken(text, delims); token != nullptr; token = GetToken(nullptr, delims))
    count++;
  szIn = savedIn;
  szTokenIn = savedTokenIn;
  memcpy(GetTokenBuf, savedBuf, sizeof savedBuf);
  return count;
}

namespace {

// Builds delimiter + word + delimiter into pattern, which holds PATTERN_SIZE
// bytes; false when the word is too long for it.
bool MakePattern(char *pattern, char delim, const char *word, size_t wordLen)
{
  if (wordLen > PATTERN_SIZE - 3)
    return false;
  pattern[0] = delim;
  memcpy(pattern + 1, word, wordLen);
  pattern[wordLen + 1] = delim;
  pattern[wordLen + 2] = '\0';
  return true;
}

// Number of c in [from, to): the position of a keyword, counted after the
// search that found it. A plain loop, which the compiler turns into vector
// code for the processor it builds for (see CMakeLists.txt); counting in
// bytes, up to 240 at a time, keeps the vectors in bytes too.
int CountChar(const char *from, const char *to, char c)
{
  int count = 0;
  while (from < to) {
    auto n = static_cast<size_t>(std::min<ptrdiff_t>(to - from, 240));
    unsigned char part = 0;
    for (size_t i = 0; i < n; i++)
      part += from[i] == c ? 1 : 0;
    count += part;
    from += n;
  }
  return count;
}

}  // namespace

// The first occurrence of delimiter + word + delimiter; failing that, the
// last item when the list has no closing delimiter. The position is the
// number of delimiters up to the one that starts the match.
int FindToken(const char *word, const char *list)
{
  if (word == nullptr || list == nullptr || *list == '\0')
    return 0;
  const char delim = list[0];
  const size_t wordLen = strlen(word);
  char pattern[PATTERN_SIZE];
  if (!MakePattern(pattern, delim, word, wordLen))
    return 0;
  // strstr rather than memmem: the C library's strstr is the faster of the
  // two here by far, and needs no length of the list.
  const char *hit = strstr(list, pattern);
  if (hit == nullptr) {
    const char *last = strrchr(list, delim);
    if (strcmp(last + 1, word) != 0)
      return 0;
    hit = last;
  }
  return CountChar(list, hit + 1, delim);
}

// As FindToken, ignoring case in the word but not in the delimiters, which
// may be letters themselves: a case-blind hit on the wrong delimiter is
// passed by.
int FindTokenC(const char *word, const char *list)
{
  if (word == nullptr || list == nullptr || *list == '\0')
    return 0;
  const char delim = list[0];
  const size_t wordLen = strlen(word);
  char pattern[PATTERN_SIZE];
  if (!MakePattern(pattern, delim, word, wordLen))
    return 0;
  for (const char *at = list; (at = strcasestr(at, pattern)) != nullptr; at++)
    if (at[0] == delim && at[wordLen + 1] == delim)
      return CountChar(list, at + 1, delim);
  // An item that ends the list without a closing delimiter: the list ends
  // in delimiter + word.
  size_t listLen = strlen(list);
  if (listLen < wordLen + 1)
    return 0;
  const char *last = list + listLen - wordLen - 1;
  return *last == delim && strcasecmp(last + 1, word) == 0 ? CountChar(list, last + 1, delim) : 0;
}

int FindTokenWithDelim(const char *list, const char *word, char delim)
{
  if (list == nullptr || word == nullptr)
    return 0;
  size_t len = strlen(word);
  int position = 1;
  for (const char *item = list;; position++) {
    const char *end = strchr(item, delim);
    if (delim == '\0' || end == nullptr)
      end = item + strlen(item);
    if (static_cast<size_t>(end - item) == len && memcmp(item, word, len) == 0)
      return position;
    if (*end == '\0')
      return 0;
    item = end + 1;
  }
}

void SortTokens(char *list, char delim, int ignoreCase)
{
  if (list == nullptr)
    return;
  char *copy = SaveStr_(list);
  // A lone backslash at the very end escapes nothing and is dropped: kept,
  // it would escape the delimiter the sort may put behind its item and
  // join that item with the next one.
  for (char *p = copy; *p != '\0'; p++) {
    if (*p == '\\' && *++p == '\0') {
      p[-1] = '\0';
      break;
    }
  }
  char *out = list;
  char *rest = copy;
  while (*out == delim && *out != '\0') {
    out++;
    rest++;
  }
  while (*rest != '\0') {
    char *best = nullptr;
    size_t bestLen = 0;  // compare length: the item and its delimiter
    bool bestHasDelim = false;
    for (char *item = rest; *item != '\0';) {
      char *end = StrChr(item, delim);
      size_t itemLen = end != nullptr ? static_cast<size_t>(end - item) + 1 : strlen(item);
      int order = best == nullptr ? -1
                  : ignoreCase    ? strncasecmp(item, best, itemLen)
                                  : strncmp(item, best, itemLen);
      if (order < 0) {
        best = item;
        bestLen = itemLen;
        bestHasDelim = end != nullptr;
      }
      item += itemLen;
    }
    memcpy(out, best, bestLen);
    out += bestLen;
    *out = '\0';
    memmove(best, best + bestLen, strlen(best + bestLen) + 1);
    if (!bestHasDelim && *rest != '\0') {
      *out++ = delim;
      *out = '\0';
    }
  }
  PutMem(copy);
}
