// layout: a page's elements placed in a grid of HTML_ROW_WIDTH-byte rows,
// then the grid compacted into newline-ended lines. A row's text ends at its
// first zero byte; text longer than the rest of its row runs on into the
// next rows' bytes and is kept as one line.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <strings.h>

#include "help/HtmlInternal.h"
#include "help/html.h"
#include "memmgr/MemMgr.h"
#include "utils/utils.h"

// The grid of the page being laid out, reused for every page: it grows to
// hold whatever is written (a long text, a wide or tall table), and the used
// part is cleared before the next page.
static char *pGrid;
static size_t GridSize;  // bytes of pGrid
static size_t GridUsed;  // bytes of pGrid that may be non-zero
// Start offset in the compacted text of each grid row.
static int32_t *pRowStarts;
static size_t RowStartsSize;
// The "a" whose "/a" has not come yet.
static HtmlAnchor *pOpenAnchor;
// Tables being measured or laid out inside each other.
static int TableDepth;
// Tag lookups made: the packed lower-case name and its position in HtmlKeys.
static uint64_t knownTags[256];
static int8_t knownKeys[256];

namespace {

constexpr int32_t W = HTML_ROW_WIDTH;
// Deeper nested tables are left out; bounds the recursion on any input.
constexpr int kTableDepthMax = 32;
// Widths beyond these are taken as these, so that no attribute value can
// make a table that fills the memory.
constexpr long kPixelsMax = 100000;
constexpr int32_t kTableWidthMax = 16384;
constexpr int kTitleMax = 80;
// A page's grid never grows past this; what would lie further is left out.
constexpr size_t kGridMax = size_t{64} << 20;

// Positions in HtmlKeys.
enum {
  K_P = 1,
  K_END_P,
  K_B,
  K_END_B,
  K_FONT,
  K_END_FONT,
  K_A,
  K_END_A,
  K_TR,
  K_END_TR,
  K_BR,
  K_TABLE,
  K_FITAB,
  K_END_TABLE,
  K_TD,
  K_END_TD,
  K_H1,
  K_H6 = K_H1 + 5,
  K_END_H1,
  K_END_H6 = K_END_H1 + 5,
  K_OL,
  K_END_OL,
  K_LI,
  K_END_LI,
  K_DIV,
  K_END_DIV,
  K_IMG,
};

// Position of a tag in HtmlKeys. Every element is looked at several times
// (columns, rows, measure, layout), so the answers are kept by the tag's
// lower-case letters; no known tag is longer than 7 characters.
int TagKey(const HtmlAttr *e)
{
  const char *tag = e->pTag;
  if (!tag)
    return 0;
  uint64_t packed = 0;
  int len = 0;
  for (; tag[len]; ++len) {
    if (len == 7)
      return 0;
    // ASCII case folding: a known tag is letters, digits and "/", and any
    // other byte only has to stay apart from them.
    unsigned char c = static_cast<unsigned char>(tag[len]);
    packed = packed << 8 | (c >= 'A' && c <= 'Z' ? c | 0x20u : c);
  }
  packed |= static_cast<uint64_t>(len) << 56;
  size_t slot = (packed * 0x9E3779B97F4A7C15u) >> 56;
  if (knownTags[slot] != packed) {
    knownTags[slot] = packed;
    knownKeys[slot] = static_cast<int8_t>(FindTokenC(tag, HtmlKeys));
  }
  return knownKeys[slot];
}

List *Body()
{
  return &pCurrentPage->Body;
}

HtmlAttr *Next()
{
  return static_cast<HtmlAttr *>(ListWalk(Body(), 1));
}

// Makes bytes [0, end) of the grid usable, with a zero byte behind them;
// false (nothing changes) beyond the most a page may take.
bool GridReserve(size_t end)
{
  if (end >= kGridMax)
    return false;
  if (end + 1 > GridUsed)
    GridUsed = end + 1;
  if (end < GridSize)
    return true;
  size_t size = std::max<size_t>(GridSize ? GridSize : 64 * W, 1);
  while (size <= end)
    size *= 2;
  void *p = AdjustMemOrDie(pGrid, size);
  pGrid = static_cast<char *>(p);
  GridSize = size;
  return true;
}

size_t Offset(int32_t row, int32_t col)
{
  return static_cast<size_t>(row) * W + static_cast<size_t>(col);
}

// A row's text ends at its first zero byte, so whatever is placed behind a
// gap would not be shown: the gap before (row, col) becomes blanks.
void CloseGap(int32_t row, int32_t col)
{
  size_t start = Offset(row, 0), at = Offset(row, col);
  if (col <= 0 || at > GridSize || pGrid[at - 1])
    return;
  size_t from = at - 1;
  while (from > start && !pGrid[from - 1])
    --from;
  memset(pGrid + from, ' ', at - from);
}

void Fill(int32_t row, int32_t col, char c, int32_t n)
{
  if (n <= 0)
    return;
  size_t at = Offset(row, col);
  if (!GridReserve(at + static_cast<size_t>(n)))
    return;
  CloseGap(row, col);
  memset(pGrid + at, c, static_cast<size_t>(n));
}

void Put(int32_t row, int32_t col, char c)
{
  Fill(row, col, c, 1);
}

// The value of key in white-space separated key=value attributes, quotes
// removed; has is false when the key is absent.
std::string_view AttrValue(const char *attrs, const char *key, bool *has)
{
  *has = false;
  size_t keyLen = strlen(key);
  for (const char *p = attrs; p && *p;) {
    p += strspn(p, " \t\r\n\f\v");
    size_t len = strcspn(p, " \t\r\n\f\v");
    std::string_view token(p, len);
    p += len;
    size_t eq = token.find('=');
    std::string_view name = token.substr(0, eq);
    if (name.size() != keyLen || strncasecmp(name.data(), key, keyLen) != 0)
      continue;
    *has = true;
    if (eq == std::string_view::npos)
      return {};
    std::string_view value = token.substr(eq + 1);
    if (!value.empty() && value.front() == '"')
      value.remove_prefix(1);
    if (!value.empty() && value.back() == '"')
      value.remove_suffix(1);
    return value;
  }
  return {};
}

long Pixels(std::string_view v)
{
  long n = 0;
  for (char c : v) {
    if (!isdigit(static_cast<unsigned char>(c)))
      break;
    n = std::min(n * 10 + (c - '0'), kPixelsMax);
  }
  return n;
}

int32_t ClampWidth(long w)
{
  return static_cast<int32_t>(std::clamp<long>(w, 0, kTableWidthMax));
}

// Walks past the "/table" that closes the table whose start was just walked.
void SkipTable()
{
  int depth = 0;
  while (HtmlAttr *e = Next()) {
    int k = TagKey(e);
    if (k == K_TABLE || k == K_FITAB)
      ++depth;
    else if (k == K_END_TABLE && depth-- == 0)
      return;
  }
}

// Columns and rows of the table starting at the body's walk position, each
// at most HTML_TABLE_MAX, counted in one walk; keeps the walk.
int32_t CountTable(int32_t *rows)
{
  List *body = Body();
  ListNode *saved = body->pCurrent;
  int depth = 0;
  int32_t count = 0, most = 0, trs = 0;
  while (HtmlAttr *e = Next()) {
    int k = TagKey(e);
    if (k == K_TABLE || k == K_FITAB) {
      ++depth;
    } else if (k == K_END_TABLE) {
      if (depth-- == 0)
        break;
    } else if (depth == 0) {
      if (k == K_TR) {
        count = 0;
        ++trs;
      } else if (k == K_TD) {
        most = std::max(most, ++count);
      }
    }
  }
  body->pCurrent = saved;
  *rows = std::min<int32_t>(trs, HTML_TABLE_MAX);
  return std::min<int32_t>(most, HTML_TABLE_MAX);
}

}  // namespace

