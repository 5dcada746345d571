// The tokenizer and the keyword-list lookups over arbitrary texts, lists
// and delimiter sets. Input: delimiters, text, word and list, separated by
// zero bytes; the first byte of the list part also picks a slot count and a
// delimiter character for the splitters that take one.
//
// Besides the sanitizers, the scanners are held to each other and to plain
// models of their rules: GetToken, GetTokenD and GetTokenCount agree, the
// in-place scanners agree with the copying one on texts without escapes,
// every scan width of FindToken agrees with a strstr model, and SortTokens
// keeps the items of its list.
#include <algorithm>
#include <cstring>
#include <strings.h>

#include "fuzz/FuzzUtil.h"
#include "utils/utils.h"

namespace {

// FindToken as a pattern search: delimiter + word + delimiter, else a last
// item equal to the word; the position counts the delimiters up to it.
int ModelFindToken(const std::string &word, const std::string &list)
{
  if (list.empty() || word.size() > 509)
    return 0;
  char d = list[0];
  size_t at = list.find(std::string(1, d) + word + d);
  if (at == std::string::npos) {
    size_t last = list.rfind(d);
    if (list.compare(last + 1, std::string::npos, word) != 0)
      return 0;
    at = last;
  }
  return static_cast<int>(std::count(list.begin(), list.begin() + at + 1, d));
}

int ModelFindTokenC(const std::string &word, const std::string &list)
{
  if (list.empty() || word.size() > 509)
    return 0;
  char d = list[0];
  int count = 0;
  for (size_t i = 0; i < list.size(); i++) {
    if (list[i] != d)
      continue;
    count++;
    size_t end = i + 1 + word.size();
    if (end <= list.size() && strncasecmp(list.c_str() + i + 1, word.c_str(), word.size()) == 0 &&
        (end == list.size() || list[end] == d))
      return count;
  }
  return 0;
}

int ModelFindTokenWithDelim(const std::string &list, const std::string &word, char delim)
{
  int position = 1;
  for (size_t start = 0;; position++) {
    size_t end = delim ? list.find(delim, start) : std::string::npos;
    if (end == std::string::npos)
      end = list.size();
    if (list.compare(start, end - start, word) == 0)
      return position;
    if (end == list.size())
      return 0;
    start = end + 1;
  }
}

// The items of a list as SortTokens sees them: split at delimiters that no
// backslash escapes. Empty items are left out: the sort may move them to
// the front, where they read as leading delimiters.
std::vector<std::string> SortItems(const std::string &list, char delim)
{
  size_t i = 0;
  while (i < list.size() && list[i] == delim)
    i++;
  std::vector<std::string> items;
  std::string item;
  bool open = false;
  for (; i < list.size(); i++) {
    open = true;
    if (list[i] == '\\') {
      if (i + 1 < list.size()) {  // a lone one at the end is dropped
        item += list[i];
        item += list[++i];
      }
      continue;
    }
    if (list[i] == delim) {
      if (!item.empty())
        items.push_back(item);
      item.clear();
      open = false;
      continue;
    }
    item += list[i];
  }
  if (open && !item.empty())
    items.push_back(item);
  std::sort(items.begin(), items.end());
  return items;
}

// Every token of text by GetToken, checking what each call promises.
std::vector<std::string> CopiedTokens(const std::string &text, const char *delims, size_t small)
{
  std::vector<std::string> tokens;
  const char *begin = text.c_str();
  const char *cursor = begin;
  const char *smallCursor = begin;
  char out[TOKENBUF_SIZE];
  std::vector<char> cut(small);  // a caller's buffer too small for some tokens
  for (char *t = GetToken(begin, delims); t; t = GetToken(nullptr, delims)) {
    FUZZ_CHECK(t == GetTokenBuf && *t != '\0' && strlen(t) < TOKENBUF_SIZE);
    FUZZ_CHECK(chTokenDel == 0 || strchr(delims, chTokenDel));
    FUZZ_CHECK(szTokenIn >= begin && szTokenIn <= begin + text.size());
    // The private scanner finds the same token and stops at the same place.
    char *d = GetTokenD(tokens.empty() ? begin : nullptr, delims, &cursor, out, sizeof out);
    FUZZ_CHECK(d == out && strcmp(d, t) == 0 && cursor == szTokenIn);
    char *c = GetTokenD(tokens.empty() ? begin : nullptr, delims, &smallCursor, cut.data(), small);
    FUZZ_CHECK(c == cut.data() && smallCursor == cursor && strlen(c) < small);
    FUZZ_CHECK(strncmp(c, t, small - 1) == 0);
    tokens.emplace_back(t);
    FUZZ_CHECK(tokens.size() <= text.size());
  }
  FUZZ_CHECK(!GetTokenD(tokens.empty() ? begin : nullptr, delims, &cursor, out, sizeof out));
  return tokens;
}

void FuzzScanners(const std::string &text, const std::string &delimSet, int slots)
{
  const char *delims = delimSet.c_str();
  std::vector<std::string> tokens = CopiedTokens(text, delims, static_cast<size_t>(slots) + 1);
  FUZZ_CHECK(GetTokenCount(text.c_str(), delims) == static_cast<int>(tokens.size()));
  for (int n : {0, 1, 2, static_cast<int>(tokens.size()), static_cast<int>(tokens.size()) + 1}) {
    char *t = GetTokenN(text.c_str(), delims, n);
    size_t want = static_cast<size_t>(std::max(n, 1)) - 1;
    FUZZ_CHECK(want < tokens.size() ? t && tokens[want] == t : !t);
  }

  // Line-bounded mode: every call moves on or ends the scan.
  SetTokenBuf(text.c_str());
  const char *before = GetTokenBufInput();
  for (size_t calls = 0;; calls++) {
    FUZZ_CHECK(calls <= text.size() + 1);
    char *t = GetToken(TOKEN_LINE_MODE, delims);
    const char *after = GetTokenBufInput();
    if (!t && after == before)
      break;
    FUZZ_CHECK(after > before && after <= text.c_str() + text.size());
    before = after;
  }

  // The in-place scanners agree with the copying one where no escape or
  // overlong token tells them apart.
  bool plain = text.find('\\') == std::string::npos &&
               std::all_of(tokens.begin(), tokens.end(),
                           [](const std::string &t) { return t.size() < TOKENBUF_SIZE - 1; });
  std::vector<char> copy(text.begin(), text.end());
  copy.push_back('\0');
  std::vector<std::string> parsed;
  for (char *t = GetTokenParse(copy.data(), delims); t; t = GetTokenParse(nullptr, delims)) {
    FUZZ_CHECK(t >= copy.data() && t + strlen(t) < copy.data() + copy.size());
    parsed.emplace_back(t);
    FUZZ_CHECK(parsed.size() <= text.size());
  }
  if (plain)
    FUZZ_CHECK(parsed == tokens);

  std::vector<char> split(text.begin(), text.end());
  split.push_back('\0');
  std::vector<char *> slot(static_cast<size_t>(slots) + 1);
  int n = ParseStr(split.data(), delims, slot.data(), slots);
  FUZZ_CHECK(n >= 0 && n <= slots && !slot[static_cast<size_t>(slots)]);
  for (int i = 0; i < n; i++) {
    FUZZ_CHECK(slot[i] >= split.data() && slot[i] < split.data() + split.size() - 1);
    if (plain)
      FUZZ_CHECK(static_cast<size_t>(i) < tokens.size() && tokens[i] == slot[i]);
  }
  if (plain)
    FUZZ_CHECK(static_cast<size_t>(n) == std::min(tokens.size(), static_cast<size_t>(slots)));
}

void FuzzLookups(const std::string &word, const std::string &list, char delim)
{
  // Lists live in memory of their own size, so reading past them shows.
  std::vector<char> own(list.begin(), list.end());
  own.push_back('\0');
  int want = ModelFindToken(word, list);
  FUZZ_CHECK(FindToken(word.c_str(), own.data()) == want);
  // Every item is found at its first place.
  if (!list.empty()) {
    size_t from = 1;
    for (int items = 0; from <= list.size() && items < 16; items++) {
      size_t end = list.find(list[0], from);
      std::string item = list.substr(from, end == std::string::npos ? end : end - from);
      FUZZ_CHECK(FindToken(item.c_str(), own.data()) == ModelFindToken(item, list));
      if (end == std::string::npos)
        break;
      from = end + 1;
    }
  }
  FUZZ_CHECK(FindTokenC(word.c_str(), own.data()) == ModelFindTokenC(word, list));
  FUZZ_CHECK(FindTokenWithDelim(own.data(), word.c_str(), delim) ==
             ModelFindTokenWithDelim(list, word, delim));

  // Room for the one delimiter the sort may add, and no more.
  std::vector<char> sorted(own);
  sorted.push_back('\0');
  SortTokens(sorted.data(), delim, list.size() % 2);
  std::string result(sorted.data());
  FUZZ_CHECK(result.size() <= list.size() + 1);
  if (delim != '\0' && delim != '\\')
    FUZZ_CHECK(SortItems(result, delim) == SortItems(list, delim));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  std::vector<std::string> f = FuzzFields(data, size, 4);
  const std::string &list = f[3];
  int slots = list.empty() ? 2 : static_cast<unsigned char>(list[0]) % 8;
  char delim = list.size() > 1 ? list[1] : ',';
  FuzzScanners(f[1], f[0], slots);
  FuzzLookups(f[2], list, delim);
  return 0;
}
