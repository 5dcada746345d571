// The toolkit's message databases as the build made them from nls/catalog:
// every language against English, English against the fetches in the
// toolkit's code, and each read back through the language choice.
// g++ 12 with the sanitizers reports a false "maybe uninitialized" inside
// libstdc++'s regex compiler; the warning points into its headers.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
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

const std::string kShare = std::string(NORVO_BINARY_DIR) + "/share/norvo";
const char *const kLanguages[] = {"de_DE", "en_US", "es_ES", "fr_FR", "it_IT", "pt_BR"};

// Every record of the built database of lang.
Catalog Built(const std::string &lang)
{
  Catalog cat;
  std::string path = kShare + "/db/" + lang + "/CoreString.ndb";
  DbTHandle *h = DbTOpen(path.c_str(), DBT_KEEP_IMAGE);
  EXPECT_EQ(h->DbType, DBT_TYPE_TYPED) << path << ": build the nls_catalogs target";
  char *keys = DbmTGetRecordList(h, "\n", "\n");
  std::istringstream list(keys ? keys : "");
  for (std::string key; std::getline(list, key);) {
    if (key.empty())
      continue;
    char *value = NlsFetchString(h, nullptr, NLS_BY_KEY, key.c_str());
    cat[key] = value;
    PutMem(value);
  }
  PutMem(keys);
  DbTClose(h);
  return cat;
}

// The printf conversions of a text in order, "%%" left out.
std::vector<std::string> Conversions(const std::string &text)
{
  static const std::regex conv(
      R"(%(%|[-+ #0']*(\d+|\*)?(\.(\d+|\*))?(hh|h|ll|l|L|q|j|z|t)?[diouxXeEfFgGaAcspn]))");
  std::vector<std::string> out;
  for (std::sregex_iterator m(text.begin(), text.end(), conv), end; m != end; ++m)
    if (m->str() != "%%")
      out.push_back(m->str());
  return out;
}

// The keys code fetches in the forms NlsUtils.h documents; a set that is
// neither a number nor an NLS_SET_* name goes to unresolved.
std::set<std::string> FetchedKeys(const std::string &code, std::vector<std::string> &unresolved)
{
  const std::map<std::string, int> sets = {{"NLS_SET_HELP", NLS_SET_HELP},
                                           {"NLS_SET_MENU", NLS_SET_MENU},
                                           {"NLS_SET_FORM", NLS_SET_FORM},
                                           {"NLS_SET_TRANS", NLS_SET_TRANS}};
  std::set<std::string> keys;
  auto add = [&](const std::string &set, int first, int count) {
    std::string s = sets.count(set) ? std::to_string(sets.at(set)) : set;
    for (int i = 0; i < count; i++) {
      std::string k = s + "_" + std::to_string(first + i);
      if (std::regex_match(s, std::regex(R"(\d+)")))
        keys.insert(k);
      else
        unresolved.push_back(k);
    }
  };
  const std::string arg = R"([^,;]*,)", num = R"(\s*(\w+)\s*,\s*(\d+)\s*[,)])";
  const std::regex bySet("(?:NlsFetchString\\s*\\(" + arg + arg +
                         R"(\s*(?:NLS_BY_NUMBER(?:_LONG)?|0|3)\s*,|Nls[fs]printf\s*\()" + arg +
                         arg + "|Nlssnprintf\\s*\\(" + arg + arg + arg + ")" + num);
  const std::regex menu(R"(NlsTtyMenuCvt\s*\([^,;]*,\s*(\d+)\s*\))");
  const std::regex items(
      R"(NlsTtyMenuItem(?:State|Prompt)?Cvt\s*\([^,;]*,\s*(\d+)\s*,\s*(\d+)\s*\))");
  const std::regex note(R"(nls:((?:[ \t]+\d+_\d+)+))"), key(R"((\d+)_(\d+))");
  std::sregex_iterator end;
  for (std::sregex_iterator m(code.begin(), code.end(), bySet); m != end; ++m)
    add((*m)[1], std::stoi((*m)[2]), 1);
  for (std::sregex_iterator m(code.begin(), code.end(), menu); m != end; ++m)
    add("25", std::stoi((*m)[1]), 1);
  for (std::sregex_iterator m(code.begin(), code.end(), items); m != end; ++m)
    add("25", std::stoi((*m)[1]), std::stoi((*m)[2]));
  for (std::sregex_iterator m(code.begin(), code.end(), note); m != end; ++m) {
    std::string list = (*m)[1];
    for (std::sregex_iterator k(list.begin(), list.end(), key); k != end; ++k)
      add((*k)[1], std::stoi((*k)[2]), 1);
  }
  return keys;
}

}  // namespace