void PrintText(HtmlFile *, int32_t *row, int32_t *col, const char *text, int32_t len, int fill)
{
  if (len <= 0)
    return;
  size_t at = Offset(*row, *col);
  if (GridReserve(at + static_cast<size_t>(len))) {
    CloseGap(*row, *col);
    if (fill)
      memset(pGrid + at, text[0], static_cast<size_t>(len));
    else
      memcpy(pGrid + at, text, static_cast<size_t>(len));
  }
  if (len < W) {
    *col += len;
  } else {
    *row += len / W;
    *col = len % W;
  }
}

int32_t GetColumnCnt()
{
  int32_t rows;
  return CountTable(&rows);
}

HtmlTable *GetTextTable(HtmlFile *file, HtmlAttr *element, int32_t available)
{
  const char *attrs = element->pTag && element->pAttrData && TagKey(element) == K_TABLE
                          ? static_cast<const char *>(element->pAttrData)
                          : nullptr;
  auto *t = static_cast<HtmlTable *>(HtmlNeedMem(sizeof(HtmlTable)));
  memcpy(element->pTag, "fitab", 5);
  element->pAttrData = t;
  t->RuleWidth = 1;
  if (TableDepth >= kTableDepthMax) {
    SkipTable();  // Height 0 marks a table that is left out
    return t;
  }

  bool has;
  std::string_view v = AttrValue(attrs, "border", &has);
  long border = 0;
  if (has) {
    t->flBorder = 1;
    border = v.empty() ? 1 : Pixels(v);
  }
  long spacing = Pixels(AttrValue(attrs, "cellspacing", &has));
  long padding = Pixels(AttrValue(attrs, "cellpadding", &has));
  std::string_view width = AttrValue(attrs, "width", &has);
  // The rows are counted with the columns: a table's elements are walked
  // once for both, not once more for the rows.
  int32_t cols = CountTable(&t->RowCount);
  t->ColCount = cols;
  if (t->RowCount)
    t->pRowHeights =
        static_cast<int32_t *>(HtmlNeedMem(sizeof(int32_t) * static_cast<size_t>(t->RowCount)));
  t->Padding = static_cast<int32_t>(padding / HTML_PIXELS_PER_COLUMN);
  t->Spacing = static_cast<int32_t>(spacing / HTML_PIXELS_PER_COLUMN);
  if (has) {
    long w = Pixels(width);
    if (width.find('%') == std::string_view::npos)
      t->Width = ClampWidth((w - 2 * padding * cols - (cols + 1L) * (spacing + border)) /
                            HTML_PIXELS_PER_COLUMN);
    else if (available)
      t->Width = ClampWidth(static_cast<long>(available) * w / 100);
  }

  // Column widths from the cells' texts, and those the cells' attributes ask
  // for (set[c]: column c has one).
  int32_t *widths = nullptr, *asked = nullptr;
  char *set = nullptr;
  if (cols) {
    widths = static_cast<int32_t *>(HtmlNeedMem(sizeof(int32_t) * static_cast<size_t>(cols)));
    asked = static_cast<int32_t *>(HtmlNeedMem(sizeof(int32_t) * static_cast<size_t>(cols)));
    set = static_cast<char *>(HtmlNeedMem(static_cast<size_t>(cols)));
  }
  t->pColWidths = widths;
  int32_t row = -1, cell = -1, cellHeight = 0;
  bool rowOpen = false;
  ++TableDepth;
  while (HtmlAttr *e = Next()) {
    bool inCell = rowOpen && cell >= 0 && cell < cols && row < t->RowCount;
    int k = TagKey(e);
    if (!e->pTag) {
      if (inCell) {
        widths[cell] = std::max(
            widths[cell], static_cast<int32_t>(strlen(static_cast<const char *>(e->pAttrData))));
        t->pRowHeights[row] = std::max(t->pRowHeights[row], ++cellHeight);
      }
    } else if (k == K_TR) {
      rowOpen = true;
      cell = -1;
      cellHeight = 0;
      ++row;
    } else if (k == K_END_TR) {
      rowOpen = false;
      cell = -1;
    } else if (k == K_TD) {
      cellHeight = 0;
      ++cell;
      if (t->Width && rowOpen && cell < cols && !set[cell]) {
        std::string_view cw = AttrValue(static_cast<const char *>(e->pAttrData), "width", &has);
        if (has) {
          long w = Pixels(cw);
          asked[cell] = ClampWidth(cw.find('%') == std::string_view::npos
                                       ? w / HTML_PIXELS_PER_COLUMN
                                       : static_cast<long>(t->Width) * w / 100 - 2 * t->Padding -
                                             t->RuleWidth);
          set[cell] = 1;
        }
      }
    } else if (k == K_END_TD) {
      cellHeight = 0;
    } else if (k == K_TABLE || k == K_FITAB) {
      HtmlTable *inner = k == K_TABLE ? GetTextTable(file, e, inCell && set[cell] ? asked[cell] : 0)
                                      : static_cast<HtmlTable *>(e->pAttrData);
      if (k == K_FITAB)
        SkipTable();
      if (inCell) {
        widths[cell] = std::max(widths[cell], inner->Width);
        cellHeight += inner->Height;
        t->pRowHeights[row] = std::max(t->pRowHeights[row], cellHeight);
      }
    } else if (k == K_END_TABLE) {
      break;
    }
  }
  --TableDepth;

  long sum = 0;
  for (int32_t c = 0; c < cols; ++c) {
    if (t->Width && set[c])
      widths[c] = asked[c];
    sum += widths[c];
  }
  if (!t->Width)
    t->Width = ClampWidth(2L * t->Padding * cols + cols + 1 + sum);
  long height = t->RowCount + 1;
  for (int32_t r = 0; r < t->RowCount; ++r)
    height += t->pRowHeights[r];
  t->Height = static_cast<int32_t>(height);
  return t;
}

