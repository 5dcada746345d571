// HelpTty: the help viewer on a plain terminal. A laid-out help page is
// shown as a text menu: the page text first, then every link of the page as
// a numbered action, then "Exit Help", "Contents" and "Back". Following a
// link moves to another page, a named anchor or another help file, and
// records where the user came from so that "Back" can return there. Help
// texts may also be redirected to the printer help database.
//
// Only the history record and the constants are here for now; the
// navigation, the help menu and the redirection functions are not part of
// the library yet.
#ifndef NORVO_HELP_HELPTTY_H
#define NORVO_HELP_HELPTTY_H

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

#endif
