// Language choice: the translation table, LANG, the table's fallback in the
// English core database, and opening a language's database. The choice is
// made once per process, so every choice runs in a child of its own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "common/ChildProcess.h"
#include "dbm/DbmTestDir.h"
#include "memmgr/MemMgr.h"
#include "nls/NlsUtils.h"

namespace {

class NlsLang : public DbmTest {
protected:
  void Table(const std::string &text) { WriteBytes(base + "/trans.conf", text); }

  // Stores one text message in <base>/db/<lang>/CoreString.ndb.
  void CoreDb(const std::string &lang, const char *key, const std::string &value)
  {
    std::filesystem::create_directories(base + "/db/" + lang);
    DbTHandle *h = DbTOpen((base + "/db/" + lang + "/CoreString.ndb").c_str(), 0);
    ASSERT_EQ(DbmTPutRecord(h, key, value.c_str(), int(value.size() + 1)), 1);
    DbTClose(h);
  }

  // Runs body in a fresh process with LANG set to lang (null: unset).
  static ChildResult With(const char *lang, const std::function<void()> &body)
  {
    return RunChild([&] {
      lang ? setenv("LANG", lang, 1) : unsetenv("LANG");
      body();
    });
  }
  static std::string Chosen(const char *lang)
  {
    return With(lang, [] { fputs(GetDesiredNLSLang(), stdout); }).out;
  }
  static std::string Parsed()
  {
    char *t = ParseTransFile("trans.conf");
    std::string s = t ? t : "<null>";
    PutMem(t);
    return s;
  }
};

}  // namespace

TEST_F(NlsLang, TableIsNormalised)
{
  Table("# languages\n"
        "de_DE = de de_DE german\r\n"    // \r\n: the line runs on
        "fr_FR=x = fr # comment = no\n"  // "=" inside a word is the word's
        "\tDefault   en_US\n"            // the word after Default ends a line
        "it_IT =it\n"                    // a lone "=" before a word
        "last # comment without line end");
  EXPECT_EQ(Parsed(), "de_DE = de de_DE german fr_FR=x = fr Default en_US \nit_IT = it \nlast ");
  Table("");
  EXPECT_EQ(Parsed(), "<null>");

  // An overlong table keeps the whole entries that fit its limit.
  std::string text, normal;
  for (int i = 0; normal.size() < 2 * NLS_TRANS_MAX; i++) {
    text += "l" + std::to_string(i) + " = w" + std::to_string(i) + "\n";
    normal += "l" + std::to_string(i) + " = w" + std::to_string(i) + " \n";
  }
  Table(text);
  std::string got = Parsed();
  ASSERT_LE(got.size(), size_t(NLS_TRANS_MAX));
  EXPECT_GT(got.size(), size_t(NLS_TRANS_MAX) - 12);
  EXPECT_EQ(got, normal.substr(0, got.size()));
  EXPECT_NE(normal[got.size()], ' ');  // no word was cut
}

TEST_F(NlsLang, LangChoosesTheListingLineElseTheDefaultElseEnglish)
{
  const char *withDefault = "fr_FR = fr fr_FR french\nDefault de_DE\n";
  const char *twoLines = "fr_FR = fr\nit_IT = it\nDefault de_DE\n";
  const char *noDefault = "aa_AA = x y\nbb_BB = z\n";
  struct {
    const char *table, *lang, *expect;
  } cases[] = {
      {withDefault, "fr_FR.UTF-8", "fr_FR"},  // the code set is ignored
      {withDefault, "it_IT", "de_DE"},
      {withDefault, nullptr, "de_DE"},
      {twoLines, "fr_FR", "de_DE"},  // a left-hand name is no LANG value
      {twoLines, "de_DE", "it_IT"},  // on the Default line: the line above
      {noDefault, "y", "aa_AA"},     // the first line's name
      {noDefault, "z", "bb_BB"},
      {noDefault, "q", "en_US"},
      {"en_US = C\n# de_DE = de\n", "de", "en_US"},
      // Without its code set the search is " fr", which also finds a word
      // that merely begins with it.
      {"xx_XX = frisian\nfr_FR = fr\n", "fr.ISO8859-1", "xx_XX"},
  };
  for (auto &c : cases) {
    Table(c.table);
    EXPECT_EQ(Chosen(c.lang), c.expect) << c.table << "LANG=" << (c.lang ? c.lang : "unset");
  }

  ChildResult r = With("fr", [] {
    char *first = GetDesiredNLSLang();
    setenv("LANG", "it", 1);
    printf("%s %d", GetDesiredNLSLang(), first == GetDesiredNLSLang() && first == pNLSLang);
  });
  EXPECT_EQ(r.out, "fr_FR 1");
}

TEST_F(NlsLang, WithoutTransConfTheEnglishDatabaseHoldsTheTable)
{
  EXPECT_EQ(Chosen("it"), "en_US");  // neither file nor database
  CoreDb("en_US", "25_3", "x");
  EXPECT_EQ(Chosen("it"), "en_US");  // a database without the table
  // The table is read whole: a match beyond the first 2048 characters.
  std::string table;
  for (int i = 0; table.size() < 3000; i++)
    table += "p" + std::to_string(i) + " = v" + std::to_string(i) + " \n";
  CoreDb("en_US", "999_1", table + "it_IT = it \nDefault es_ES \n");
  EXPECT_EQ(Chosen("it"), "it_IT");
  EXPECT_EQ(Chosen("xx"), "es_ES");
  EXPECT_EQ(With("it", [] { printf("%d", GetDesiredNLSLang() && pDrvCoreDB); }).out, "1");
}

TEST_F(NlsLang, OpenDbReportsOnlyAMissingEnglishDatabase)
{
  Table("de_DE = de\n");
  auto open = [] {
    DbTHandle *h = NlsOpenDB("CoreString", 0);
    char out[NLS_STRBUF_SIZE];
    printf("%s", h ? NlsFetchString(h, out, NLS_BY_NUMBER, 25, 3) : "null");
  };
  ChildResult r = With(nullptr, open);
  EXPECT_EQ(r.out, "null");
  EXPECT_EQ(r.err,
            "ERROR:  Could not open English database:  " + base + "/db/en_US/CoreString.ndb\n");
  r = With("de", open);  // another language: an empty handle, keys shown
  EXPECT_EQ(r.out + r.err, "25_3");
  CoreDb("de_DE", "25_3", "Drei");
  EXPECT_EQ(With("de", open).out, "Drei");
}