void DrawTableArea(HtmlFile *, HtmlTable *t)
{
  if (t->Width <= 0 || t->Height <= 0)
    return;
  if (!t->flBorder) {
    for (int32_t r = 0; r < t->Height; ++r)
      Fill(t->Row + r, t->Col, ' ', t->Width);
    return;
  }
  int32_t right = t->Col + t->Width - 1;
  // One line of the frame: ends, the filler between, and the inner column
  // boundaries.
  auto line = [&](int32_t row, char end, char between, char boundary) {
    Fill(row, t->Col, between, t->Width);
    Put(row, t->Col, end);
    Put(row, right, end);
    int32_t at = t->Col;
    for (int32_t c = 0; c + 1 < t->ColCount; ++c) {
      at += 2 * t->Padding + t->pColWidths[c] + 1;
      if (at < right)
        Put(row, at, boundary);
    }
  };
  int32_t row = t->Row;
  for (int32_t r = 0; r < t->RowCount; ++r) {
    line(row++, '|', '-', '+');
    for (int32_t h = 0; h < t->pRowHeights[r]; ++h)
      line(row++, '|', ' ', '|');
  }
  line(row, '\'', '-', '+');
  if (t->RowCount) {
    Put(t->Row, t->Col, ',');
    Put(t->Row, right, ',');
  }
}

