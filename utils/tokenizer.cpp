// The word scanner shared by the whole program, the one-shot splitters, the
// keyword-list lookups and the keyboard line reader.
#include <algorithm>
#include <cstring>
#include <strings.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#include <immintrin.h>
#endif

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

// ASCII case-blind comparison of n bytes.
bool SameIgnoringCase(const char *a, const char *b, size_t n)
{
  for (size_t i = 0; i < n; i++) {
    auto x = static_cast<unsigned char>(a[i]);
    auto y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z')
      x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z')
      y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y)
      return false;
  }
  return true;
}

// Keyword lookups take words that fit a 512-byte pattern of delimiter, word,
// delimiter and terminator (509 characters); longer ones are never found.
constexpr size_t PATTERN_SIZE = 512;

#if defined(__SSE2__)
// Set bits of a 16-bit mask (the baseline x86-64 has no popcount instruction).
int Popcount16(unsigned x)
{
  x = x - ((x >> 1) & 0x5555u);
  x = (x & 0x3333u) + ((x >> 2) & 0x3333u);
  x = (x + (x >> 4)) & 0x0f0fu;
  return static_cast<int>((x + (x >> 8)) & 0x1fu);
}
#endif

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

#if defined(__x86_64__)
namespace {

// True when the wordLen characters at text are the word. Inline, not a
// library call: the wide scans would have to save their vector registers
// around it. It stops at the first difference, so at the terminator.
[[gnu::always_inline]] inline bool WordAt(const char *text, const char *word, size_t wordLen)
{
  size_t i = 0;
  while (i < wordLen && text[i] == word[i])
    i++;
  return i == wordLen;
}

// How many bytes FindToken looks at a step: as many as the processor can
// (checked once, at start-up).
int scanWidth = [] {
  __builtin_cpu_init();
  if (!__builtin_cpu_supports("popcnt"))
    return 16;
  if (__builtin_cpu_supports("avx512bw"))
    return 64;
  return __builtin_cpu_supports("avx2") ? 32 : 16;
}();
const int widestScan = scanWidth;

// FindToken's scan 64 bytes at a time, the whole list in one pass: the
// loads are aligned, so none crosses into a page the list does not reach,
// and the terminator is found on the way (the bytes read before the list
// and after its end are never looked at, hence no address checking here).
// The position of the first match, or -1 with *end set to the terminator
// and *counted to the number of delimiters.
[[gnu::target("avx512bw,popcnt"), gnu::no_sanitize_address]] int
ScanTokenAvx512(const char *word, size_t wordLen, const char *list, const char **end, int *counted)
{
  const char delim = list[0];
  const __m512i wantDelim = _mm512_set1_epi8(delim);
  const __m512i wantFirst = _mm512_set1_epi8(word[0]);
  // The word's second character, or the closing delimiter of a
  // one-character word.
  const __m512i wantSecond = _mm512_set1_epi8(wordLen > 1 ? word[1] : delim);
  const __m512i zero = _mm512_setzero_si512();
  const auto *q =
      reinterpret_cast<const char *>(reinterpret_cast<uintptr_t>(list) & ~uintptr_t{63});
  // Nothing before the list counts.
  uint64_t from = ~uint64_t{0} << (list - q);
  __m512i chunk = _mm512_load_si512(q);
  int count = 0;
  for (;; q += 64, from = ~uint64_t{0}) {
    uint64_t delims = _mm512_cmpeq_epi8_mask(chunk, wantDelim) & from;
    uint64_t firsts = _mm512_cmpeq_epi8_mask(chunk, wantFirst);
    uint64_t seconds = _mm512_cmpeq_epi8_mask(chunk, wantSecond);
    uint64_t nul = _mm512_cmpeq_epi8_mask(chunk, zero) & from;
    if (nul != 0) {
      // The last chunk: nothing from the terminator on.
      delims &= (nul & -nul) - 1;
    } else {
      // The list goes on, so the next chunk may be read; a match may
      // run into it.
      chunk = _mm512_load_si512(q + 64);
      firsts = (firsts >> 1) | static_cast<uint64_t>(_mm512_cmpeq_epi8_mask(chunk, wantFirst))
                                   << 63;
      seconds = (seconds >> 2) | static_cast<uint64_t>(_mm512_cmpeq_epi8_mask(chunk, wantSecond))
                                     << 62;
    }
    if (nul != 0) {
      firsts >>= 1;
      seconds >>= 2;
    }
    for (uint64_t pairs = delims & firsts & seconds; pairs != 0; pairs &= pairs - 1) {
      int bit = __builtin_ctzll(pairs);
      const char *d = q + bit;
      if (WordAt(d + 1, word, wordLen) && d[wordLen + 1] == delim)
        return count + __builtin_popcountll(delims & (~uint64_t{0} >> (63 - bit)));
    }
    count += __builtin_popcountll(delims);
    if (nul != 0) {
      *end = q + __builtin_ctzll(nul);
      *counted = count;
      return -1;
    }
  }
}

// FindToken's scan 32 bytes at a time: the position of the first match in
// whole 32-byte steps from list, or -1 with *resume and *counted saying
// where the scan stopped and how many delimiters it passed.
[[gnu::target("avx2,popcnt")]] int ScanTokenAvx2(const char *word, size_t wordLen, const char *list,
                                                 const char *end, const char **resume, int *counted)
{
  const char delim = list[0];
  const __m256i wantDelim = _mm256_set1_epi8(delim);
  // A match starts with the delimiter and the pattern's next two
  // characters (the word's first two, or its only one and the closing
  // delimiter; the word is not empty): few places pass all three, so the
  // full comparison is seldom made.
  const char pattern[3] = {delim, word[0], wordLen > 1 ? word[1] : delim};
  const __m256i wantFirst = _mm256_set1_epi8(pattern[1]);
  const __m256i wantSecond = _mm256_set1_epi8(pattern[2]);
  int count = 0;
  const char *p = list;
  // The last load reads two bytes further, at most the terminator.
  for (; end - p >= 33; p += 32) {
    const auto *at = reinterpret_cast<const __m256i *>(p);
    auto delims = static_cast<uint32_t>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_loadu_si256(at), wantDelim)));
    __m256i firsts =
        _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + 1)), wantFirst);
    __m256i seconds =
        _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + 2)), wantSecond);
    auto starts = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_and_si256(firsts, seconds)));
    for (uint32_t pairs = delims & starts; pairs != 0; pairs &= pairs - 1) {
      int bit = __builtin_ctz(pairs);
      const char *d = p + bit;
      if (static_cast<size_t>(end - d) >= wordLen + 2 && WordAt(d + 1, word, wordLen) &&
          d[wordLen + 1] == delim)
        return count + __builtin_popcountll(delims & ((uint64_t{2} << bit) - 1));
    }
    count += __builtin_popcount(delims);
  }
  *resume = p;
  *counted = count;
  return -1;
}

}  // namespace
#endif

