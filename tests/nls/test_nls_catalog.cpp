// The toolkit's message catalogs: their sources (nls/catalog) against each
// other and against the fetches in the toolkit's code, and the databases the
// build made from them, read back through the language choice.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/ChildProcess.h"
#include "memmgr/MemMgr.h"
#include "nls/NlsUtils.h"
#include "utils/utils.h"

namespace fs = std::filesystem;

namespace {

using Catalog = std::map<std::string, std::string>;

const std::string kSource = NORVO_SOURCE_DIR;
const std::string kShare = std::string(NORVO_BINARY_DIR) + "/share/norvo";

std::string ReadText(const fs::path &path)
{
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The escapes ndbtool reads: \n \r \t \\ \xHH.
std::string Unescape(const std::string &in)
{
  std::string out;
  for (size_t i = 0; i < in.size(); i++) {
    if (in[i] != '\\' || i + 1 == in.size()) {
      out += in[i];
      continue;
    }
    char c = in[++i];
    if (c == 'n')
      out += '\n';
    else if (c == 'r')
      out += '\r';
    else if (c == 't')
      out += '\t';
    else if (c == 'x' && i + 2 < in.size()) {
      out += static_cast<char>(std::stoi(in.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else
      out += c;
  }
  return out;
}

Catalog ReadCatalog(const std::string &lang)
{
  Catalog cat;
  std::istringstream in(ReadText(kSource + "/nls/catalog/" + lang + ".txt"));
  std::string line;
  for (int n = 1; std::getline(in, line); n++) {
    if (line.empty() || line[0] == '#')
      continue;
    size_t tab = line.find('\t');
    EXPECT_NE(tab, std::string::npos) << lang << ":" << n;
    if (tab == std::string::npos)
      continue;
    std::string key = line.substr(0, tab);
    EXPECT_TRUE(std::regex_match(key, std::regex(R"(\d+_\d+)"))) << lang << ":" << n;
    EXPECT_TRUE(cat.emplace(key, Unescape(line.substr(tab + 1))).second)
        << lang << ":" << n << ": " << key << " twice";
  }
  return cat;
}

std::vector<std::string> Languages()
{
  std::vector<std::string> langs;
  for (auto &e : fs::directory_iterator(kSource + "/nls/catalog"))
    if (e.path().extension() == ".txt")
      langs.push_back(e.path().stem());
  std::sort(langs.begin(), langs.end());
  return langs;
}

// The printf conversions of a text in order, "%%" left out.
std::vector<std::string> Conversions(const std::string &text)
{
  static const std::regex conv(
      R"(%(?:%|[-+ #0']*(?:\d+|\*)?(?:\.(?:\d+|\*))?(?:hh|h|ll|l|L|q|j|z|t)?[diouxXeEfFgGaAcspn]))");
  std::vector<std::string> out;
  for (std::sregex_iterator m(text.begin(), text.end(), conv), end; m != end; ++m)
    if (m->str() != "%%")
      out.push_back(m->str());
  return out;
}

// The keys the code fetches, in the forms NlsUtils.h documents.
std::set<std::string> FetchedKeys(const std::string &code, std::vector<std::string> *unresolved)
{
  static const std::map<std::string, int> kSets = {
      {"NLS_SET_HELP", NLS_SET_HELP},
      {"NLS_SET_MENU", NLS_SET_MENU},
      {"NLS_SET_FORM", NLS_SET_FORM},
      {"NLS_SET_TRANS", NLS_SET_TRANS},
  };
  std::set<std::string> keys;
  auto add = [&](const std::string &set, const std::string &number) {
    auto known = kSets.find(set);
    if (known != kSets.end())
      keys.insert(std::to_string(known->second) + "_" + number);
    else if (std::regex_match(set, std::regex(R"(\d+)")))
      keys.insert(set + "_" + number);
    else
      unresolved->push_back(set + "_" + number);
  };
  struct Form {
    std::regex re;
    int set, number, count;  // sub-match numbers; set 0: set 25; count 0: one
  };
  static const std::vector<Form> kForms = {
      {std::regex(
           R"(NlsFetchString\s*\([^,;]*,[^,;]*,\s*(?:NLS_BY_NUMBER(?:_LONG)?|0|3)\s*,\s*(\w+)\s*,\s*(\d+)\s*\))"),
       1, 2, 0},
      {std::regex(R"(Nls[fs]printf\s*\([^,;]*,[^,;]*,\s*(\w+)\s*,\s*(\d+)\s*[,)])"), 1, 2, 0},
      {std::regex(R"(Nlssnprintf\s*\([^,;]*,[^,;]*,[^,;]*,\s*(\w+)\s*,\s*(\d+)\s*[,)])"), 1, 2, 0},
      {std::regex(R"(NlsTtyMenuCvt\s*\([^,;]*,\s*(\d+)\s*\))"), 0, 1, 0},
      {std::regex(R"(NlsTtyMenuItem(?:State|Prompt)?Cvt\s*\([^,;]*,\s*(\d+)\s*,\s*(\d+)\s*\))"), 0,
       1, 2},
  };
  for (const Form &f : kForms)
    for (std::sregex_iterator m(code.begin(), code.end(), f.re), end; m != end; ++m) {
      std::string set = f.set ? (*m)[f.set].str() : "25";
      int first = std::stoi((*m)[f.number].str());
      int count = f.count ? std::stoi((*m)[f.count].str()) : 1;
      for (int i = 0; i < count; i++)
        add(set, std::to_string(first + i));
    }
  static const std::regex note(R"(nls:((?:[ \t]+\d+_\d+)+))"), key(R"((\d+)_(\d+))");
  for (std::sregex_iterator m(code.begin(), code.end(), note), end; m != end; ++m) {
    std::string list = (*m)[1].str();
    for (std::sregex_iterator k(list.begin(), list.end(), key); k != end; ++k)
      add((*k)[1].str(), (*k)[2].str());
  }
  return keys;
}

// The key of every message the menus, validation, prompts, pick screen,
// help menu and language choice show.
std::vector<std::string> RequiredKeys()
{
  std::vector<std::string> keys;
  for (int n :
       {201,  202,  203,  204,  205,  206,  207,  208,  230,  231,  232,  270,  271,  510,  1000,
        1001, 1002, 1003, 1004, 1006, 1007, 1008, 1009, 1010, 1011, 1016, 1017, 1018, 1020, 1024})
    keys.push_back("25_" + std::to_string(n));
  for (const char *k : {"20_150", "20_151", "20_152", "30_22", "30_42", "30_44", "999_1"})
    keys.push_back(k);
  return keys;
}

}  // namespace

TEST(NlsCatalog, EveryLanguageHasEveryMessageWithTheEnglishConversions)
{
  std::vector<std::string> langs = Languages();
  EXPECT_EQ(langs,
            (std::vector<std::string>{"de_DE", "en_US", "es_ES", "fr_FR", "it_IT", "pt_BR"}));
  Catalog en = ReadCatalog("en_US");
  for (const std::string &key : RequiredKeys())
    EXPECT_TRUE(en.count(key)) << "English lacks " << key;
  EXPECT_EQ(Conversions("%-5.2ld%% %s %c %*d %Lg"),
            (std::vector<std::string>{"%-5.2ld", "%s", "%c", "%*d", "%Lg"}));

  for (const std::string &lang : langs) {
    Catalog cat = ReadCatalog(lang);
    for (auto &[key, text] : en) {
      if (key.rfind("999_", 0) == 0 && lang != "en_US")
        continue;  // the table is read from the English database only
      auto t = cat.find(key);
      if (t == cat.end()) {
        ADD_FAILURE() << lang << " lacks " << key;
        continue;
      }
      EXPECT_EQ(Conversions(t->second), Conversions(text)) << lang << " " << key;
      EXPECT_LE(t->second.size() + 1, size_t(NLS_STRBUF_SIZE)) << lang << " " << key;
    }
    for (auto &[key, text] : cat)
      EXPECT_TRUE(en.count(key)) << lang << " has " << key << ", which English lacks";

    // The help items' key letters and the pick screen's save and cancel
    // keys must be told apart, and none of them may be a digit, which
    // selects by number.
    std::set<char> helpKeys;
    for (const char *k : {"20_150", "20_151", "20_152"}) {
      const std::string &label = cat[k];
      ASSERT_GE(label.size(), 4u) << lang << " " << k;
      EXPECT_TRUE(label[0] == '~' && isalpha(label[1]) && label[2] == ' ') << lang << " " << k;
      EXPECT_TRUE(helpKeys.insert(label[1]).second) << lang << " " << k;
    }
    char save = cat["25_201"][0], cancel = cat["25_202"][0];
    EXPECT_TRUE(isalpha(save) && isalpha(cancel) && save != cancel) << lang;
  }
}

TEST(NlsCatalog, EveryMessageTheToolkitFetchesIsInEnglish)
{
  // The scanner sees the documented forms.
  std::vector<std::string> unresolved;
  std::set<std::string> sample =
      FetchedKeys("NlsFetchString(pDrvCoreDB, buf, NLS_BY_NUMBER, NLS_SET_MENU, 1016);\n"
                  "NlsFetchString(h, nullptr, 3, 20, 150)\n"
                  "Nlsfprintf(stdout, pDrvCoreDB, 25, 1017, title);\n"
                  "Nlssprintf(buf, pDrvCoreDB, NLS_SET_FORM, 22, \"Norvo\");\n"
                  "Nlssnprintf(NlsBuf, sizeof NlsBuf, pDrvCoreDB, 30, 44, min);\n"
                  "NlsTtyMenuCvt(&title, 510); NlsTtyMenuItemPromptCvt(items, 230, 2);\n"
                  "x = y; // nls: 25_206 25_207\n"
                  "Nlssprintf(buf, h, set, 1);\n",
                  &unresolved);
  EXPECT_EQ(sample, (std::set<std::string>{"25_1016", "20_150", "25_1017", "30_22", "30_44",
                                           "25_510", "25_230", "25_231", "25_206", "25_207"}));
  EXPECT_EQ(unresolved, std::vector<std::string>{"set_1"});

  Catalog en = ReadCatalog("en_US");
  std::set<std::string> fetched;
  for (const char *dir : {"textmenu", "help", "nls"}) {
    if (!fs::exists(kSource + "/" + dir))
      continue;
    for (auto &e : fs::recursive_directory_iterator(kSource + "/" + dir)) {
      std::string ext = e.path().extension();
      if (ext != ".cpp" && ext != ".h")
        continue;
      unresolved.clear();
      for (const std::string &key : FetchedKeys(ReadText(e.path()), &unresolved)) {
        EXPECT_TRUE(en.count(key)) << e.path() << " fetches " << key << ", missing in English";
        fetched.insert(key);
      }
      for (const std::string &u : unresolved)
        ADD_FAILURE() << e.path() << ": the set of " << u << " is not a literal or NLS_SET_*";
    }
  }
  EXPECT_TRUE(fetched.count("999_1")) << "the language choice's own fetch was not seen";
}

TEST(NlsCatalog, BuiltDatabasesAnswerThroughTheLanguageChoice)
{
  ASSERT_TRUE(fs::exists(kShare + "/trans.conf")) << "build the nls_catalogs target first";
  struct Case {
    const char *lang;  // LANG, null for unset
    const char *dir;
  };
  const Case cases[] = {
      {"en_US.UTF-8", "en_US"}, {nullptr, "en_US"},       {"C", "en_US"},
      {"ja_JP.eucJP", "en_US"}, {"de_DE.UTF-8", "de_DE"}, {"ge_GE", "de_DE"},
      {"fr_CA", "fr_FR"},       {"es", "es_ES"},          {"it_IT.ISO8859-1", "it_IT"},
      {"pt_BR", "pt_BR"},       {"pr_BR", "pt_BR"},
  };
  for (const Case &c : cases) {
    Catalog cat = ReadCatalog(c.dir);
    ChildResult r = RunChild([&] {
      if (c.lang)
        setenv("LANG", c.lang, 1);
      else
        unsetenv("LANG");
      pToolPath = SaveStr_(kShare.c_str());
      printf("%s\n", GetDesiredNLSLang());
      pDrvCoreDB = NlsOpenDB("CoreString", 0);
      for (auto &[key, value] : cat) {
        int set = 0, number = 0;
        sscanf(key.c_str(), "%d_%d", &set, &number);
        char *got = NlsFetchString(pDrvCoreDB, nullptr, NLS_BY_NUMBER_LONG, set, number);
        if (value != got)
          printf("%s differs\n", key.c_str());
        PutMem(got);
      }
      char title[64];
      Nlssnprintf(title, sizeof title, pDrvCoreDB, 30, 22, "Norvo");
      printf("%s\n", title);
    });
    EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1), std::string(c.dir) + "\n")
        << (c.lang ? c.lang : "unset");
    EXPECT_EQ(r.out.find("differs"), std::string::npos) << c.dir << ":\n" << r.out;
    if (std::string(c.dir) == "en_US") {
      EXPECT_NE(r.out.find("\nNorvo Help\n"), std::string::npos) << r.out;
    }
    EXPECT_EQ(r.err, "");
  }

  // The installed table and its copy in the English database agree.
  ChildResult r = RunChild([] {
    pToolPath = SaveStr_(kShare.c_str());
    fputs(ParseTransFile("trans.conf"), stdout);
  });
  EXPECT_EQ(r.out, ReadCatalog("en_US")["999_1"]);
}