int32_t BuildTextBody(HtmlFile *file, HtmlTable *table, int32_t row, int32_t col)
{
  bool inCell = table != nullptr;
  bool ordered = false, skip = false, rowOpen = false;
  int counter = 0;
  int32_t x = col, rowStart = row, cell = -1, rowIndex = 0;
  if (table) {
    DrawTableArea(file, table);
    row = rowStart = table->Row + 1;
    col = x = table->Col + 1;
  }
  auto lineBreak = [&](int n) {
    row += n;
    col = inCell ? x : 0;
  };
  auto endRow = [&] {
    if (rowIndex < table->RowCount)
      row = rowStart + table->pRowHeights[rowIndex] + 1;
    ++rowIndex;
    rowOpen = false;
  };
  while (HtmlAttr *e = Next()) {
    if (!e->pTag) {
      if (!skip)
        PrintText(file, &row, &col, static_cast<const char *>(e->pAttrData), e->AttrLen, 0);
      continue;
    }
    int k = TagKey(e);
    switch (k) {
      case K_P:
        if (!inCell)
          lineBreak(2);
        break;
      case K_END_P:
        if (!inCell)
          lineBreak(1);
        break;
      case K_A: {
        if (skip)  // a cell left out: its links too
          break;
        auto *a = static_cast<HtmlAnchor *>(e->pAttrData);
        a->StartPos = row;
        a->EndPos = col;
        pOpenAnchor = a;
        if (a->AnchorKind == ANCHOR_HREF)
          PrintText(file, &row, &col, "<", 1, 0);
        break;
      }
      case K_END_A:
        if (HtmlAnchor *a = pOpenAnchor) {
          if (a->AnchorKind == ANCHOR_HREF)
            PrintText(file, &row, &col, ">", 1, 0);
          a->TextLen = std::max(col - a->EndPos, 0);
          memcpy(HtmlNeedItem(&pCurrentPage->Links, sizeof a), &a, sizeof a);
          pOpenAnchor = nullptr;
        }
        break;
      case K_TR:
        if (!table)
          break;
        if (rowOpen)  // the previous row was not closed
          endRow();
        rowOpen = true;
        cell = -1;
        x = table->Col + table->Padding + 1;
        rowStart = row;
        col = table->Col + 1;
        skip = rowIndex >= table->RowCount;
        break;
      case K_END_TR:
        if (table && rowOpen)
          endRow();
        break;
      case K_TD:
        if (!table)
          break;
        row = rowStart;
        ++cell;
        skip = !rowOpen || cell >= table->ColCount || rowIndex >= table->RowCount;
        if (cell > 0 && cell <= table->ColCount)
          x += table->pColWidths[cell - 1] + 2 * table->Padding + 1;
        col = x;
        break;
      // "/ol" ends the line, not the list: items behind it go on counting
      // until the next "ol", and a table behind it starts on a line of its own.
      case K_BR:
      case K_END_OL: lineBreak(1); break;
      case K_DIV: lineBreak(1); break;
      case K_END_DIV: lineBreak(2); break;
      case K_OL:
        ordered = true;
        counter = 0;
        break;
      case K_LI:
        if (ordered) {
          char number[24];
          lineBreak(1);
          int n = snprintf(number, sizeof number, "   %i. ", ++counter);
          PrintText(file, &row, &col, number, n, 0);
        }
        break;
      case K_TABLE:
      case K_FITAB: {
        HtmlTable *t;
        if (k == K_TABLE) {
          if (ordered)
            lineBreak(1);
          ListNode *saved = Body()->pCurrent;
          int32_t available =
              table && cell >= 0 && cell < table->ColCount ? table->pColWidths[cell] : 0;
          t = GetTextTable(file, e, available);
          Body()->pCurrent = saved;
        } else {
          t = static_cast<HtmlTable *>(e->pAttrData);
        }
        if (t->Height == 0 || skip) {  // left out
          SkipTable();
          break;
        }
        if (inCell) {
          t->Col = x;
          t->Row = row + (col > x ? 1 : 0);
        } else {
          t->Col = col;
          t->Row = row;
        }
        ++TableDepth;
        BuildTextBody(file, t, t->Row, t->Col);
        --TableDepth;
        row = t->Row + t->Height;
        col = inCell ? x : t->Col;
        break;
      }
      case K_END_TABLE:
        if (table)
          return row;
        break;
      default:
        if (k >= K_H1 && k <= K_H6)
          lineBreak(1);
        else if (k >= K_END_H1 && k <= K_END_H6)
          lineBreak(2);
        break;
    }
  }
  return row;
}

