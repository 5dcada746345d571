// Language choice: the translation table, LANG, the table's fallback in the
// English core database, and opening a language's database. The choice is
// made once per process, so every choice runs in a child of its own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "common/ChildProcess.h"
#include "dbm/DbmTestDir.h"
#include "memmgr/MemMgr.h"
#include "nls/NlsUtils.h"

namespace {

class NlsLang : public DbmTest {
protected:
  void Table(const std::string &text) { WriteBytes(base + "/trans.conf", text); }

  // A typed database file at <base>/db/<lang>/<name>.ndb with text values.
  void Database(const std::string &lang, const std::string &name,
                const std::vector<std::pair<std::string, std::string>> &records)
  {
    std::filesystem::create_directories(base + "/db/" + lang);
    std::string path = base + "/db/" + lang + "/" + name + ".ndb";
    DbTHandle *h = DbTOpen(path.c_str(), 0);
    for (auto &[key, value] : records)
      ASSERT_EQ(DbmTPutRecord(h, key.c_str(), value.c_str(), int(value.size() + 1)), 1);
    DbTClose(h);
  }

  // The language a fresh process chooses with LANG set to lang (null: unset).
  static std::string Chosen(const char *lang)
  {
    ChildResult r = RunChild([lang] {
      if (lang)
        setenv("LANG", lang, 1);
      else
        unsetenv("LANG");
      fputs(GetDesiredNLSLang(), stdout);
    });
    EXPECT_EQ(r.status, 99) << r.err;
    return r.out;
  }
};

std::string Parsed(const char *name)
{
  char *t = ParseTransFile(name);
  std::string s = t ? t : "<null>";
  PutMem(t);
  return s;
}

}  // namespace

TEST_F(NlsLang, TableIsNormalised)
{
  Table("# languages\n"
        "de_DE = de de_DE german\r\n"    // \r\n: the line runs on
        "fr_FR=x = fr # comment = no\n"  // "=" inside a word is the word's
        "\tDefault   en_US\n"            // the word after Default ends a line
        "it_IT =it\n"                    // a lone "=" before a word
        "last # comment without line end");
  EXPECT_EQ(Parsed("trans.conf"), "de_DE = de de_DE german fr_FR=x = fr Default en_US \n"
                                  "it_IT = it \nlast ");
  EXPECT_EQ(Parsed("missing.conf"), "<null>");
  WriteBytes(base + "/empty.conf", "");
  EXPECT_EQ(Parsed("empty.conf"), "<null>");
  WriteBytes(base + "/comment.conf", "# nothing but a comment\n");
  EXPECT_EQ(Parsed("comment.conf"), "");
}

TEST_F(NlsLang, OverlongTableKeepsWholeEntriesWithinItsLimit)
{
  std::string text, normal;
  for (int i = 0; normal.size() < 3 * NLS_TRANS_MAX; i++) {
    std::string name = "l" + std::to_string(i), word = "w" + std::to_string(i);
    text += name + " = " + word + "\n";
    normal += name + " = " + word + " \n";
  }
  Table(text);
  std::string got = Parsed("trans.conf");
  ASSERT_LE(got.size(), size_t(NLS_TRANS_MAX));
  EXPECT_GT(got.size(), size_t(NLS_TRANS_MAX) - 12);
  EXPECT_EQ(got, normal.substr(0, got.size()));
  // It ends after a whole word: the next piece of the full table is a word.
  EXPECT_EQ(got.back(), normal[got.size() - 1]);
  EXPECT_TRUE(got.back() == ' ' || got.back() == '\n');
  EXPECT_NE(normal[got.size()], ' ');
}

TEST_F(NlsLang, LangChoosesTheLineThatListsIt)
{
  Table("fr_FR = fr fr_FR french\nDefault de_DE\n");
  EXPECT_EQ(Chosen("fr_FR.UTF-8"), "fr_FR");  // the code set is ignored
  EXPECT_EQ(Chosen("french"), "fr_FR");
  EXPECT_EQ(Chosen("it_IT"), "de_DE");  // not listed: the default
  EXPECT_EQ(Chosen(nullptr), "de_DE");
  // A left-hand name is no value of LANG; a word of the Default line gives
  // the language of the nearest line above it.
  Table("fr_FR = fr\nit_IT = it\nDefault de_DE\n");
  EXPECT_EQ(Chosen("fr_FR"), "de_DE");
  EXPECT_EQ(Chosen("de_DE"), "it_IT");
}

