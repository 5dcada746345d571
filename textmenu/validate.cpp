// Entry validation: the validation-format language of the menu entries and
// the smaller length-and-digits check of terminal entries.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "nls/NlsUtils.h"
#include "textmenu/TextMenu.h"
#include "textmenu/BoundedTextInternal.h"

// The range messages, fetched once by the first ValidateEntry with a format
// and kept for the life of the process.
char *pErrIntRange = nullptr;
char *pErrFloatRange = nullptr;
char *pErrLongRange = nullptr;

namespace {

// Character classes of the POSIX locale, whatever locale the program set.
bool IsDigit(char c)
{
  return c >= '0' && c <= '9';
}

bool IsLetter(char c)
{
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool InClass(char term, char c)
{
  switch (term) {
    case 'A': return IsLetter(c) || IsDigit(c);
    case 'a': return IsLetter(c);
    default: return c >= 0x20 && c <= 0x7e;
  }
}

// Texts of the validator that are not fetched.
constexpr char kInvalidDigit[] = "Invalid digit:  %c\n";
constexpr char kFloatRange[] = "This number must be between %f to %f.";
constexpr char kInvalidDecimal[] = "Invalid character '%c'\nThis text may contain \"0123456789.\"";

constexpr int kSetSize = 80;       // added or removed characters of a term
constexpr int kMatchedSize = 512;  // the entry text matched so far

// A fetched message, returned to the pool when it goes out of scope.
struct FetchedText {
  char *text;
  explicit FetchedText(char *t) : text(t) {}
  ~FetchedText() { PutMem(text); }
  FetchedText(const FetchedText &) = delete;
  FetchedText &operator=(const FetchedText &) = delete;
};

// An unsigned decimal bound at p; p moves past its digits. Saturates.
unsigned long ReadBound(const char *&p)
{
  unsigned long value = 0;
  for (; IsDigit(*p); p++)
    value = value > (~0UL - 9) / 10 ? ~0UL : value * 10 + unsigned(*p - '0');
  return value;
}

// Steps over one character unless the text has ended.
void StepOne(const char *&p)
{
  if (*p != '\0')
    p++;
}

// "min,max)" of the integer terms.
void ReadIntBounds(const char *&f, unsigned long &min, unsigned long &max)
{
  min = ReadBound(f);
  StepOne(f);
  max = ReadBound(f);
  StepOne(f);
}

// "+c" and "-c" pairs after a term.
void ReadSets(const char *&f, BoundedText<kSetSize> &added, BoundedText<kSetSize> &removed)
{
  while ((*f == '+' || *f == '-') && f[1] != '\0') {
    (*f == '+' ? added : removed).Add(f[1]);
    f += 2;
  }
}

// Past the next ')' of the format, or to its end.
void SkipParen(const char *&f)
{
  const char *close = strchr(f, ')');
  f = close != nullptr ? close + 1 : f + strlen(f);
}

// To the next '|' or '&' of the format, or its end.
void SkipToJoin(const char *&f)
{
  while (*f != '\0' && *f != '|' && *f != '&')
    f++;
}

bool IsTermLetter(char c)
{
  return c != '\0' && strchr("dxfDAapLt!", c) != nullptr;
}

// Shows the length message of set 30 for the bounds.
void ShowLengthMsg(unsigned long min, unsigned long max)
{
  if (min == max) {
    FetchedText msg(NlsFetchString(pDrvCoreDB, nullptr, NLS_BY_NUMBER, 30, 44));
    PostMsg(msg.text, int(min));
  } else {
    FetchedText msg(NlsFetchString(pDrvCoreDB, nullptr, NLS_BY_NUMBER, 30, 42));
    PostMsg(msg.text, int(min), int(max));
  }
}

void FetchRangeMessages()
{
  if (pErrIntRange != nullptr)
    return;
  pErrIntRange = NlsFetchString(pDrvCoreDB, nullptr, NLS_BY_NUMBER, 25, 1003);
  pErrFloatRange = NlsFetchString(pDrvCoreDB, nullptr, NLS_BY_NUMBER, 25, 1004);
  pErrLongRange = NlsFetchString(pDrvCoreDB, nullptr, NLS_BY_NUMBER, 25, 1024);
}

}  // namespace

int ValidateEntry(const char *entry, const char *format)
{
  if (format == nullptr)
    return VALID_OK;
  FetchRangeMessages();
  if (entry == nullptr)
    entry = "";
  const size_t entryLen = strlen(entry);
  const char *f = format;
  const char *e = entry;
  BoundedText<kMatchedSize> matched;

  // An alternative failure: true when a '|' follows, where evaluation starts
  // again from the start of the entry; false when the failure stands.
  auto alternative = [&] {
    SkipToJoin(f);
    if (*f != '|')
      return false;
    f++;
    e = entry;
    matched.Clear();
    return true;
  };
  // The digits a number term read are matched; the entry cursor passes them
  // and one more character.
  auto consume = [&](const char *end) {
    for (; e < end; e++)
      matched.Add(*e);
    StepOne(e);
  };

  for (;;) {
    char c = *f;
    if (c == '\0')
      return VALID_OK;
    if (c == ' ' || c == '\t' || c == '\n') {
      f++;
      continue;
    }
    if (c == '|')
      return VALID_OK;
    if (c == '&') {
      f++;
      e = entry;
      matched.Clear();
      continue;
    }
    if (!IsTermLetter(c) || f[1] != '(') {
      if (c == *e) {
        matched.Add(*e);
        f++;
        e++;
        continue;
      }
      char got = *e;
      if (alternative())
        continue;
      if (matched.len == 0)
        return VALID_CHARACTER;
      FetchedText msg(NlsFetchString(pDrvCoreDB, nullptr, NLS_BY_NUMBER, 25, 1010));
      PostMsg(msg.text, got, c, matched.text);
      return VALID_CHARACTER;
    }

    f += 2;  // the letter and '('
    BoundedText<kSetSize> added, removed;
    unsigned long min = 0, max = 0;
    switch (c) {
      case 'd': {
        ReadIntBounds(f, min, max);
        ReadSets(f, added, removed);
        char *end = nullptr;
        long long value = strtoll(e, &end, 10);  // no number: 0
        consume(end);
        for (const char *p = entry; *p != '\0'; p++) {
          if (!IsDigit(*p) || removed.Has(*p)) {
            PostMsg(kInvalidDigit, *p);
            return VALID_CHARACTER;
          }
        }
        if (max != 0 &&
            (value < static_cast<long long>(min) || value > static_cast<long long>(max))) {
          PostMsg(pErrIntRange, int(min), int(max));
          return VALID_RANGE;
        }
        SkipToJoin(f);
        break;
      }
      case 'x': {
        ReadIntBounds(f, min, max);
        char *end = nullptr;
        unsigned long long value = strtoull(e, &end, 16);  // no number: 0
        consume(end);
        if (max != 0 && (value < min || value > max)) {
          PostMsg(pErrFloatRange, unsigned(min), unsigned(max));
          return VALID_RANGE;
        }
        SkipToJoin(f);
        break;
      }
      case 'f': {
        int dots = 0;
        for (const char *p = e; *p != '\0'; p++) {
          if (*p == '.') {
            dots++;
          } else if (!IsDigit(*p)) {
            FetchedText msg(NlsFetchString(pDrvCoreDB, nullptr, NLS_BY_NUMBER, 25, 1006));
            PostMsg(msg.text, *p);
            return VALID_CHARACTER;
          }
        }
        if (dots > 1) {
          FetchedText msg(NlsFetchString(pDrvCoreDB, nullptr, NLS_BY_NUMBER, 25, 1020));
          PostMsg("%s", msg.text);
          return VALID_RANGE;
        }
        char *end = nullptr;
        float value = strtof(e, &end);
        consume(end);
        float fmin = 0, fmax = 0;
        sscanf(f, "%f,%f)", &fmin, &fmax);  // what is not read stays 0
        SkipParen(f);
        if (fmax != 0.0f && (value < fmin || value > fmax)) {
          PostMsg(kFloatRange, double(fmin), double(fmax));
          return VALID_RANGE;
        }
        break;
      }
      case 'D': {
        char *end = nullptr;
        long double value = strtold(e, &end);
        consume(end);
        long double lmin = 0, lmax = 0;
        sscanf(f, "%Lg,%Lg ", &lmin, &lmax);
        SkipParen(f);
        ReadSets(f, added, removed);
        for (const char *p = entry; *p != '\0'; p++) {
          if ((*p != '.' && !IsDigit(*p)) || removed.Has(*p)) {
            PostMsg(kInvalidDecimal, *p);
            return VALID_CHARACTER;
          }
        }
        if (lmax != 0 && (value < lmin || value > lmax)) {
          PostMsg(pErrLongRange, lmin, lmax);
          return VALID_RANGE;
        }
        break;
      }
      case 'A':
      case 'a':
      case 'p':
      case 'L':
      case 't': {
        ReadIntBounds(f, min, max);
        if (c == 'A' || c == 'a' || c == 'p') {
          ReadSets(f, added, removed);
          bool failed = false;
          for (; *e != '\0'; e++) {
            if (!InClass(c, *e) && !added.Has(*e)) {
              failed = true;
              break;
            }
            matched.Add(*e);
          }
          if (failed) {
            char bad = *e;
            if (alternative())
              continue;
            FetchedText msg(c == 'a'
                                ? NlsFetchString(pDrvCoreDB, nullptr, NLS_BY_NUMBER, 25, 1008)
                                : NlsFetchString(pDrvCoreDB, nullptr, NLS_BY_NUMBER, 25, 1007));
            PostMsg(msg.text, bad, added.text);
            return VALID_CHARACTER;
          }
        }
        if (max != 0 && (entryLen < min || entryLen > max)) {
          if (alternative())
            continue;
          ShowLengthMsg(min, max);
          return VALID_LENGTH;
        }
        break;
      }
      case '!': {
        const char *close = strchr(f, ')');
        std::string_view word(f, close != nullptr ? size_t(close - f) : strlen(f));
        if (word == entry) {
          FetchedText msg(NlsFetchString(pDrvCoreDB, nullptr, NLS_BY_NUMBER, 25, 1009));
          PostMsg(msg.text, entry);
          return VALID_FORBIDDEN;
        }
        return VALID_OK;
      }
    }
  }
}

int getMinMax(const char *range, int *min)
{
  int lo = 0;
  int hi = 0;
  if (range != nullptr) {
    const char *p = range;
    if (*p != '\0' && !IsDigit(*p))
      p++;
    lo = atoi(p);
    while (IsDigit(*p) || *p == '-' || *p == '+')
      p++;
    StepOne(p);
    hi = atoi(p);
  }
  if (min != nullptr)
    *min = lo;
  return hi;
}

char *ValidateEntryLen(const char *entry, const char *range)
{
  long len = entry != nullptr ? long(strlen(entry)) : 0;
  int min = 4;
  int max = range != nullptr ? getMinMax(range, &min) : 4;
  if (min <= len && len <= max)
    return nullptr;
  if (min == max)
    Nlssnprintf(NlsBuf, sizeof NlsBuf, pDrvCoreDB, 30, 44, min);
  else
    Nlssnprintf(NlsBuf, sizeof NlsBuf, pDrvCoreDB, 30, 42, min, max);
  return NlsBuf;
}

int ValidateEntryDigit(const char *entry)
{
  if (entry == nullptr)
    return 0;
  for (const char *p = entry; *p != '\0'; p++)
    if (!IsDigit(*p))
      return static_cast<unsigned char>(*p);
  return 0;
}

int ValidateEntryTty(const char *entry, const char *range)
{
  if (const char *msg = ValidateEntryLen(entry, range); msg != nullptr) {
    PostMsg("%s", msg);
    return VALID_LENGTH;
  }
  if (int c = ValidateEntryDigit(entry); c != 0) {
    PostMsg(kInvalidDigit, c);
    return VALID_CHARACTER;
  }
  return VALID_OK;
}

bool TestName(const char *text)
{
  if (text == nullptr)
    return true;
  for (const char *p = text; *p != '\0'; p++) {
    char c = *p;
    if (IsLetter(c) || IsDigit(c) || c == '_' || c == '-')
      continue;
    FetchedText bad(NlsFetchString(pDrvCoreDB, nullptr, NLS_BY_NUMBER, 25, 1002));
    printf(bad.text, c);
    FetchedText press(NlsFetchString(pDrvCoreDB, nullptr, NLS_BY_NUMBER, 25, 1000));
    fputs(press.text, stdout);
    fflush(stdout);
    Gets(LineBuf, sizeof LineBuf);
    return false;
  }
  return true;
}