TEST(NlsCatalog, EveryLanguageHasEveryMessageWithTheEnglishConversions)
{
  Catalog en = Built("en_US");
  // The messages the menus, validation, prompts, pick screen, help menu and
  // language choice show.
  for (int n :
       {201,  202,  203,  204,  205,  206,  207,  208,  230,  231,  232,  270,  271,  510,  1000,
        1001, 1002, 1003, 1004, 1006, 1007, 1008, 1009, 1010, 1011, 1016, 1017, 1018, 1020, 1024})
    EXPECT_TRUE(en.count("25_" + std::to_string(n))) << n;
  for (const char *k : {"20_150", "20_151", "20_152", "30_22", "30_42", "30_44", "999_1"})
    EXPECT_TRUE(en.count(k)) << k;
  EXPECT_EQ(Conversions("%-5.2ld%% %s %*d %Lg"),
            (std::vector<std::string>{"%-5.2ld", "%s", "%*d", "%Lg"}));

  for (const char *lang : kLanguages) {
    Catalog cat = Built(lang);
    for (auto &[key, text] : en) {
      if (key == "999_1" && lang != std::string("en_US"))
        continue;  // the table is read from the English database only
      if (!cat.count(key))
        ADD_FAILURE() << lang << " lacks " << key;
      else
        EXPECT_EQ(Conversions(cat[key]), Conversions(text)) << lang << " " << key;
    }
    EXPECT_EQ(cat.size(), en.size() - (lang != std::string("en_US"))) << lang << ": extra keys";
    // Key letters that must be told apart, none of them a digit (digits
    // select by number): the help items' and the pick screen's save and
    // cancel keys.
    std::set<char> letters;
    for (const char *k : {"20_150", "20_151", "20_152"}) {
      EXPECT_TRUE(cat[k].size() > 3 && cat[k][0] == '~' && cat[k][2] == ' ') << lang << k;
      letters.insert(cat[k][1]);
    }
    EXPECT_EQ(letters.size(), 3u) << lang;
    unsigned char save = cat["25_201"][0], cancel = cat["25_202"][0];
    EXPECT_TRUE(isalpha(save) && isalpha(cancel) && save != cancel) << lang;
  }
}

TEST(NlsCatalog, EveryMessageTheToolkitFetchesIsInEnglish)
{
  std::vector<std::string> unresolved;
  EXPECT_EQ(
      FetchedKeys("NlsFetchString(pDrvCoreDB, buf, NLS_BY_NUMBER, NLS_SET_MENU, 1016);\n"
                  "Nlsfprintf(stdout, h, 25, 1017, t); Nlssprintf(b, h, NLS_SET_FORM, 22, x);\n"
                  "Nlssnprintf(NlsBuf, sizeof NlsBuf, h, 30, 44, n);\n"
                  "NlsTtyMenuCvt(&t, 510); NlsTtyMenuItemPromptCvt(items, 230, 2);\n"
                  "x = y;  // nls: 20_150 25_206\n"
                  "Nlssprintf(buf, h, set, 1); NlsFetchString(h, b, 1, \"30_1\");\n",
                  unresolved),
      (std::set<std::string>{"25_1016", "25_1017", "30_22", "30_44", "25_510", "25_230", "25_231",
                             "20_150", "25_206"}));
  EXPECT_EQ(unresolved, std::vector<std::string>{"set_1"});

  Catalog en = Built("en_US");
  std::set<std::string> fetched;
  for (const char *dir : {"textmenu", "help", "nls"})
    for (auto &e : fs::recursive_directory_iterator(std::string(NORVO_SOURCE_DIR) + "/" + dir)) {
      if (e.path().extension() != ".cpp" && e.path().extension() != ".h")
        continue;
      std::string code = testcommon::ReadAll(e.path().string());
      unresolved.clear();
      for (const std::string &key : FetchedKeys(code, unresolved)) {
        EXPECT_TRUE(en.count(key)) << e.path() << " fetches " << key << ", missing in English";
        fetched.insert(key);
      }
      EXPECT_TRUE(unresolved.empty()) << e.path() << ": a set that is no literal";
    }
  EXPECT_TRUE(fetched.count("999_1")) << "the language choice's own fetch was not seen";
}

TEST(NlsCatalog, InstalledTableChoosesEachLanguagesDatabase)
{
  struct {
    const char *lang, *dir;  // LANG (null: unset), the database it chooses
  } cases[] = {
      {"en_US.UTF-8", "en_US"}, {nullptr, "en_US"},       {"C", "en_US"},
      {"ja_JP.eucJP", "en_US"}, {"de_DE.UTF-8", "de_DE"}, {"ge_GE", "de_DE"},
      {"fr_CA", "fr_FR"},       {"es", "es_ES"},          {"it_IT.ISO8859-1", "it_IT"},
      {"pr_BR", "pt_BR"},
  };
  for (auto &c : cases) {
    ChildResult r = RunChild([&] {
      c.lang ? setenv("LANG", c.lang, 1) : unsetenv("LANG");
      pToolPath = SaveStr_(kShare.c_str());
      pDrvCoreDB = NlsOpenDB("CoreString", 0);
      char title[64];
      Nlssnprintf(title, sizeof title, pDrvCoreDB, 30, 22, "Norvo");
      printf("%s %s", GetDesiredNLSLang(), title);
    });
    char expect[64];
    snprintf(expect, sizeof expect, Built(c.dir)["30_22"].c_str(), "Norvo");
    EXPECT_EQ(r.out + r.err, c.dir + std::string(" ") + expect) << (c.lang ? c.lang : "unset");
  }
  EXPECT_EQ(Built("en_US")["30_22"], "%s Help");

  // The installed table and its copy in the English database agree.
  ChildResult r = RunChild([] {
    pToolPath = SaveStr_(kShare.c_str());
    fputs(ParseTransFile("trans.conf"), stdout);
  });
  EXPECT_EQ(r.out, Built("en_US")["999_1"]);
}
