// NlsUtils: the toolkit's localisation. The language is chosen once per
// process from LANG and a translation table; user-visible texts are then
// fetched from that language's message databases by a key of message set and
// number ("25_3"), and a missing message shows its key, so an untranslated
// screen still names what is missing.
//
// Layout under the application's base directory pToolPath (Dbm.h):
//   <pToolPath>/trans.conf                    the translation table
//   <pToolPath>/db/<language>/<name>.ndb      message databases per language
// The toolkit's own texts are in the database "CoreString" of each language;
// the build makes them (from nls/catalog/<language>.txt) in
// <build>/share/norvo, installed as <datadir>/norvo. A program sets
// pToolPath to that directory and opens its core database once:
//   pDrvCoreDB = NlsOpenDB("CoreString", 0);
//
// Writing a fetch. The catalogs' check finds the messages the toolkit's code
// fetches by reading its sources, so write every fetch of a toolkit text
// with the set and the number as literal integers (or the NLS_SET_*
// names), in one of these calls:
//   NlsFetchString(h, out, NLS_BY_NUMBER, 25, 1016)      (also mode 3)
//   Nlsfprintf(stream, h, 25, 1017, ...)
//   Nlssprintf(dest, h, 30, 22, ...)
//   Nlssnprintf(dest, size, h, 30, 44, ...)
//   NlsTtyMenuCvt(&text, 230)
//   NlsTtyMenuItemCvt(items, 230, 3) (and the State and Prompt forms: the
//   messages 25_230 to 25_232)
// with each call on one line, or name the keys in a comment of the form
// "// nls: 25_201 25_202" next to a fetch whose numbers are computed. The
// check sees no other form.
//
// Not reentrant: StrBuf, StrVal, NlsBuf and the shared "Error" text are
// process-wide.
#ifndef NORVO_NLS_NLSUTILS_H
#define NORVO_NLS_NLSUTILS_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

// The message databases are typed record databases under <pToolPath>/db;
// the core message database is the handle pDrvCoreDB declared there.
#include "dbm/Dbm.h"

struct TextMenuItem;  // textmenu/TextMenu.h

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
  NLS_SET_FORM = 30,    // help title and entry length messages
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

// The chosen language directory ("en_US", "de_DE", ...): null until the
// first GetDesiredNLSLang, then fixed for the life of the process.
extern char *pNLSLang;

// A shared buffer for one formatted message (the entry validation's length
// messages go here); overwritten by each user.
extern char NlsBuf[NLS_STRBUF_SIZE];

// ---- Language choice ---------------------------------------------------------

// Reads <pToolPath>/<file> and returns its table in normalised form: every
// word followed by one space, a lone "=" as "= ", the word that ended a line
// and the word after "Default" followed by " \n", comments and other white
// space dropped. At most NLS_TRANS_MAX characters: entries that would go
// past that are left out whole. A new pool string (caller frees), or null
// when the file is missing or empty.
char *ParseTransFile(const char *pFileName);

// The language directory for this process, decided on the first call from
// LANG (its code set, from the first ".", ignored) and the table of
// trans.conf, or of message 999_1 of en_US/CoreString when that file is
// absent (pDrvCoreDB is then opened on that database if it is still null).
// A LANG listed on the right of "name =" gives name; anything else gives
// the "Default" line's language, else "en_US". Never null; the same text on
// every later call, whatever LANG then holds (pNLSLang; do not free).
char *GetDesiredNLSLang();

// Opens <pToolPath>/db/<language>/<pName>.ndb with DbTOpen(path, flags).
// When the chosen language is English and that database is missing or
// empty, prints "ERROR:  Could not open English database:  <path>" on
// standard error and returns null; a missing database of another language
// gives an empty handle, whose fetches then show the key texts.
DbTHandle *NlsOpenDB(const char *pName, int32_t flags);

// ---- Message fetch -----------------------------------------------------------

// Fetches a message: NlsFetchString(h, out, NLS_BY_NUMBER, set, number),
// (h, out, NLS_BY_KEY, "key text") or (h, out, NLS_BY_NUMBER_LONG, set,
// number); the key of numbers is "set_number". out is an optional caller
// buffer for modes 0 to 2 (ignored in mode 3); NLS_STRBUF_SIZE bytes are
// always enough for it, whatever the database holds.
// Found, modes 0 to 2: the value, cut to NLS_STRBUF_SIZE - 1 characters,
// in out (returned) or in a new pool copy (caller frees).
// Found, mode 3: the whole value in a new pool buffer (caller frees).
// Not found (also a null handle with both numbers nonzero): the key text, in
// out (returned; cut like a value), else as a new pool copy in modes 0 and 3
// (caller frees) and as the caller's own key pointer in modes 1 and 2.
// Null handle with a number 0 or a key text, a null key text, other modes:
// the shared text "Error", which no caller may free or change.
char *NlsFetchString(DbTHandle *h, char *out, int mode, ...);

// ---- Conversions (all read pDrvCoreDB) ---------------------------------------

// *ppText = new pool copy of message 25_number (key text when missing);
// returns it. The old text is not freed (it is usually a literal).
char *NlsTtyMenuCvt(const char **ppText, int number);
// items[i].pLabel (pChoices, pPrompt) = new pool copy of message
// 25_(first + i), cut to NLS_ITEM_TEXT_MAX characters, for i < count.
// Returns count, 0 when count <= 0. Old texts are not freed.
int NlsTtyMenuItemCvt(TextMenuItem *items, int first, int count);
int NlsTtyMenuItemStateCvt(TextMenuItem *items, int first, int count);
int NlsTtyMenuItemPromptCvt(TextMenuItem *items, int first, int count);
// Copies the template into dest, each "%s" replaced by the next message of
// the set (set_1 for the first slot, set_2 for the second, ...; each cut to
// NLS_SLOT_MAX characters; the key text when missing); other "%" sequences
// stay as they are. Clears size bytes of dest first and never writes past
// them: the result is cut to size - 1 characters. Returns dest.
char *NlsGuiStrCvt(const char *pTemplate, int set, char *dest, int size);

// ---- Formatted output --------------------------------------------------------

// Prints message set_number of h as a printf format with the arguments
// that follow; a missing message or a null handle prints "Error". Returns
// what vfprintf returned (5 for "Error").
int Nlsfprintf(FILE *stream, DbTHandle *h, int set, int number, ...);
// Kept for old callers: formats message set_number into dest with no bound
// (dest must hold the result); "Error" when the message is missing. The
// toolkit itself uses Nlssnprintf.
int Nlssprintf(char *dest, DbTHandle *h, int set, int number, ...);
// The same into dest of size bytes: the text is cut to size - 1 characters
// and terminated (nothing is written when size is 0). Returns the length
// the whole text would have, as vsnprintf does.
int Nlssnprintf(char *dest, size_t size, DbTHandle *h, int set, int number, ...);

// ---- Checksum ----------------------------------------------------------------

// "%08X%08X" of W = sum of i*i*c(i) and S = sum of c(i) over the characters
// (signed bytes, i from 1, 32-bit wrap): "abc" gives "0000056400000126".
// The text is in a static buffer, valid until the next call; a null text
// counts as empty.
char *NlsCalcStrVal(const char *pText);

#endif
