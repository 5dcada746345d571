// The translation table reader over arbitrary trans.conf files: the input
// is the file, read by ParseTransFile from pToolPath.
//
// Checked beyond the sanitizers: the table keeps its bound and its normal
// form (words each followed by one blank, a line end only behind a blank,
// no tab, carriage return or comment left), and every word of it is a word
// of the file.
#include <cstring>

#include "fuzz/FuzzUtil.h"
#include "nls/NlsUtils.h"
#include "dbm/Dbm.h"
#include "utils/utils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  static const std::string dir = [] {
    pToolPath = strdup(FuzzDir().c_str());
    return FuzzDir();
  }();
  std::string file(reinterpret_cast<const char *>(data), size);
  FuzzWriteFile(dir + "/trans.conf", data, size);
  char *table = ParseTransFile("trans.conf");
  if (!table) {
    FUZZ_CHECK(size == 0);
    return 0;
  }
  std::string t = table;
  PutMem(table);
  FUZZ_CHECK(t.size() <= static_cast<size_t>(NLS_TRANS_MAX));
  for (size_t i = 0; i < t.size(); i++) {
    FUZZ_CHECK(t[i] != '\t' && t[i] != '\r');
    if (t[i] == '\n')
      FUZZ_CHECK(i > 0 && t[i - 1] == ' ');
    if (t[i] == ' ')
      FUZZ_CHECK(i > 0 && t[i - 1] != ' ' && t[i - 1] != '\n');
  }
  FUZZ_CHECK(t.empty() || t.back() == ' ' || t.back() == '\n');
  // Every word comes from the file.
  for (size_t i = 0; i < t.size();) {
    size_t end = t.find_first_of(" \n", i);
    std::string word = t.substr(i, end - i);
    if (!word.empty()) {
      FUZZ_CHECK(word[0] != '#');
      FUZZ_CHECK(file.find(word) != std::string::npos);
    }
    i = end + 1;
  }
  return 0;
}
