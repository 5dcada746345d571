// HelpTty: the help viewer on a plain terminal. A laid-out help page is
// shown as a text menu: the page text first, then every link of the page as
// a numbered action, then "Exit Help", "Contents" and "Back". Following a
// link moves to another page, a named anchor or another help file, and
// records where the user came from so that "Back" can return there. Help
// texts may also be redirected to the printer help database.
//
// The history and the loaded files persist between calls of the viewer;
// each start of the viewer empties the history. Single-threaded.
#ifndef NORVO_HELP_HELPTTY_H
#define NORVO_HELP_HELPTTY_H

#include <cstddef>
#include <cstdint>

#include "help/html.h"
#include "textmenu/TextMenu.h"

// Where the user was before a move: enough to show that page again.
struct HtmlHistoryEntry {
  int32_t File;       // index of the loaded file
  HtmlPage *pPage;    // the page shown
  int32_t TargetPos;  // offset of the target in the page text, 0 for its top
};

// Moves remembered; later ones are not recorded, so Back goes back at most
// this far.
constexpr int HTML_HISTORY_MAX = 100;

// The help menu: an empty line does not leave it ("Exit Help" does), and
// each move rebuilds the items, so the menu initialises itself again and
// decides on leaving by the item type from before the move.
constexpr uint16_t HELP_MENU_FLAGS =
    MENU_FL_EMPTY_SELECTS | MENU_FL_REINIT | MENU_FL_TYPE_BEFORE | MENU_FL_SINGLE_SPACED;
// Items behind the links: two column starts, Exit Help, Contents, Back and
// the terminating item. With the page text the menu needs this many plus one
// more items than the page has links.
constexpr int HELP_COMMON_ITEMS = 6;
constexpr int HELP_LINK_TEXT_MAX = 127;  // characters of a link's menu label

// A page without a name is this page.
inline constexpr char szHelpContentsPage[] = "contents";

// Redirection: a text holding "$$<key>.redirect" is replaced by the entry
// <key> of the printer help database.
inline constexpr char szRedirectMark[] = "$$";
inline constexpr char szRedirectSuffix[] = ".redirect";  // matched in any case
constexpr int REDIRECT_KEY_SIZE = 64;                    // key buffer: at most 63 characters

// ---- Navigation state (helptty.cpp) ------------------------------------------
extern HtmlHistoryEntry History[HTML_HISTORY_MAX];  // moves, oldest first
extern int32_t HistoryI;                            // entries of History in use
extern int32_t TargetPos;  // offset of the current target in pCurrentPage's text
// Set while a file is loaded or a link followed; HtmlProcessLink waits.
extern uint8_t flBuildingFile;

// ---- Navigation (helptty.cpp) -------------------------------------------------
// Empties the history and loads path (or the buffer, see ParseHtmlFile).
// 1 when loaded; 0, after a message on standard output, when not.
int HtmlHelp(const char *path, char *buffer);
// Follows a link: a "#target" of the current file, "file#target" naming
// the current file, or another file (which records no history). A file that
// cannot be loaded is reported on standard output; the page stays.
void ProcessLink(HtmlAnchor *anchor);
// Moves to the page, or else the named anchor, of that name in the current
// file (a leading "#" is skipped), recording the position left. No match
// changes nothing.
void GoToTarget(const char *target);
// Records the current file, page and target position while there is room.
void SetHistory();
// 0 (Contents): back to the first page of the first file, history emptied.
// -1 (Back): back to the page of the last entry, which is removed. 0 with
// an empty history, which changes nothing; 1 otherwise.
int HtmlSetHistory(int mode);
// Follows the link of the current page whose text covers the offset.
void HtmlProcessLink(int32_t offset);

// ---- The help menu (helpmenu.cpp) -----------------------------------------------
extern TextMenu HelpMenu;               // centred title, HELP_MENU_FLAGS
extern TextMenuItem *HelpMenuItems;     // pool array, grown as pages need
extern int32_t HelpMenuItemCnt;         // its capacity in items
extern char TmpKey[REDIRECT_KEY_SIZE];  // the last redirection key

// Shows help: loads path (or the text of buffer, copied, under that name)
// and runs the help menu on its first page until "Exit Help". Path and
// title must be given (the menu's title is the localized help title). The
// end of standard input ends the process, as in every menu.
void TtyHtmlHelp(const char *path, const char *buffer, const char *title);
// Rebuilds HelpMenu for pCurrentPage: the page text, each listed link as a
// numbered action, then the columns, Exit Help, Contents and Back.
void TtyHelpBuildMenuItems();
// Item actions: follow the item's link; Contents; Back. Each rebuilds the
// menu after a move and returns 0 (success: the menu stays).
intptr_t TtyHelpGotoLink(TextMenu *menu, TextMenuItem *item);
intptr_t TtyHelpContents();
intptr_t TtyHelpBack();

// ---- Redirection (helpmenu.cpp) -------------------------------------------------
// The key of a "$$<key>.redirect" mark of text (the "." is overwritten by a
// zero byte, so the key is terminated inside text), or null.
char *FindRedirect(char *text);
// With a redirection mark in buffer (size bytes): TmpKey = the key (at most
// REDIRECT_KEY_SIZE - 1 characters), buffer = the key's text in the printer
// help database (the key itself when it has none), cut to size - 1
// characters; returns TmpKey. Null, buffer unchanged, without a mark.
char *CheckForRedirect(char *buffer, size_t size);
// The same for a buffer of NLS_STRBUF_SIZE bytes (the size of a fetched
// message), which the caller must provide.
char *CheckForRedirect(char *buffer);

#endif
