// html: the help viewer's reader and page layout. A help file (or an HTML
// text in memory) holds one or more pages; each page keeps the elements of
// its head and body as flat lists of tags and text runs in document order,
// and is laid out once as plain text for a character terminal: a centred
// title, paragraphs, numbered lists, links between "<" and ">", and tables
// drawn with ASCII borders.
//
// Loaded files stay loaded for the life of the process (at most
// HTML_MAX_FILES of them) and are found again by name; their pages are laid
// out once, when the file is loaded. Single-threaded.
#ifndef NORVO_HELP_HTML_H
#define NORVO_HELP_HTML_H

#include <cstdint>

#include "list/List.h"

// All records below live in pool memory. The lists are embedded: a
// zero-filled List is a valid empty list, so a fresh record needs no set-up.

// One loaded file. The parser writes zero bytes into pContent, and the
// strings of the page model point into it, so it lives as long as the file.
struct HtmlFile {
  char *pFileName;  // the name as loaded, without "file://" and "#target"
  char *pContent;   // the whole text (or the caller's buffer)
  char *pParse;     // parse position in pContent
  List Pages;       // HtmlPage records in file order
};

// One page of a file.
struct HtmlPage {
  char *pPageName;    // null for an unnamed page
  char *pText;        // the laid-out text; null until laid out
  List Head;          // HtmlAttr elements of the head
  List Body;          // HtmlAttr elements of the body
  List Links;         // items hold HtmlAnchor pointers, in text order
  int32_t LineCount;  // lines of pText
};

// One element: a tag or a text run.
struct HtmlAttr {
  char *pTag;  // tag name as written ("td", "/td"); null for text
  // Tag: the raw attribute text after the name, or null. Text run: the
  // text. "a" tag: its HtmlAnchor. Table after measuring: its HtmlTable.
  void *pAttrData;
  int32_t AttrLen;  // length of the text first stored in pAttrData
};

// One "a" tag.
struct HtmlAnchor {
  char *pTarget;  // value of its "name" or "href", without quotes
  // Row and column while the page is laid out, then offsets into pText.
  int32_t StartPos;
  int32_t EndPos;
  int32_t TextLen;     // columns of the anchor text, link marks included
  int32_t AnchorKind;  // ANCHOR_*
};

// AnchorKind.
enum : int32_t {
  ANCHOR_NONE = 0,  // neither "name" nor "href"
  ANCHOR_NAME = 1,  // a target inside a page
  ANCHOR_HREF = 2,  // a link
};

// A measured table; it replaces the data of its "table" element, whose tag
// is renamed "fitab" so that the layout places it without measuring again.
struct HtmlTable {
  int32_t Col;  // top-left position in the grid
  int32_t Row;
  int32_t Width;  // columns and rows, borders included
  int32_t Height;
  int32_t Padding;       // cellpadding in columns
  int32_t Spacing;       // cellspacing in columns
  int32_t RuleWidth;     // 1: the rule between cells, taken off percent cell widths
  uint8_t flBorder;      // the "border" attribute is present
  int32_t *pRowHeights;  // RowCount heights
  int32_t *pColWidths;   // ColCount widths
  int32_t RowCount;
  int32_t ColCount;
};

constexpr int HTML_MAX_FILES = 100;        // files loaded at once
constexpr int HTML_ROW_WIDTH = 132;        // characters per row of the layout grid
constexpr int HTML_PIXELS_PER_COLUMN = 7;  // HTML widths to terminal columns
constexpr int HTML_TABLE_MAX = 1000;       // rows and columns of one table

// Character references the reader knows: keyword list of the names with
// their ';' (matched in exact case). Entity k stands for the ISO 8859-1
// character 0xA0 + k - 1. Entry 26 is spelled "supl;".
constexpr int HTML_ENTITY_COUNT = 96;
inline constexpr char HTMLKeys[] =
    ",nbsp;,iexcl;,cent;,pound;,curren;,yen;,brvbar;,sect;,uml;,copy;,"
    "ordf;,laquo;,not;,shy;,reg;,macr;,deg;,plusmn;,sup2;,sup3;,acute;,"
    "micro;,para;,middot;,cedil;,supl;,ordm;,raquo;,frac14;,frac12;,frac34;,"
    "iquest;,Agrave;,Aacute;,Acirc;,Atilde;,Auml;,Aring;,AElig;,Ccedil;,"
    "Egrave;,Eacute;,Ecirc;,Euml;,Igrave;,Iacute;,Icirc;,Iuml;,ETH;,Ntilde;,"
    "Ograve;,Oacute;,Ocirc;,Otilde;,Ouml;,times;,Oslash;,Ugrave;,Uacute;,"
    "Ucirc;,Uuml;,Yacute;,THORN;,szlig;,agrave;,aacute;,acirc;,atilde;,"
    "auml;,aring;,aelig;,ccedil;,egrave;,eacute;,ecirc;,euml;,igrave;,"
    "iacute;,icirc;,iuml;,eth;,ntilde;,ograve;,oacute;,ocirc;,otilde;,ouml;,"
    "divide;,oslash;,ugrave;,uacute;,ucirc;,uuml;,yacute;,thorn;,yuml;,";
