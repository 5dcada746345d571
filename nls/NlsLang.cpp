// NlsLang: the language choice from LANG and the translation table, and
// the opening of a language's message database.
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "memmgr/MemMgr.h"
#include "nls/NlsUtils.h"
#include "utils/utils.h"

// The chosen language; fixed by the first GetDesiredNLSLang.
char *pNLSLang = nullptr;

// Module state: the normalised translation table, read once when first
// needed and kept for the process.
namespace {
char *pTransBuf = nullptr;
}  // namespace

namespace {

constexpr char kBlanks[] = " \t\r\n";

bool IsBlank(char c)
{
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The normalised table, built in a buffer of NLS_TRANS_MAX characters. An
// entry that does not fit whole ends the table: half a language name would
// choose a directory that does not exist.
struct TableText {
  char text[NLS_TRANS_MAX + 1];
  size_t len = 0;
  bool full = false;

  void Put(std::string_view word, std::string_view end)
  {
    if (full || len + word.size() + end.size() > static_cast<size_t>(NLS_TRANS_MAX)) {
      full = true;
      return;
    }
    memcpy(text + len, word.data(), word.size());
    len += word.size();
    memcpy(text + len, end.data(), end.size());
    len += end.size();
  }
};

}  // namespace

char *ParseTransFile(const char *pFileName)
{
  char *file = GetSavedFileContent(pToolPath, pFileName);
  if (!file)
    return nullptr;
  TableText out;
  bool afterDefault = false;
  const char *p = file;
  while (*p && !out.full) {
    if (*p == '#') {
      p += strcspn(p, "\r\n");  // the line end is skipped as white space
    } else if (*p == '=') {
      out.Put("=", " ");
      p++;
    } else if (IsBlank(*p)) {
      p++;
    } else {
      size_t n = strcspn(p, kBlanks);
      std::string_view word(p, n);
      p += n;
      out.Put(word, *p == '\n' || afterDefault ? " \n" : " ");
      afterDefault = word == "Default";
    }
  }
  out.text[out.len] = '\0';
  PutMem(file);
  return SaveStr_(out.text);
}

namespace {

// The language of the table's "Default" line, or empty.
std::string DefaultLanguage(const char *table)
{
  const char *p = strstr(table, "Default");
  if (!p || p[7] == '\n')
    return {};
  p = strchr(p + 7, ' ');
  if (!p)
    return {};
  p += strspn(p, " \t");
  if (*p == '\0' || *p == '\r' || *p == '\n')
    return {};
  return std::string(p, strcspn(p, kBlanks));
}

// The language of the line that maps the search text, empty when the table
// does not list it, or "en_US" when no "=" stands before the match.
std::string ListedLanguage(const char *table, const std::string &search)
{
  const char *match = strstr(table, search.c_str());
  if (!match)
    return {};
  const char *eq = match;
  while (eq > table && *eq != '=')
    eq--;
  if (*eq != '=')
    return szNlsDefaultLang;
  const char *line = eq;
  while (line > table && line[-1] != '\n')
    line--;
  std::string name(line, strcspn(line, " =\n"));
  return name.empty() ? szNlsDefaultLang : name;
}

// The table from message 999_1 of the English core database, or null.
char *TableFromDatabase()
{
  if (!pDrvCoreDB)
    pDrvCoreDB = DbTOpen(szNlsCoreDb, 0);
  if (!pDrvCoreDB)
    return nullptr;
  char *table = NlsFetchString(pDrvCoreDB, nullptr, NLS_BY_NUMBER_LONG, NLS_SET_TRANS, 1);
  if (strcmp(table, "Error") == 0 || strcmp(table, "999_1") == 0) {
    PutMem(table);
    return nullptr;
  }
  if (strlen(table) > static_cast<size_t>(NLS_TRANS_MAX))
    table[NLS_TRANS_MAX] = '\0';
  return table;
}

char *ChooseLanguage()
{
  const char *lang = getenv("LANG");
  // " LANG " up to the code set: "de_DE.UTF-8" searches " de_DE", which
  // also matches words that merely begin with it.
  std::string search = std::string(" ") + (lang ? lang : "___LANG_NOT_SET___") + " ";
  search.erase(std::min(search.find('.'), search.size()));

  if (!pTransBuf)
    pTransBuf = ParseTransFile(szNlsTransFile);
  if (!pTransBuf)
    pTransBuf = TableFromDatabase();
  if (!pTransBuf)
    return SaveStr_(szNlsDefaultLang);

  std::string name = ListedLanguage(pTransBuf, search);
  if (name.empty())
    name = DefaultLanguage(pTransBuf);
  return SaveStr_(name.empty() ? szNlsDefaultLang : name.c_str());
}

}  // namespace

char *GetDesiredNLSLang()
{
  if (!pNLSLang)
    pNLSLang = ChooseLanguage();
  return pNLSLang;
}

DbTHandle *NlsOpenDB(const char *pName, int32_t flags)
{
  char *lang = SaveStr_(GetDesiredNLSLang());
  // pToolPath must be set; while it is not, the path names nothing.
  char *path =
      SaveStr("%s/db/%s/%s.ndb", pToolPath ? pToolPath : "(null)", lang, pName ? pName : "(null)");
  DbTHandle *h = DbTOpen(path, flags);
  if (h && h->DbType == DBT_TYPE_NEW && strncmp(lang, szNlsDefaultLang, 5) == 0) {
    fprintf(stderr, "ERROR:  Could not open English database:  %s\n", path);
    DbTClose(h);
    h = nullptr;
  }
  PutMem(path);
  PutMem(lang);
  return h;
}
