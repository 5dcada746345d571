// TextMenu: full-screen, line-oriented menus on a character terminal.
//
// A caller describes a menu as static data: a TextMenu record pointing to an
// array of TextMenuItem records, which the menu loop prints, lets the user
// pick from and edit, and stores to or loads from settings files. The help
// viewer builds its pages as menus of the same records.
//
// Only the records and their codes are here for now; the menu functions
// (initialisation, validation, the screen image, the menu loop, settings
// files, prompts) are not part of the library yet.
#ifndef NORVO_TEXTMENU_H
#define NORVO_TEXTMENU_H

#include <cstdint>

struct TextMenu;
struct TextMenuItem;

// Callback results are one word that the menu loop may hand back to the
// caller of a menu as it is: 0 means success for an action, and a run
// without callback hands back the menu or item itself, so the word must hold
// a pointer.
using MenuApplyFn = intptr_t (*)(TextMenu *menu);
using MenuRefreshFn = void (*)(TextMenu *menu);
using MenuActionFn = intptr_t (*)(TextMenu *menu, TextMenuItem *item);

// One menu. Menus are static data of the caller and are never copied.
struct TextMenu {
  // Title; its first line (up to \n or \r) gives the width used to align it.
  const char *pTitle;
  int32_t TitleAlign;  // MENU_ALIGN_*
  // Yes/no question asked when a changed menu is left; null: none.
  const char *pApplyQuestion;
  MenuApplyFn pfnApply;  // applies the settings; also run non-interactively
  void *pReserved;       // not read by the toolkit; the caller's own word
  // Parent menu, null for a top menu; its title names the way back.
  TextMenu *pParent;
  MenuRefreshFn pfnRefresh;  // when the menu starts and after each "stay"
  TextMenuItem *pItems;      // ends with an item whose pLabel is null
  uint16_t Flags;            // MENU_FL_*
};

// TitleAlign.
enum : int32_t {
  MENU_ALIGN_LEFT = 0,     // "title:" on its own line
  MENU_ALIGN_CENTRED = 1,  // centred on 80 columns
  MENU_ALIGN_RIGHT = 2,    // ending at column 80
};

// Flags: option bits of a menu.
enum : uint16_t {
  // An empty line tries a selection instead of leaving; no exit hint.
  MENU_FL_EMPTY_SELECTS = 0x0001,
  // Key h opens the help page named by the menu loop's help globals.
  MENU_FL_HELP = 0x0002,
  // Leaving through an action item keeps the entry buffers.
  MENU_FL_KEEP_ENTRIES = 0x0004,
  // Key s asks for a file name and stores the settings there.
  MENU_FL_STORE_ASK = 0x0008,
  // Key s stores the settings in ".settings" and ends the process (status 0).
  MENU_FL_STORE_EXIT = 0x0010,
  // A successful ITEM_ACTION initialises the menu again.
  MENU_FL_REINIT = 0x0040,
  // The leave decision uses the item type read before the selection
  // (loading settings during a selection can change it).
  MENU_FL_TYPE_BEFORE = 0x0080,
  // One newline between items instead of a blank line.
  MENU_FL_SINGLE_SPACED = 0x0100,
};

