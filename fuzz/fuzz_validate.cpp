// Entry validation over arbitrary entries and validation formats. Input:
// the entry, a zero byte, the format. Problems are shown on standard output
// (sent to /dev/null) and "wait" for a line of standard input (at its end).
//
// Checked beyond the sanitizers: every result is one of the VALID_* codes,
// and the digit check names the first character that is not a digit.
#include <cstring>

#include "fuzz/FuzzUtil.h"
#include "textmenu/TextMenu.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  static bool quiet = [] {
    return freopen("/dev/null", "w", stdout) && freopen("/dev/null", "r", stdin);
  }();
  FUZZ_CHECK(quiet);
  std::vector<std::string> f = FuzzFields(data, size, 2);
  const std::string &entry = f[0], &format = f[1];
  int r = ValidateEntry(entry.c_str(), format.c_str());
  FUZZ_CHECK(r >= VALID_OK && r <= VALID_FORBIDDEN);
  r = ValidateEntryTty(entry.c_str(), format.c_str());
  FUZZ_CHECK(r == VALID_OK || r == VALID_LENGTH || r == VALID_CHARACTER);
  if (char *why = ValidateEntryLen(entry.c_str(), format.c_str()))
    FUZZ_CHECK(strnlen(why, 4096) < 4096);
  size_t bad = entry.find_first_not_of("0123456789");
  FUZZ_CHECK(ValidateEntryDigit(entry.c_str()) ==
             (bad == std::string::npos ? 0 : static_cast<unsigned char>(entry[bad])));
  int min = -1;
  getMinMax(format.c_str(), &min);
  return 0;
}
