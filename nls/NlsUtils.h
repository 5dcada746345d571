// NlsUtils: the toolkit's localisation. The language is chosen once per
// process from LANG and a translation table; user-visible texts are then
// fetched from that language's message databases by a key of message set and
// number ("25_3"), and a missing message shows its key, so an untranslated
// screen still names what is missing.
//
// Only the codes and limits are here for now; the language choice, the fetch
// and the conversions and output built on it are not part of the library yet.
#ifndef NORVO_NLS_NLSUTILS_H
#define NORVO_NLS_NLSUTILS_H

// The message databases are typed record databases under <pToolPath>/db;
// the core message database is the handle pDrvCoreDB declared there.
#include "dbm/Dbm.h"

// How a fetch names its message: by set and number, or by a key text.
enum : int {
  NLS_BY_NUMBER = 0,       // set, number; the value goes to a bounded buffer
  NLS_BY_KEY = 1,          // key text
  NLS_BY_KEY_ALT = 2,      // key text, the same as NLS_BY_KEY
  NLS_BY_NUMBER_LONG = 3,  // set, number; values longer than the buffer kept whole
};

// Message sets of the toolkit's own texts.
enum : int {
  NLS_SET_HELP = 20,    // the help menu
  NLS_SET_MENU = 25,    // menu texts
  NLS_SET_TRANS = 999,  // message 1: the translation table when trans.conf is absent
};

constexpr int NLS_STRBUF_SIZE = 2048;   // a fetched value (bounded fetches)
constexpr int NLS_KEY_MAX = 31;         // characters of a key text; "%d_%d" needs 23
constexpr int NLS_STRVAL_SIZE = 32;     // checksum text: two 8-digit hex words
constexpr int NLS_TRANS_MAX = 8191;     // characters of the normalised table
constexpr int NLS_SLOT_MAX = 1023;      // characters of one message put in a template
constexpr int NLS_ITEM_TEXT_MAX = 127;  // characters of a converted menu text

// Translation table file in <pToolPath>; the language when nothing else
// decides; the English core database, which holds the table otherwise.
inline constexpr char szNlsTransFile[] = "trans.conf";
inline constexpr char szNlsDefaultLang[] = "en_US";
inline constexpr char szNlsCoreDb[] = "en_US/CoreString";

#endif
