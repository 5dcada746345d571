// TextMenu: full-screen, line-oriented menus on a character terminal.
//
// A caller describes a menu as static data: a TextMenu record pointing to an
// array of TextMenuItem records, which the menu loop prints, lets the user
// pick from and edit, and stores to or loads from settings files. The help
// viewer builds its pages as menus of the same records.
//
// Each section below belongs to one source file of this folder: the
// records and their codes first, then the screen image of the pick screens
// (screen.cpp), settings files (settings.cpp), the menu loop (loop.cpp), the
// model and its state languages (menu.cpp, state.cpp), entry validation
// (validate.cpp) and the prompts (prompt.cpp). Everything is single-threaded: the condition
// evaluator, the validator's kept messages and the pass-phrase reader use module state.
#ifndef NORVO_TEXTMENU_H
#define NORVO_TEXTMENU_H

#include <cstdint>

#include "utils/utils.h"

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

// ---- Screen image (screen.cpp) --------------------------------------------
// The pick screens are composed in a ScreenImage and printed in one pass.
// Cursor movement and clearing come from the terminal's terminfo entry (TERM);
// without one, ANSI sequences are sent. Writes into the image never leave it.
constexpr int CUR_LINE_BUF_SIZE = 4096;  // Refresh prints at most 4095 columns

extern ScreenImage *pCurImage;              // the current image; null before the first pick screen
extern char CurLineBuf[CUR_LINE_BUF_SIZE];  // one row on its way to the terminal
// Frame texts of the pick screen, fetched once by the first pick screen and
// kept for the process: save hint (its first character is the save key),
// cancel hint (likewise), current selection ("%s"), the same for a cut
// selection, and the input prompt.
extern char *NPATTYMENU_SAVE;
extern char *NPATTYMENU_CANCEL;
extern char *NPATTYMENU_CURSEL;
extern char *NPATTYMENU_CURSELTRUNC;
extern char *NPATTYMENU_OPTION;

// The image for the terminal as it is now: Width and Height from the
// terminal (TIOCGWINSZ, else LINES and COLUMNS, else 80x24), pData resized
// to fit and filled with blanks. Null makes a new image in pool memory; the
// image lives for the process. Running out of memory ends the process.
ScreenImage *GetTermInfo(ScreenImage *image);
// Clears the terminal and every cell of the image.
void ClearScreen(ScreenImage *image);
// Places the terminal cursor at column col (from 0) of row (from 1).
void MoveCursor(ScreenImage *image, int col, int row);
// Sets the write position (CurCol from 0, CurRow from 1).
void SetPosition(ScreenImage *image, int col, int row);
// Sets the overlay box: left column, top row, text width and text rows.
void SetOvlInfo(ScreenImage *image, int col, int row, int width, int height);
// Formats (at most 511 characters) into the image at the write position,
// running on into the next rows and cut at the image's end. A row outside
// 1..Height writes on row 1, a column outside 0..Width at column 0. The
// write position stays.
void WriteString(ScreenImage *image, const char *fmt, ...) NORVO_PRINTF(2, 3);
// Fills the rectangle (rows from 0 here) with ch, clipped to the image.
void FillArea(ScreenImage *image, int col, int row, int width, int height, int ch);
// Prints the image row by row at the cursor; a '\n' cell ends its row early,
// and the last cell is never printed so that the terminal does not scroll.
// Returns 0.
int Refresh(ScreenImage *image);
// Draws a box of asterisks with text (OvlWidth characters a line, '\n' ends
// a line) at the overlay place; with wait a "Press enter" line is added and
// one character is read. The cursor returns to the write position.
void Overlay(ScreenImage *image, const char *text, int wait);
// Fills the image with a test pattern of digits (24 rows of 80 at most).
void NumberScreen(ScreenImage *image);
// Writes the pick screen's frame: item's label centred on row 1, the save and
// cancel hints on row Height - 2, the current selection (cut to the width)
// on row Height - 1, the input prompt on the last row.
void WriteScreenFrame(ScreenImage *image, TextMenuItem *item, const char *selection);

// ---- Settings files (settings.cpp) ----------------------------------------
// A settings file holds the values of pick-one, text, integer and float items
// of a menu and of its sub-menus, one line each: "%i[%i] %i %i" (index,
// value, type, state), "%i[%s] %i %i" for texts, "%i[%.3f] %i %i" for
// floats; a sub-menu's lines are framed by "%i{" and "}".
extern char flLoadedSettings;  // set to 1 by every LoadMenu; the toolkit does not read it

// Writes the lines of menu and of every sub-menu ValidateMenu gives to pOut,
// which the caller opens and closes.
void StoreMenu(TextMenu *menu);
// Reads lines of the current input file (OpenInputFile) into menu until the
// end of the file or a block end, which runs the menu's first ITEM_APPLY
// action. A text is read to the line's last ']' and cut to MENU_TEXT_SIZE;
// lines that name no item or do not fit the format are skipped; a stored
// type replaces the item's only when both hold the same kind of value.
void LoadMenu(TextMenu *menu);

