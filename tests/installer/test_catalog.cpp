// The installer's message catalog: every translation carries the English
// conversions, and LANG picks the table once per run.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "installer/setup.h"

namespace {

struct Language {
  const char *name;
  const char *const *table;
};

const Language kLanguages[] = {
    {"English", NLS_ENGLISH}, {"Spanish", NLS_SPANISH}, {"Italian", NLS_ITALIAN},
    {"French", NLS_FRENCH},   {"German", NLS_GERMAN},   {"Portuguese", NLS_PORTUGUESE},
};

// The printf conversions of a text, in order, as written ("%s", "%e", "%i");
// "%%" is text. A '%' that starts no valid conversion is returned as "%?".
std::vector<std::string> Conversions(const std::string &text)
{
  const std::string flags = "-+ #0'", digits = "0123456789*", lengths = "hlLqjzt",
                    convs = "diouxXeEfFgGaAcspnm";
  std::vector<std::string> found;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%')
      continue;
    if (i + 1 < text.size() && text[i + 1] == '%') {
      ++i;
      continue;
    }
    size_t j = i + 1;
    while (j < text.size() && flags.find(text[j]) != std::string::npos)
      ++j;
    while (j < text.size() && digits.find(text[j]) != std::string::npos)
      ++j;
    if (j < text.size() && text[j] == '.') {
      ++j;
      while (j < text.size() && digits.find(text[j]) != std::string::npos)
        ++j;
    }
    while (j < text.size() && lengths.find(text[j]) != std::string::npos)
      ++j;
    if (j < text.size() && convs.find(text[j]) != std::string::npos) {
      found.push_back(text.substr(i, j + 1 - i));
      i = j;
    } else {
      found.push_back("%?");
    }
  }
  return found;
}

TEST(Catalog, EveryTranslationCarriesTheEnglishConversions)
{
  for (const Language &lang : kLanguages) {
    for (int id = 0; id < NLS_SETUP_COUNT; ++id) {
      ASSERT_NE(lang.table[id], nullptr) << lang.name << " id " << id;
      EXPECT_EQ(Conversions(lang.table[id]), Conversions(NLS_ENGLISH[id]))
          << lang.name << " id " << id << ": " << lang.table[id];
      for (const std::string &c : Conversions(lang.table[id]))
        EXPECT_NE(c, "%?") << lang.name << " id " << id;
    }
  }
}

TEST(Catalog, TheConversionsCallersRelyOn)
{
  EXPECT_EQ(Conversions(NLS_ENGLISH[3]), (std::vector<std::string>{"%s"}));
  EXPECT_EQ(Conversions(NLS_ENGLISH[35]), (std::vector<std::string>{"%s", "%s"}));
  EXPECT_EQ(Conversions(NLS_ENGLISH[49]), (std::vector<std::string>{"%s", "%e"}));
  EXPECT_EQ(Conversions(NLS_ENGLISH[55]), (std::vector<std::string>{"%s", "%e"}));
  EXPECT_EQ(Conversions(NLS_ENGLISH[56]), (std::vector<std::string>{"%s", "%s", "%e"}));
  EXPECT_EQ(Conversions(NLS_ENGLISH[62]), (std::vector<std::string>{"%s", "%s", "%s", "%s"}));
  for (int id : {60, 63, 65, 66, 67, 68, 69, 70})
    EXPECT_TRUE(Conversions(NLS_ENGLISH[id]).empty()) << id;
}

TEST(Catalog, EnglishTextsOfTheInstallersOwnMessages)
{
  EXPECT_STREQ(NLS_ENGLISH[3], "ERROR: couldn't open %s");
  EXPECT_STREQ(NLS_ENGLISH[21], "can't open file, %sInstall/disks");
  EXPECT_STREQ(NLS_ENGLISH[35], "%s is logged in\nYou must become root to run %s\n");
  EXPECT_STREQ(NLS_ENGLISH[63], "\nDo You want to continue with the installation? [yn] ");
  EXPECT_STREQ(NLS_ENGLISH[15], "\t\t\"wrong number of arguments to interface program\" \\\n");
  EXPECT_STREQ(NLS_ENGLISH[70], "\nEnter a selection:  ");
}

TEST(Catalog, LiteralIdsStayEnglishAndTheRestIsTranslated)
{
  for (const Language &lang : kLanguages) {
    if (lang.table == NLS_ENGLISH)
      continue;
    for (int id = 0; id < NLS_SETUP_COUNT; ++id) {
      bool literal = id == 15 || id == 16 || id == 57 || (id == 58 && lang.table == NLS_SPANISH) ||
                     (id == 59 && lang.table == NLS_PORTUGUESE);
      if (literal)
        EXPECT_STREQ(lang.table[id], NLS_ENGLISH[id]) << lang.name << " id " << id;
      else
        EXPECT_STRNE(lang.table[id], NLS_ENGLISH[id]) << lang.name << " id " << id;
    }
    EXPECT_STREQ(lang.table[57], "") << lang.name;
  }
}