// One menu item: sixteen words. Default, Value, PrevValue and SavedValue
// hold an integer, a float's bits or a pointer depending on Type, so they
// are pointer-sized integers.
struct TextMenuItem {
  // Label; null ends the array. "~k text": key letter k, text from the
  // fourth character (the third is a separator).
  const char *pLabel;
  int32_t Type;         // ITEM_*
  int32_t State;        // ITEM_STATE_*
  const char *pPrompt;  // printed before an entry is read (entry types)
  // Comma-separated choices of a pick item. A leading blank hides a choice,
  // a leading '_' shows it; hiding and showing rewrite that character in
  // place, so the text must be writable.
  char *pChoices;
  // Current choice of ITEM_PICK_ONE as the tokenizer returned it: valid
  // until the tokenizer's next call, null when there is none.
  const char *pCurChoice;
  // Integer (pick and integer items), float bits (ITEM_FLOAT) or text
  // pointer (text items).
  intptr_t Default;
  // Pick one: 0-based index of the choice. Pick many: bit k set when choice
  // k + 1 is chosen. Text items: a MENU_TEXT_SIZE pool buffer. Integer, float
  // bits. Sub-menu: the TextMenu, or with a condition list an array of them.
  intptr_t Value;
  intptr_t PrevValue;      // Value before the most recent change
  MenuActionFn pfnAction;  // meaning per type; may be null
  int32_t LabelLen;        // set when the menu is initialised
  // Sub-menu: condition list; pick items: state format; entry items:
  // validation format. Null: none.
  const char *pFormat;
  // Value put aside by a state command, -1 when none. Callers start it at -1.
  intptr_t SavedValue;
  int32_t ChoiceCount;  // set when the menu is initialised (pick items)
  void *pUserData;      // the owner's; the toolkit does not read it
  // Selection key, set when the menu is initialised: 0 for the layout types,
  // the key letter of a "~" label, else the item's running number.
  int32_t Key;
};

// Item types (Type). The numbers are stored in static menus and in settings
// files, so they never change.
enum : int32_t {
  ITEM_TEXT = 0,          // text line, no key
  ITEM_BAR = 1,           // starts a row group
  ITEM_PLAIN = 2,         // numbered line without key or action
  ITEM_COLUMNS = 3,       // column layout of all following items
  ITEM_APPLY = 4,         // all names must be set, then as ITEM_ACTION_EXIT
  ITEM_ACTION_EXIT = 5,   // action; success leaves the menu
  ITEM_ACTION_LEAVE = 6,  // as ITEM_ACTION_EXIT
  ITEM_ACTION = 7,        // action; success stays in the menu
  ITEM_SUBMENU = 8,       // runs a sub-menu
  ITEM_PICK_ONE = 9,      // one choice of pChoices
  ITEM_PICK_MANY = 10,    // any set of choices (at most MENU_PICK_MANY_MAX)
  ITEM_NAME = 11,         // text that must not be empty when applied
  ITEM_STRING = 12,       // text
  ITEM_INT = 13,          // integer
  ITEM_FLOAT = 14,        // float, shown with three decimals
};

// Item states (State).
enum : int32_t {
  ITEM_STATE_ACTIVE = 0,    // numbered and selectable
  ITEM_STATE_INACTIVE = 1,  // shown indented without number, not selectable
  ITEM_STATE_HIDDEN = 2,    // neither shown nor selectable
};

constexpr int MENU_TEXT_SIZE = 256;     // Value buffer of ITEM_NAME / ITEM_STRING
constexpr int MENU_PICK_MANY_MAX = 32;  // choices a pick-many bit mask can hold

// Results of the entry validators.
enum : int {
  VALID_OK = 0,         // valid, also for no or an empty format
  VALID_RANGE = 1,      // number out of range, or a second '.' in a float
  VALID_LENGTH = 2,     // length out of range
  VALID_CHARACTER = 3,  // character not allowed
  VALID_FORBIDDEN = 4,  // the entry is a forbidden word
};

// In-memory image of the terminal in which the pick screens are composed
// before they are sent in one pass.
struct ScreenImage {
  int32_t Width;   // terminal columns
  int32_t Height;  // terminal rows
  // Owned by the terminal layer (size query, cursor, clearing); the menu
  // code never reads it.
  intptr_t TermData[8];
  int32_t CurCol;     // write position, column from 0
  int32_t CurRow;     // write position, row from 1
  int32_t OvlCol;     // overlay box: left column
  int32_t OvlRow;     // overlay box: top row
  int32_t OvlWidth;   // overlay box: text width
  int32_t OvlHeight;  // overlay box: text rows
  char *pData;        // Width x Height characters, row by row, unterminated
};

// Pass-phrase reader: the most characters one entry keeps.
constexpr int PASSPHRASE_MAX = 256;

#endif