// ---- Menu loop (loop.cpp) -------------------------------------------------
// Menus are printed as numbered lines on standard output and driven by lines
// read from standard input into LineBuf. The end of standard input anywhere
// in a menu ends the process: message 1016 through SysError, status 1.
constexpr int CURRENT_SELECTION_SIZE = 64;

extern char *pOption;        // the argument after the selection word, inside LineBuf
extern char flExitTextMenu;  // set: every running menu leaves after its selection
// The help page of the h key (MENU_FL_HELP): name, data and title ("Help").
extern const char *pTtyHtmlName;
extern const char *pTtyHtmlData;
extern const char *pTtyHtmlTitle;
extern char CurrentSelection[CURRENT_SELECTION_SIZE];  // the pick screen's selection line
extern int CurScreenCol;  // first choice column of the pick screen's next page

// Runs menu: loads the settings file path first when given (when it cannot
// be opened, the first ITEM_ACTION_EXIT item's action runs instead and its
// result, or the item, or 0 without one, is returned). Interactive: the
// menu is shown until the user leaves; returns 0. Otherwise pfnApply runs
// and its result (the menu itself without one) is returned.
intptr_t RunMenu(TextMenu *menu, const char *path, int interactive);
// Clears the terminal and prints title, items and footer; returns the number
// of items.
int PrintMenu(TextMenu *menu, int longest, int titleWidth);
// Prints the row or column group that item (ITEM_BAR or ITEM_COLUMNS) starts;
// advances *counter over its followers and *number over their display
// numbers, and returns the group's last item.
TextMenuItem *PrintMenuBarItem(TextMenuItem *item, int type, int *counter, int *number);
// The 1-based index of the item LineBuf selects among the first count items
// (a number or a key letter), 0 for none; sets pOption. Runs the h and s keys
// of the menu's flags (STORE_EXIT ends the process with status 0).
int FindSelection(TextMenu *menu, int ignored, int count);
// Lets item index do its work with the argument arg (may be empty); 1 when
// its value or state changed successfully.
int ProcessSelection(TextMenu *menu, int index, char *arg);
// The pick screen dialogue of item index, paging through its choices.
void ProcessStateValue(TextMenu *menu, int index, char *arg);
// Draws the pick screen page starting at choice first (0: a new dialogue,
// the layout is made and the terminal size checked); returns the number of
// choices shown, 0 on the last page of several, -1 when there is nothing to
// show or the terminal is too small. Hidden choices set their bit (below 32)
// in *hiddenMask.
int PrintPickOneManyScreen(TextMenuItem *item, uint32_t *hiddenMask, int first);

// Pass-phrase reader: the most characters one entry keeps.
constexpr int PASSPHRASE_MAX = 256;

// ---- Menu model (menu.cpp) ------------------------------------------------
// Choice lists are split at commas by the shared tokenizer, so these calls
// move its scan and overwrite GetTokenBuf (which pCurChoice points into).

// Prepares every item for a run (lengths, keys, choice counts, start values,
// text buffers from the pool, state formats) and returns the longest label
// length; 0 for an empty array. The second argument is not read.
int InitMenu(TextMenu *menu, int unused);
// Returns the text buffers of ITEM_NAME and ITEM_STRING items to the pool and
// clears their Value.
void FreeMenu(TextMenu *menu);
// Sets pCurChoice from Value; a pick-one item whose choice is hidden steps to
// the next visible one (wrapping), at most ChoiceCount steps.
void UpdateStateSelection(TextMenuItem *item);
// Marks choice n (0-based) hidden by writing a blank over its first character,
// then updates the current choice. n < 0 or a missing choice does nothing.
void HideStateSelection(TextMenuItem *item, int n);
// Marks choice n shown by writing '_' over its first character; returns the
// choice inside pChoices, null when n < 0 or there is no such choice.
char *ShowStateSelection(TextMenuItem *item, int n);
// True when every ITEM_NAME item before the end or the first hidden item is
// filled in; otherwise tells the user (message 25/1011), waits for one line
// of standard input and gives false.
bool TestNames(TextMenu *menu);
// The first item of the given type, null when none.
TextMenuItem *FindTextMenuItem(TextMenu *menu, int32_t type);
// Lays the choices of a pick item in columns of Height - 6 rows (at least 1)
// and stores each column's widest choice (marker not counted) in widths,
// which the caller zeroes and sizes for ChoiceCount entries. Returns the
// widest column; 0 when image or item is null.
int GetColumnWidths(const ScreenImage *image, const TextMenuItem *item, int *widths);