void BuildTextImage(HtmlFile *file)
{
  if (GridUsed)
    memset(pGrid, 0, std::min(GridUsed, GridSize));
  GridUsed = 0;
  GridReserve(0);  // the grid exists; it grows with what is written
  pOpenAnchor = nullptr;
  TableDepth = 0;
  int32_t row = 0, col = 0;
  bool inTitle = false;
  for (ListNode *n = pCurrentPage->Head.pFirst; n; n = n->pNext) {
    auto *e = static_cast<HtmlAttr *>(n->pItem);
    if (e->pTag) {
      if (strcasecmp(e->pTag, "title") == 0)
        inTitle = true;
      else if (strcasecmp(e->pTag, "/title") == 0)
        inTitle = false;
    } else if (inTitle) {
      // Titles are cut to the width they are centred on.
      int32_t len = std::min<int32_t>(e->AttrLen, kTitleMax);
      col = 0;
      PrintText(file, &row, &col, " ", (kTitleMax - len) / 2, 1);
      PrintText(file, &row, &col, static_cast<const char *>(e->pAttrData), len, 0);
      row += 2;
      col = 0;
    }
  }
  Body()->pCurrent = Body()->pFirst;
  pCurrentPage->LineCount = BuildTextBody(file, nullptr, row, 0);
}