// Indexed by the 1-based position a keyword search gives (index 0 unused):
// the length of entity k's name with its ';', so the reader can skip it.
inline constexpr int HTMLKeySizes[HTML_ENTITY_COUNT + 1] = {
    0, 5, 6, 5, 6, 7, 4, 7, 5, 4, 5, 5, 6, 4, 4, 4, 5, 4, 7, 5, 5, 6, 6, 5, 7,
    6, 5, 5, 6, 7, 7, 7, 7, 7, 7, 6, 7, 5, 6, 6, 7, 7, 7, 6, 5, 7, 7, 6, 5, 4,
    7, 7, 7, 6, 7, 5, 6, 7, 7, 7, 6, 5, 7, 6, 6, 7, 7, 6, 7, 5, 6, 6, 7, 7, 7,
    6, 5, 7, 7, 6, 5, 4, 7, 7, 7, 6, 7, 5, 7, 7, 7, 7, 6, 5, 7, 6, 5,
};
// The same index: the byte entity k is written as.
inline constexpr unsigned char HTMLChars[HTML_ENTITY_COUNT + 1] = {
    0x00, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xAB, 0xAC,
    0xAD, 0xAE, 0xAF, 0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA,
    0xBB, 0xBC, 0xBD, 0xBE, 0xBF, 0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8,
    0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF, 0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6,
    0xD7, 0xD8, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF, 0xE0, 0xE1, 0xE2, 0xE3, 0xE4,
    0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xEB, 0xEC, 0xED, 0xEE, 0xEF, 0xF0, 0xF1, 0xF2,
    0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF,
};
// The three tables are kept by hand; a slip in one would garble text.
static_assert(
    [] {
      int k = 0, len = 0;
      for (const char *p = HTMLKeys + 1; *p != '\0'; ++p) {
        if (*p != ',') {
          ++len;
          continue;
        }
        if (++k > HTML_ENTITY_COUNT || HTMLKeySizes[k] != len || HTMLChars[k] != 0xA0 + k - 1)
          return false;
        len = 0;
      }
      return k == HTML_ENTITY_COUNT;
    }(),
    "HTMLKeySizes and HTMLChars must follow HTMLKeys");

// Tags the layout knows, as a keyword list (matched in any case); other tags
// are ignored. "fitab" is a table already measured.
inline constexpr char HtmlKeys[] =
    ",p,/p,b,/b,font,/font,a,/a,tr,/tr,br,table,fitab,/table,td,/td,"
    "h1,h2,h3,h4,h5,h6,/h1,/h2,/h3,/h4,/h5,/h6,ol,/ol,li,/li,div,/div,img,";

// ---- Loaded files (html.cpp) -------------------------------------------------
extern HtmlFile *aFile[HTML_MAX_FILES];  // loaded files, in load order
extern int32_t FileIndex;                // slots of aFile in use
extern int32_t CurrentFile;              // slot of the file shown
extern HtmlPage *pCurrentPage;           // the page shown (or being laid out)

// ---- Reader (html.cpp) ------------------------------------------------------
// Loads name ("file://" prefix allowed, "#target" allowed; "http://" is
// refused), or uses buffer instead of reading the file when buffer is not
// null, and lays out all its pages. The buffer must be a terminated text
// that lives as long as the process: the page model points into it and the
// reader writes into it. A file already loaded is not read again; it becomes
// current at its first page. With a target, the viewer then moves to the
// page or named anchor of that name. Null when nothing could be read, the
// text has no page, or HTML_MAX_FILES files are loaded already.
HtmlFile *ParseHtmlFile(const char *name, char *buffer);
// The loaded file with exactly this name, made the current file; or null.
HtmlFile *FindHtmlFile(const char *name);
// Appends the elements of one section from the file's parse position to
// list, folding white space and replacing character references in place.
// Null when the closing tag of the section was read; the file when the text
// ended first (a tag without its ">" ends the text).
HtmlFile *ParseHtml(HtmlFile *file, List *list, const char *section);
// Appends one element: a tag (name, raw attribute text or null) or, with a
// null name, a text run. An "a" tag gets its HtmlAnchor from the attributes
// name= and href= (quotes removed; data is split in place).
HtmlAttr *AddAtribute(List *list, char *name, char *data);
// The text between the next "<" and its ">" (both overwritten by zero
// bytes), or null when there is no complete tag left.
char *GetKeyWord(HtmlFile *file);

// ---- Layout (layout.cpp) ----------------------------------------------------
// Lays out pCurrentPage unless it has its text already: pText becomes the
// page as lines ending in "\n" (pool memory owned by the page), LineCount
// their number, and every anchor of Links gets text offsets.
void PrintTextImage(HtmlFile *file);
// Places the title and lays out the body of pCurrentPage into the grid.
void BuildTextImage(HtmlFile *file);
// Lays out body elements from the body's walk position; with a table, that
// table's frame and cells up to its "/table". Gives the row reached.
int32_t BuildTextBody(HtmlFile *file, HtmlTable *table, int32_t row, int32_t col);
// Measures the table whose "table" element is the body element last walked
// (available: the width in columns a percent width refers to, 0 for none);
// renames the element "fitab" and makes the table its data. The walk is left
// behind the table's "/table".
HtmlTable *GetTextTable(HtmlFile *file, HtmlAttr *element, int32_t available);
// Columns of the table starting at the body's walk position: the most "td"
// of one "tr" outside nested tables, at most HTML_TABLE_MAX. Keeps the walk.
int32_t GetColumnCnt();
// Draws a placed table's frame (or its blank area) into the grid.
void DrawTableArea(HtmlFile *file, HtmlTable *table);
// Writes len characters of text (fill: len copies of its first) at
// (*row, *col) and moves the position behind them; the grid grows to hold
// them.
void PrintText(HtmlFile *file, int32_t *row, int32_t *col, const char *text, int32_t len, int fill);

#endif