// ---- States and conditions (state.cpp) ------------------------------------
// Item indices in state references and formats are 0-based positions in the menu's
// array; an index outside it names no item (tests false, changes nothing).

// Modes of TestStateCondition besides a condition text.
#define COND_IN_PARENS ((const char *)0)    // inside parentheses: up to ')'
#define COND_ONE_OPERAND ((const char *)1)  // one operand only

// Tests "I.V", "+I.V" or "-I.V" (item I, cur + I or cur - I, value V):
// 0 when the item's Value is not V (or the reference names no item), 1 when
// it is V and the item is active, 2 when it is V and the item is not active.
int TestState(TextMenu *menu, const char *ref, int cur);
// Evaluates a condition text of TestState operands joined by & | ! ( ) and
// A (the operand's item equals and is inactive). A text starts a new
// evaluation; the two modes continue the one in progress (one static read
// position: conditions are evaluated one at a time). Nesting deeper than
// 200 levels gives false.
bool TestStateCondition(TextMenu *menu, const char *cond, int cur);
// The sub-menu item index opens: null when the item is not active, Value
// without a condition list, else the sub-menu (in the array Value points to)
// of the first blank-separated condition of pFormat that holds; null if none.
TextMenu *ValidateMenu(TextMenu *menu, int index);
// True when list (decimal numbers between any other characters) holds value
// or a '*'.
bool TestFormatState(const char *list, intptr_t value);
// Applies the state format of item index (groups N H P S, each a command with
// a value list and its targets) when the item is active. N greys and H hides
// the targets while the group matches; S sets a target's value then, putting
// the replaced one aside once and giving it back once the group stops
// matching; P runs the targets' own formats and actions (no deeper than 16,
// at most 1000 of them in one call).
void ProcessStateFormat(TextMenu *menu, int index);

// ---- Entry validation (validate.cpp) --------------------------------------
// Problems are shown through PostMsg (which waits for a line); the result
// is a VALID_* code. Messages come from the core message database.

// Range messages fetched on the first ValidateEntry with a format and kept
// for the process (pool memory, never released).
extern char *pErrIntRange;    // 25/1003, "%i to %i"
extern char *pErrFloatRange;  // 25/1004, "%x to %x"
extern char *pErrLongRange;   // 25/1024, two long doubles

// Checks entry (null counts as empty) against a validation format; null or
// empty format: VALID_OK.
int ValidateEntry(const char *entry, const char *format);
// Length (range "(min,max)") then digits-only check, each problem shown:
// VALID_OK, VALID_LENGTH or VALID_CHARACTER.
int ValidateEntryTty(const char *entry, const char *range);
// Null when the entry's length lies in the range (4..4 without one), else
// the length message in NlsBuf (overwritten by the next call).
char *ValidateEntryLen(const char *entry, const char *range);
// The first character of entry that is not a decimal digit, 0 when none.
int ValidateEntryDigit(const char *entry);
// Reads "(min,max)": stores min (0 for null) and returns max.
int getMinMax(const char *range, int *min);
// True when text holds only letters, digits, '_' and '-'; otherwise tells the
// user (25/1002 and 25/1000), waits for one line and gives false.
bool TestName(const char *text);

// ---- Prompts, messages and pass phrase (prompt.cpp) -----------------------
// Lines are read with Gets from standard input into LineBuf unless stated.

// Asks "<question>? [y/n] " (the question is a format for the arguments)
// until a line starts with y (1) or n (0). End of input answers 0.
int PromptYN(const char *question, ...) NORVO_PRINTF(1, 2);
// Prints prompt (a format without arguments) and reads a line: into buf
// (4096 bytes) and gives buf, or with buf null gives a saved string of at
// most 1023 characters that the caller releases with PutMem.
char *PromptUser(const char *prompt, char *buf);
// Prints the message and "Press <Return> to continue" (25/1001), then reads
// a line; gives what Gets gives (null at end of input).
char *PostMsg(const char *fmt, ...) NORVO_PRINTF(1, 2);
// Reads a pass phrase of at most PASSPHRASE_MAX characters from the
// controlling terminal (else standard input, prompting on standard error)
// with echo off, within one time limit (60 s) for the whole entry. Terminal
// modes and the actions of SIGINT, SIGHUP, SIGQUIT, SIGTERM, SIGTSTP,
// SIGTTIN and SIGTTOU are restored before a caught signal is sent again (a
// terminating one may end the process there); after a stop and continue
// the prompt starts anew. Saved string; errno is as the read left it.
char *GetPassPhrase(const char *prompt);
// The reader's signal handler: notes the signal.
void handler(int n);
// For tests: sets the reader's time limit in seconds (<= 0 restores 60) and
// gives the previous one.
int PassPhraseTimeLimit(int seconds);

#endif