void HtmlForgetLayout()
{
  pGrid = nullptr;
  GridSize = GridUsed = 0;
  pRowStarts = nullptr;
  RowStartsSize = 0;
  pOpenAnchor = nullptr;
  TableDepth = 0;
}

void PrintTextImage(HtmlFile *file)
{
  HtmlPage *page = pCurrentPage;
  if (!page || page->pText)
    return;
  BuildTextImage(file);
  // Rows up to the final row; the final row too when text stands on it (a
  // page whose last text has no break behind it).
  int32_t rows = std::min<int32_t>(page->LineCount, kGridMax / W);
  if (Offset(rows, 0) < GridSize && pGrid[Offset(rows, 0)])
    ++rows;
  if (static_cast<size_t>(rows) + 1 > RowStartsSize) {
    size_t n = std::max<size_t>(static_cast<size_t>(rows) + 1, 2 * RowStartsSize);
    void *p = AdjustMemOrDie(pRowStarts, n * sizeof(int32_t));
    pRowStarts = static_cast<int32_t *>(p);
    RowStartsSize = n;
  }
  // First pass: line lengths and row starts; second: the copy.
  size_t total = 0;
  int32_t lines = 0;
  for (int32_t r = 0; r < rows;) {
    size_t at = Offset(r, 0);
    size_t len = at < GridSize ? strlen(pGrid + at) : 0;
    int32_t covered = static_cast<int32_t>(len / W) + 1;
    for (int32_t j = 0; j < covered && r + j < rows; ++j)
      pRowStarts[r + j] = static_cast<int32_t>(total) + j * W;
    total += len + 1;
    ++lines;
    r += covered;
  }
  pRowStarts[rows] = static_cast<int32_t>(total);
  char *text = static_cast<char *>(HtmlNeedMem(total + 1));
  char *out = text;
  for (int32_t r = 0; r < rows;) {
    size_t at = Offset(r, 0);
    size_t len = at < GridSize ? strlen(pGrid + at) : 0;
    if (len)
      memcpy(out, pGrid + at, len);
    out += len;
    *out++ = '\n';
    r += static_cast<int32_t>(len / W) + 1;
  }
  page->pText = text;
  page->LineCount = lines;
  for (ListNode *n = page->Links.pFirst; n; n = n->pNext) {
    HtmlAnchor *a;
    memcpy(&a, n->pItem, sizeof a);
    int32_t row = std::clamp(a->StartPos, 0, rows);
    long start = static_cast<long>(pRowStarts[row]) + a->EndPos;
    a->StartPos = static_cast<int32_t>(std::clamp<long>(start, 0, static_cast<long>(total)));
    a->EndPos = static_cast<int32_t>(
        std::clamp<long>(static_cast<long>(a->StartPos) + a->TextLen, 0, static_cast<long>(total)));
  }
}