// The first occurrence of delimiter + word + delimiter, or else a last item
// equal to the word; the position is the number of delimiters up to it.
// Every occurrence begins at a delimiter followed by the word's first
// character, so one pass looks for those pairs and counts the delimiters on
// the way (a substring search and then a count would read the list twice).
int FindToken(const char *word, const char *list)
{
  if (word == nullptr || list == nullptr || *list == '\0')
    return 0;
  const char delim = list[0];
  const size_t wordLen = strlen(word);
  if (wordLen > PATTERN_SIZE - 3)
    return 0;
#if defined(__x86_64__)
  if (scanWidth == 64 && wordLen > 0) {
    // One pass, which finds the end too.
    const char *stop = nullptr;
    int counted = 0;
    int pos = ScanTokenAvx512(word, wordLen, list, &stop, &counted);
    if (pos >= 0)
      return pos;
    // The last item of a list without a closing delimiter.
    return strcmp(strrchr(list, delim) + 1, word) == 0 ? counted : 0;
  }
#endif
  const char *const end = list + strlen(list);
  const char first = wordLen > 0 ? word[0] : delim;
  auto matchesAt = [&](const char *d) {  // d holds delimiter + first character
    return static_cast<size_t>(end - d) >= wordLen + 2 && memcmp(d + 1, word, wordLen) == 0 &&
           d[wordLen + 1] == delim;
  };
  int count = 0;
  const char *p = list;
#if defined(__x86_64__)
  if (scanWidth == 32 && wordLen > 0) {
    int pos = ScanTokenAvx2(word, wordLen, list, end, &p, &count);
    if (pos >= 0)
      return pos;
  }
#endif
#if defined(__SSE2__)
  // Delimiters are counted in byte lanes (a match subtracts -1), summed
  // before a lane can wrap.
  const __m128i wantDelim = _mm_set1_epi8(delim);
  const __m128i wantFirst = _mm_set1_epi8(first);
  auto laneSum = [](__m128i lanes) {
    __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
    return _mm_cvtsi128_si32(sums) + _mm_extract_epi16(sums, 4);
  };
  __m128i lanes = _mm_setzero_si128();
  int rounds = 0;
  // The second load reads one byte further, at most the terminator.
  for (; end - p >= 16; p += 16) {
    __m128i isDelim =
        _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)), wantDelim);
    __m128i isFirst =
        _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 1)), wantFirst);
    auto pairs = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(isDelim, isFirst)));
    for (; pairs != 0; pairs &= pairs - 1) {
      int bit = __builtin_ctz(pairs);
      if (matchesAt(p + bit)) {
        auto delims = static_cast<unsigned>(_mm_movemask_epi8(isDelim));
        return count + laneSum(lanes) + Popcount16(delims & ((2u << bit) - 1));
      }
    }
    lanes = _mm_sub_epi8(lanes, isDelim);
    if (++rounds == 255) {
      count += laneSum(lanes);
      lanes = _mm_setzero_si128();
      rounds = 0;
    }
  }
  count += laneSum(lanes);
#endif
  for (; p < end; p++) {
    if (*p != delim)
      continue;
    count++;
    if (p[1] == first && matchesAt(p))
      return count;
  }
  // The last item of a list without a closing delimiter.
  return strcmp(strrchr(list, delim) + 1, word) == 0 ? count : 0;
}

int FindTokenScanWidth(int bytes)
{
#if defined(__x86_64__)
  if (bytes == 16 || bytes == 32 || bytes == 64)
    scanWidth = std::min(bytes, widestScan);
  return scanWidth;
#else
  (void)bytes;
  return 16;
#endif
}

int FindTokenC(const char *word, const char *list)
{
  if (word == nullptr || list == nullptr || *list == '\0')
    return 0;
  char delim = list[0];
  size_t len = strlen(word);
  // The same limit as FindToken, whose pattern also holds the closing
  // delimiter: both lookups find the same words.
  if (len > PATTERN_SIZE - 3)
    return 0;
  int count = 0;
  for (const char *p = list; *p != '\0'; p++) {
    if (*p != delim)
      continue;
    count++;
    // strncmp-like: a shorter rest of the list stops at its terminator,
    // which never equals a word character.
    if (strnlen(p + 1, len) == len && SameIgnoringCase(p + 1, word, len)) {
      char next = p[len + 1];
      if (next == delim || next == '\0')
        return count;
    }
  }
  return 0;
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
