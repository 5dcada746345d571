// Saved strings, path splitters and the small string searches every module
// uses. The splitters hand back static buffers; everything else works on the
// caller's text or allocates from the pool.
#include <cstdarg>
#include <cstring>
#include <string_view>

#include "utils/utils.h"

namespace {

// Result buffers of the path splitters, each overwritten by its next call.
char bufStripExt[128];
char bufStripPathName[128];
char bufStripPath[128];
char bufStripPathExt[128];
char bufStripFn[256];

// Copies text into a splitter buffer, cut to fit, and returns the buffer.
template <size_t N>
char *CopyOut(char (&buf)[N], std::string_view text)
{
  size_t n = text.size() < N - 1 ? text.size() : N - 1;
  memcpy(buf, text.data(), n);
  buf[n] = '\0';
  return buf;
}

// Formats the conversions that most saved strings are made of (%s with a
// text, %d, %%) without the C library's general machinery; false for any
// other conversion, a null text or a result that does not fit, so that
// vsnprintf does the job instead. The result is the same either way.
bool QuickFormat(char *out, size_t size, size_t &len, const char *fmt, va_list args)
{
  size_t n = 0;
  auto append = [&](const char *text, size_t count) {
    if (count >= size - n)
      return false;
    memcpy(out + n, text, count);
    n += count;
    return true;
  };
  for (const char *f = fmt;;) {
    const char *pct = strchrnul(f, '%');
    if (!append(f, static_cast<size_t>(pct - f)))
      return false;
    if (*pct == '\0')
      break;
    switch (pct[1]) {
      case 's': {
        const char *text = va_arg(args, const char *);
        if (text == nullptr || !append(text, strlen(text)))
          return false;
        break;
      }
      case 'd': {
        int value = va_arg(args, int);
        char digits[16];
        char *d = digits + sizeof digits;
        unsigned magnitude =
            value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
        do
          *--d = static_cast<char>('0' + magnitude % 10);
        while ((magnitude /= 10) != 0);
        if (value < 0)
          *--d = '-';
        if (!append(d, static_cast<size_t>(digits + sizeof digits - d)))
          return false;
        break;
      }
      case '%':
        if (!append("%", 1))
          return false;
        break;
      default: return false;
    }
    f = pct + 2;
  }
  out[n] = '\0';
  len = n;
  return true;
}

// Formats into an exact-size pool block. Short texts are formatted once into
// a stack buffer; a longer one is formatted again straight into its block, so
// no text is ever cut.
char *SaveFormatted(const char *fmt, va_list args)
{
  char work[8192];
  size_t quickLen = 0;
  va_list quick;
  va_copy(quick, args);
  bool done = QuickFormat(work, sizeof work, quickLen, fmt, quick);
  va_end(quick);
  if (done)
    return SaveStrN(work, quickLen);
  va_list again;
  va_copy(again, args);
  int len = vsnprintf(work, sizeof work, fmt, args);
  if (len < 0) {  // an encoding error leaves nothing to keep
    va_end(again);
    return SaveStrN("", 0);
  }
  if (static_cast<size_t>(len) < sizeof work) {
    va_end(again);
    return SaveStrN(work, static_cast<size_t>(len));
  }
  auto *copy = static_cast<char *>(GetMemOrDie(static_cast<size_t>(len) + 1));
  vsnprintf(copy, static_cast<size_t>(len) + 1, fmt, again);
  va_end(again);
  return copy;
}

// The last "/"-separated segment of path, runs of slashes counting as one;
// the whole path when it has no segment (empty, or slashes only).
std::string_view LastComponent(std::string_view path)
{
  size_t end = path.find_last_not_of('/');
  if (end == std::string_view::npos)
    return path;
  size_t start = path.find_last_of('/', end);
  start = start == std::string_view::npos ? 0 : start + 1;
  return path.substr(start, end + 1 - start);
}

// Cut at the first dot that follows a non-dot character.
std::string_view CutExtension(std::string_view path)
{
  for (size_t i = 1; i < path.size(); i++)
    if (path[i] == '.' && path[i - 1] != '.')
      return path.substr(0, i);
  return path;
}

// Directory part: everything before the last slash, "/" when that slash is
// the first character, "." for an empty path or one without a slash.
std::string_view DirPart(std::string_view path)
{
  size_t slash = path.find_last_of('/');
  if (path.empty() || slash == std::string_view::npos)
    return ".";
  return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

bool IsSpace(unsigned char c)
{
  return c == ' ' || (c >= '\t' && c <= '\r');
}

unsigned char Upper(unsigned char c)
{
  return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

}  // namespace

// ---- Saved strings ----------------------------------------------------------

char *SaveStr(const char *fmt, ...)
{
  if (fmt == nullptr)  // a caller's slip; an empty text beats a crash
    return SaveStrN("", 0);
  va_list args;
  va_start(args, fmt);
  char *copy = SaveFormatted(fmt, args);
  va_end(args);
  return copy;
}

char *SaveStr__(const char *fmt, ...)
{
  if (fmt == nullptr)
    return nullptr;
  va_list args;
  va_start(args, fmt);
  char *copy = SaveFormatted(fmt, args);
  va_end(args);
  return copy;
}

void *GetMemOrDie(size_t n)
{
  void *p = GetMem(n);
  if (p == nullptr)
    SysError("%s", common_109);
  return p;
}

void *AdjustMemOrDie(void *p, size_t n)
{
  void *q = AdjustMem(p, n);
  if (q == nullptr)
    SysError("%s", common_109);
  return q;
}

char *SaveStrN(const char *text, size_t len)
{
  auto *copy = static_cast<char *>(GetMemOrDie(len + 1));
  memcpy(copy, text, len);
  copy[len] = '\0';
  return copy;
}

char *SaveStr_(const char *text)
{
  if (text == nullptr)
    return SaveStrN("", 0);
  return SaveStrN(text, strlen(text));
}

// ---- Path splitters ---------------------------------------------------------

char *StripPath(const char *path)
{
  if (path == nullptr)
    return CopyOut(bufStripPath, "");
  return CopyOut(bufStripPath, LastComponent(path));
}

char *StripFn(const char *path)
{
  return CopyOut(bufStripFn, DirPart(path == nullptr ? "" : path));
}

char *StripExt(const char *path)
{
  if (path == nullptr)
    return CopyOut(bufStripExt, "");
  return CopyOut(bufStripExt, CutExtension(path));
}

char *StripPathExt(const char *path)
{
  if (path == nullptr)
    return CopyOut(bufStripPathExt, "");
  return CopyOut(bufStripPathExt, CutExtension(LastComponent(path)));
}

char *StripPathName(const char *path)
{
  if (path == nullptr || FindToken(path, ";.;..;") != 0)
    return CopyOut(bufStripPathName, "");
  std::string_view whole(path);
  // The first component ends at the first slash behind a non-slash.
  size_t slash = std::string_view::npos;
  for (size_t i = 1; i < whole.size(); i++)
    if (whole[i] == '/' && whole[i - 1] != '/') {
      slash = i;
      break;
    }
  if (slash == std::string_view::npos)
    return CopyOut(bufStripPathName, whole);
  std::string_view result = whole.substr(0, slash);
  std::string_view rest = whole.substr(slash + 1);
  // Walk the dot-separated segments of the rest; a segment whose second
  // character is a slash ends the walk before it.
  size_t pos = 0;
  while (pos < rest.size()) {
    if (rest[pos] == '.') {
      pos++;
      continue;
    }
    size_t end = rest.find('.', pos);
    if (end == std::string_view::npos)
      end = rest.size();
    std::string_view segment = rest.substr(pos, end - pos);
    if (segment.size() > 1 && segment[1] == '/')
      break;
    result = segment;
    pos = end;
  }
  return CopyOut(bufStripPathName, result);
}

char *FindExistingPath(const char *path, int *flag)
{
  // Own buffers rather than StripFn/StripPath, so that a path longer than
  // their results is still walked up exactly.
  char buffer[4096];
  char dir[4096];
  char name[4096];
  std::string_view cur = CopyOut(buffer, path == nullptr ? "" : path);
  for (;;) {
    CopyOut(dir, DirPart(cur));
    CopyOut(name, LastComponent(cur));
    if (FindFile(dir, name))
      break;
    std::string_view up = DirPart(cur);
    if (up == cur)  // "/" or "." that cannot be listed: nothing above
      break;
    cur = CopyOut(buffer, std::string_view(dir));
  }
  if (path != nullptr && cur == path && flag != nullptr)
    *flag = 1;
  return SaveStrN(cur.data(), cur.size());
}

// ---- Searches ---------------------------------------------------------------

size_t StrLen(const char *text)
{
  return strlen(text);
}

char *StrChr(const char *text, int c)
{
  char want = static_cast<char>(c);
  if (want == '\0')
    return nullptr;
  for (const char *p = text; *p != '\0'; p++) {
    if (*p == '\\') {
      if (*++p == '\0')
        break;
      continue;
    }
    if (*p == want)
      return const_cast<char *>(p);
  }
  return nullptr;
}

char *StrNChr(const char *text, int c, int n)
{
  char want = static_cast<char>(c);
  if (text == nullptr || n < 1 || want == '\0')
    return nullptr;
  for (const char *p = text; *p != '\0'; p++)
    if (*p == want && --n == 0)
      return const_cast<char *>(p);
  return nullptr;
}

char *StrStr(const char *text, const char *pattern)
{
  if (text == nullptr || pattern == nullptr || *pattern == '\0')
    return nullptr;
  return const_cast<char *>(strstr(text, pattern));
}

char *StrNStr(const char *text, const char *pattern, int n)
{
  if (text == nullptr || *text == '\0' || n < 1)
    return nullptr;
  char *hit = StrStr(text, pattern);
  while (hit != nullptr && --n > 0)
    hit = StrStr(hit + 1, pattern);
  return hit;
}

char *StrCaseStr(const char *text, const char *pattern)
{
  if (text == nullptr || pattern == nullptr || *pattern == '\0')
    return nullptr;
  for (const char *start = text; *start != '\0'; start++) {
    const auto *t = reinterpret_cast<const unsigned char *>(start);
    const auto *p = reinterpret_cast<const unsigned char *>(pattern);
    while (*p != '\0' && Upper(*t) == Upper(*p)) {
      t++;
      p++;
    }
    if (*p == '\0')
      return const_cast<char *>(start);
    if (*t == '\0')  // the rest of the text is shorter than the pattern
      return nullptr;
  }
  return nullptr;
}

char *SkipSpace(const char *text)
{
  if (text == nullptr)
    return nullptr;
  while (IsSpace(static_cast<unsigned char>(*text)))
    text++;
  return const_cast<char *>(text);
}

// ---- Changing texts ---------------------------------------------------------

char *StripAllBackslashes(char *text)
{
  if (text == nullptr)
    return nullptr;
  char *out = text;
  for (const char *p = text; *p != '\0'; p++)
    if (*p != '\\')
      *out++ = *p;
  *out = '\0';
  return text;
}

char *StripNonPrint(char *text, int keepLineEnds)
{
  if (text == nullptr)
    return nullptr;
  char *out = text;
  for (const char *p = text; *p != '\0'; p++) {
    auto c = static_cast<unsigned char>(*p);
    bool printable = c >= 0x20 && c < 0x7f;
    if (printable || (keepLineEnds && (c == '\n' || c == '\r')))
      *out++ = *p;
  }
  *out = '\0';
  return text;
}

void SetVarContent(void *dst, const void *src, size_t len, int reverse)
{
  auto *d = static_cast<unsigned char *>(dst);
  const auto *s = static_cast<const unsigned char *>(src);
  if (!reverse) {
    memmove(d, s, len);
    return;
  }
  // Through a copy of the source, so that converting a field in place
  // (dst == src) reverses it instead of mirroring its first half.
  unsigned char small[16];
  unsigned char *tmp = len <= sizeof small ? small : static_cast<unsigned char *>(GetMemOrDie(len));
  memcpy(tmp, s, len);
  for (size_t i = 0; i < len; i++)
    d[i] = tmp[len - 1 - i];
  if (tmp != small)
    PutMem(tmp);
}

float CvtFloatFormat(float value, int from, int to)
{
  if (from < 0 || from > 2 || to < 0 || to > 2)
    return value;
  double v = value;
  switch (from * 3 + to) {
    case 1 * 3 + 0: return static_cast<float>(v / 2.54);
    case 2 * 3 + 0: return static_cast<float>(v / 72);
    case 0 * 3 + 1: return static_cast<float>(v * 2.54);
    case 2 * 3 + 1: return static_cast<float>(v / 72 * 2.54);
    case 0 * 3 + 2: return static_cast<float>(v * 72);
    case 1 * 3 + 2: return static_cast<float>(v / 2.54 * 72);
    default: return value;
  }
}

double MaxD(double a, double b)
{
  return a > b ? a : b;
}