TEST(Catalog, YesNoPromptShowsTheAnswersTheInstallerAccepts)
{
  for (const Language &lang : kLanguages)
    EXPECT_NE(std::strstr(lang.table[63], "[yn]"), nullptr) << lang.name;
}

// ---- Language choice ----------------------------------------------------------

// Each case starts from an unchosen language, as a new run does.
class CatalogLanguage : public ::testing::Test {
protected:
  void SetUp() override
  {
    const char *lang = std::getenv("LANG");
    hadLang_ = lang != nullptr;
    if (lang)
      savedLang_ = lang;
    pCurLang = nullptr;
  }
  void TearDown() override
  {
    if (hadLang_)
      setenv("LANG", savedLang_.c_str(), 1);
    else
      unsetenv("LANG");
    pCurLang = nullptr;
  }
  // The table chosen for LANG (null: unset).
  const char *const *Chosen(const char *lang)
  {
    pCurLang = nullptr;
    if (lang)
      setenv("LANG", lang, 1);
    else
      unsetenv("LANG");
    nlsSetupStrCvt(0);
    return pCurLang;
  }
  bool hadLang_ = false;
  std::string savedLang_;
};

TEST_F(CatalogLanguage, KeysSelectTheirTables)
{
  EXPECT_EQ(Chosen("en_US"), NLS_ENGLISH);
  EXPECT_EQ(Chosen("es_ES"), NLS_SPANISH);
  EXPECT_EQ(Chosen("it_IT"), NLS_ITALIAN);
  EXPECT_EQ(Chosen("fr_FR"), NLS_FRENCH);
  EXPECT_EQ(Chosen("ge_GE"), NLS_GERMAN);
  EXPECT_EQ(Chosen("pr_BR"), NLS_PORTUGUESE);
}

TEST_F(CatalogLanguage, OtherValuesSelectEnglish)
{
  for (const char *lang : {"de_DE", "pt_BR", "C", "POSIX", "", "fr", "fr_FRx", "en_US,es_ES",
                           "es_ES,it_IT,", ",", "fr_FR_"})
    EXPECT_EQ(Chosen(lang), NLS_ENGLISH) << "LANG=" << lang;
  EXPECT_EQ(Chosen(nullptr), NLS_ENGLISH);
}

TEST_F(CatalogLanguage, CodeSetSuffixIsCutInTheEnvironment)
{
  EXPECT_EQ(Chosen("fr_FR.ISO8859-1"), NLS_FRENCH);
  EXPECT_STREQ(std::getenv("LANG"), "fr_FR");

  // Commands started afterwards see the plain name too.
  FILE *child = popen("printf '%s' \"$LANG\"", "r");
  ASSERT_NE(child, nullptr);
  char buf[64] = {};
  size_t n = std::fread(buf, 1, sizeof buf - 1, child);
  pclose(child);
  EXPECT_EQ(std::string(buf, n), "fr_FR");

  EXPECT_EQ(Chosen("ge_GE.UTF-8@euro"), NLS_GERMAN);
  EXPECT_STREQ(std::getenv("LANG"), "ge_GE");
  EXPECT_EQ(Chosen(".UTF-8"), NLS_ENGLISH);
  EXPECT_STREQ(std::getenv("LANG"), "");
}

TEST_F(CatalogLanguage, ValueWithoutSuffixIsLeftAlone)
{
  Chosen("de_DE");
  EXPECT_STREQ(std::getenv("LANG"), "de_DE");
}

TEST_F(CatalogLanguage, ChoiceIsFixedByTheFirstFetch)
{
  setenv("LANG", "it_IT", 1);
  EXPECT_STREQ(nlsSetupStrCvt(69), NLS_ITALIAN[69]);
  setenv("LANG", "es_ES", 1);
  EXPECT_STREQ(nlsSetupStrCvt(69), NLS_ITALIAN[69]);
  unsetenv("LANG");
  EXPECT_STREQ(nlsSetupStrCvt(3), NLS_ITALIAN[3]);
}

TEST_F(CatalogLanguage, FetchGivesTheTextOfEachIdAndEmptyOutsideTheRange)
{
  setenv("LANG", "pr_BR", 1);
  for (int id = 0; id < NLS_SETUP_COUNT; ++id)
    EXPECT_EQ(nlsSetupStrCvt(id), NLS_PORTUGUESE[id]);
  EXPECT_STREQ(nlsSetupStrCvt(-1), "");
  EXPECT_STREQ(nlsSetupStrCvt(NLS_SETUP_COUNT), "");
  EXPECT_STREQ(nlsSetupStrCvt(57), "");
}

TEST_F(CatalogLanguage, TranslatedMessageFormatsLikeEnglish)
{
  setenv("LANG", "fr_FR", 1);
  char buf[1024];
  std::snprintf(buf, sizeof buf, nlsSetupStrCvt(56), "/tmp/w", "/opt", 1.5e6);
  std::string text = buf;
  EXPECT_NE(text.find("/tmp/w"), std::string::npos);
  EXPECT_LT(text.find("/tmp/w"), text.find("/opt"));
  EXPECT_NE(text.find("1.500000e+06"), std::string::npos);
}

}  // namespace
