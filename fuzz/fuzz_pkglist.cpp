// The package-list reader and its safety check, parsing only: the input is
// a pkg.list, read and checked by CheckPkgList, which carries nothing out.
//
// Checked beyond the sanitizers: a refusal always says why; a list that is
// accepted still refuses a dangerous line added at its end (the check sees
// every line); the word check and the release condition agree with plain
// models of their rules on the words of the input.
#include <cstring>

#include "fuzz/FuzzUtil.h"
#include "installer/setup.h"

namespace {

bool ModelShellSafe(const std::string &word)
{
  if (word.empty())
    return false;
  for (unsigned char c : word)
    if (!isalnum(c) && c < 0x80 && !strchr("/._-+,:@%=", c))
      return false;
  return true;
}

bool ModelReleaseHolds(const std::string &release, const std::string &opWord,
                       const std::string &version)
{
  std::string op = opWord.c_str();
  int order = strcmp(release.c_str(), version.c_str());
  if (op == "<")
    return order < 0;
  if (op == "<=")
    return order <= 0;
  if (op == "=")
    return order == 0;
  if (op == ">")
    return order > 0;
  if (op == ">=")
    return order >= 0;
  return false;
}

int Check(const std::string &path, const char **reason)
{
  int lines = CheckPkgList(path.c_str(), reason);
  FUZZ_CHECK(lines >= -1);
  if (lines < 0)
    FUZZ_CHECK(*reason && **reason);
  else
    FUZZ_CHECK(!*reason);
  FUZZ_CHECK(!pIn);
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  static const std::string path = FuzzDir() + "/pkg.list";
  std::string list(reinterpret_cast<const char *>(data), size);
  FuzzWriteFile(path, data, size);
  const char *reason = nullptr;
  if (Check(path, &reason) >= 0) {
    std::string longer = list + "\n\nc evil;rm\n";
    FuzzWriteFile(path, longer.data(), longer.size());
    FUZZ_CHECK(Check(path, &reason) == -1 && strstr(reason, "evil;rm"));
  }

  // The words of the input, as blanks and line ends separate them.
  std::vector<std::string> words;
  for (size_t i = 0; i < list.size() && words.size() < 64;) {
    size_t end = list.find_first_of(" \r\n", i);
    if (end == std::string::npos)
      end = list.size();
    if (end > i)
      words.push_back(list.substr(i, end - i));
    i = end + 1;
  }
  for (size_t i = 0; i < words.size(); i++) {
    const std::string &w = words[i];
    if (w.find('\0') == std::string::npos)
      FUZZ_CHECK(IsShellSafeWord(w.c_str()) == ModelShellSafe(w));
    // An operator holding the list's comma is looked up as items of its own.
    if (i + 2 < words.size() && words[i + 1].find(',') == std::string::npos)
      FUZZ_CHECK(ReleaseConditionHolds(w.c_str(), words[i + 1].c_str(), words[i + 2].c_str()) ==
                 ModelReleaseHolds(w, words[i + 1], words[i + 2]));
  }
  return 0;
}