TEST_F(NlsLang, UnlistedLangWithoutDefaultIsEnglish)
{
  Table("aa_AA = x y\nbb_BB = z\n");
  EXPECT_EQ(Chosen("y"), "aa_AA");  // a match on the first line
  EXPECT_EQ(Chosen("z"), "bb_BB");
  EXPECT_EQ(Chosen("q"), "en_US");
  EXPECT_EQ(Chosen(nullptr), "en_US");
  Table("en_US = C\n# de_DE = de\n");
  EXPECT_EQ(Chosen("de"), "en_US");
  // Without its code set the search is " fr", which also matches a word
  // that merely begins with it.
  Table("xx_XX = frisian\nfr_FR = fr\n");
  EXPECT_EQ(Chosen("fr.ISO8859-1"), "xx_XX");
  EXPECT_EQ(Chosen("fr"), "fr_FR");
}

TEST_F(NlsLang, ChoiceIsFixedForTheProcess)
{
  Table("fr_FR = fr\nde_DE = de\n");
  ChildResult r = RunChild([] {
    setenv("LANG", "fr", 1);
    char *first = GetDesiredNLSLang();
    setenv("LANG", "de", 1);
    char *second = GetDesiredNLSLang();
    printf("%s %s %d", first, second, first == second && first == pNLSLang);
  });
  EXPECT_EQ(r.out, "fr_FR fr_FR 1");
}

TEST_F(NlsLang, WithoutTransConfTheTableComesFromTheEnglishDatabase)
{
  EXPECT_EQ(Chosen("it"), "en_US");  // neither file nor database
  // The table read with the long fetch: a match beyond the first 2048
  // characters still counts.
  std::string table;
  for (int i = 0; table.size() < 3000; i++)
    table += "p" + std::to_string(i) + " = v" + std::to_string(i) + " \n";
  table += "it_IT = it \nDefault es_ES \n";
  Database("en_US", "CoreString", {{"999_1", table}});
  EXPECT_EQ(Chosen("it"), "it_IT");
  EXPECT_EQ(Chosen("xx"), "es_ES");
  ChildResult r = RunChild([] {
    setenv("LANG", "it", 1);
    GetDesiredNLSLang();
    printf("%d", pDrvCoreDB != nullptr && pDrvCoreDB->DbType == DBT_TYPE_TYPED);
  });
  EXPECT_EQ(r.out, "1");
  // A database without the table: English.
  std::filesystem::remove(base + "/db/en_US/CoreString.ndb");
  Database("en_US", "CoreString", {{"25_3", "x"}});
  EXPECT_EQ(Chosen("it"), "en_US");
}

TEST_F(NlsLang, OpenDbReportsOnlyAMissingEnglishDatabase)
{
  Table("de_DE = de\n");
  ChildResult r = RunChild([] {
    unsetenv("LANG");
    printf("%d", NlsOpenDB("CoreString", 0) == nullptr);
  });
  EXPECT_EQ(r.out, "1");
  EXPECT_EQ(r.err,
            "ERROR:  Could not open English database:  " + base + "/db/en_US/CoreString.ndb\n");

  // Another language's missing database: an empty handle, keys shown.
  r = RunChild([] {
    setenv("LANG", "de", 1);
    DbTHandle *h = NlsOpenDB("CoreString", 0);
    char out[NLS_STRBUF_SIZE];
    printf("%d %s", h != nullptr, h ? NlsFetchString(h, out, NLS_BY_NUMBER, 25, 3) : "");
  });
  EXPECT_EQ(r.out, "1 25_3");
  EXPECT_EQ(r.err, "");

  Database("de_DE", "CoreString", {{"25_3", "Drei"}});
  r = RunChild([] {
    setenv("LANG", "de", 1);
    DbTHandle *h = NlsOpenDB("CoreString", 0);
    char out[NLS_STRBUF_SIZE];
    printf("%s", NlsFetchString(h, out, NLS_BY_NUMBER, 25, 3));
  });
  EXPECT_EQ(r.out, "Drei");
}
