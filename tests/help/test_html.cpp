// The help reader and layout: pages, text runs and references, whole laid-out
// pages, link offsets, and files that are malformed or too big for the
// fixed sizes.
#include "HelpTest.h"

namespace {

using Reader = HelpTest;
using Layout = HelpTest;
using Limits = HelpTest;

HtmlPage *Page(HtmlFile *f, int n)
{
  return static_cast<HtmlPage *>(ListFindItemN(&f->Pages, n));
}

std::string ElementText(HtmlPage *page, int n)
{
  auto *e = static_cast<HtmlAttr *>(ListFindItemN(&page->Body, n));
  return e && !e->pTag ? static_cast<const char *>(e->pAttrData) : "<tag>";
}

TEST_F(Reader, PagesNamesSkippedPagesAndFoldedText)
{
  HtmlFile *f = Load("<html><body>Hello   \n world</body></html>"
                     "<html page=\"a\"><body>A</body></html>"
                     "<html SkipPage><body>gone</body></HTML>"
                     "<html PAGE=\"b\"><head><title>T</title></head><body>B</body></html>");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(f->Pages.nItems, 3);
  EXPECT_EQ(Page(f, 1)->pPageName, nullptr);
  EXPECT_EQ(Page(f, 1)->Body.nItems, 1);
  EXPECT_EQ(ElementText(Page(f, 1), 1), "Hello world");
  EXPECT_STREQ(Page(f, 2)->pPageName, "a");
  EXPECT_STREQ(Page(f, 3)->pPageName, "b");
  EXPECT_EQ(Page(f, 3)->Head.nItems, 3);
  EXPECT_EQ(pCurrentPage, Page(f, 1));

  // Behind a skipped first page, the next "html" still opens the first page.
  EXPECT_EQ(Text("<html SkipPage><body>gone</body></html><html><body>kept</body></html>"),
            "kept\n");
  EXPECT_EQ(Load("no tags at all"), nullptr);
  EXPECT_EQ(ParseHtmlFile("http://example.org/help.html", nullptr), nullptr);
}

TEST_F(Reader, CharacterReferences)
{
  HtmlFile *f = Load("<html><body>&EACUTE; x&EACUTE; &eacute;&#65;&#321;"
                     "&QUOT;&nbsp;&yuml;&supl;&amp; &unknownlongname;</body></html>");
  ASSERT_NE(f, nullptr);
  // EACUTE is no entity: its "&" opens no run, and inside one it is text.
  EXPECT_EQ(ElementText(Page(f, 1), 1), "EACUTE; x&EACUTE; \xE9"
                                        "AA\"\xA0\xFF\xB9"
                                        "&amp; &unknownlongname;");
}

TEST_F(Reader, AnchorsAndTheirAttributes)
{
  HtmlFile *f = Load("<html><body><a href=\"other.html#x\">L</a><A NAME=top>T</A>"
                     "<a class=c>N</a></body></html>");
  ASSERT_NE(f, nullptr);
  HtmlPage *p = Page(f, 1);
  ASSERT_EQ(p->Links.nItems, 3);
  EXPECT_STREQ(LinkN(p, 1)->pTarget, "other.html#x");
  EXPECT_EQ(LinkN(p, 1)->AnchorKind, ANCHOR_HREF);
  EXPECT_STREQ(LinkN(p, 2)->pTarget, "top");
  EXPECT_EQ(LinkN(p, 2)->AnchorKind, ANCHOR_NAME);
  EXPECT_EQ(LinkN(p, 3)->AnchorKind, ANCHOR_NONE);
}

TEST_F(Reader, FilesAreReadOnceAndTargetsFollowed)
{
  std::string path = Write("help.htm", "<html><body>Top</body></html>"
                                       "<html page=\"intro\"><body>Intro</body></html>");
  HtmlFile *f = ParseHtmlFile(("file://" + path + "#intro").c_str(), nullptr);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->pFileName, path);
  EXPECT_STREQ(pCurrentPage->pPageName, "intro");
  // A second load finds the file loaded: changed contents are not read.
  Write("help.htm", "<html><body>Changed</body></html>");
  EXPECT_EQ(ParseHtmlFile(path.c_str(), nullptr), f);
  EXPECT_EQ(FileIndex, 1);
  EXPECT_STREQ(pCurrentPage->pText, "Top\n");
  // The target is reached also when the file is loaded already.
  EXPECT_EQ(ParseHtmlFile((path + "#intro").c_str(), nullptr), f);
  EXPECT_STREQ(pCurrentPage->pPageName, "intro");
  EXPECT_EQ(FindHtmlFile("help.htm"), nullptr);
}

TEST_F(Layout, TitleParagraphsHeadingsAndLinkOffsets)
{
  HtmlFile *f = Load("<html><head><title>Help</title></head><body>"
                     "<h2>Start</h2>Read <a href=\"#n\">Next</a>, then<br>go"
                     "<p>Para</p><a name=\"m\">mark</a></body></html>");
  ASSERT_NE(f, nullptr);
  HtmlPage *p = Page(f, 1);
  std::string title = Repeat(' ', 38) + "Help\n";
  EXPECT_EQ(std::string(p->pText), title + "\n\nStart\n\nRead <Next>, then\ngo\n\nPara\nmark\n");
  HtmlAnchor *next = LinkN(p, 1);
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(next->EndPos - next->StartPos, 6);
  EXPECT_EQ(std::string(p->pText + next->StartPos, 6), "<Next>");
  HtmlAnchor *mark = LinkN(p, 2);
  EXPECT_EQ(std::string(p->pText + mark->StartPos, mark->TextLen), "mark");
}

TEST_F(Layout, OrderedLists)
{
  // "/ol" breaks the line but leaves the list on: a later item goes on
  // counting, a new list starts again at 1, and a table behind a list gets a
  // line break of its own.
  EXPECT_EQ(Text("<html><body>Steps:<ol><li>one</li><li>two<li>three</ol>"
                 "<li>plain<ol><li>again</ol><table border><tr><td>t</td></tr></table>"
                 "</body></html>"),
            "Steps:\n   1. one\n   2. two\n   3. three\n\n   4. plain\n   1. again\n\n"
            ",-,\n|t|\n'-'\n");
}

TEST_F(Layout, BorderedTables)
{
  EXPECT_EQ(Text("<html><body><table border><tr><td>a</td><td>b</td></tr></table>"
                 "</body></html>"),
            ",-+-,\n|a|b|\n'-+-'\n");
  // Placed behind text: the rows below get blanks in front, or the frame
  // would stand behind the end of their text, unseen.
  EXPECT_EQ(Text("<html><body>Intro: <table border><tr><td>a</td></tr></table></body></html>"),
            "Intro: ,-,\n       |a|\n       '-'\n");
  // Cells give the widths, padding (14 pixels: 2 columns) surrounds them, and
  // each text element of a cell is one line.
  HtmlFile *f = Load("<html><body><table border cellpadding=14>"
                     "<tr><td>Name</td><td>Value</td></tr>"
                     "<tr><td>x<br>y</td><td>1</td></tr></table>after</body></html>");
  ASSERT_NE(f, nullptr);
  EXPECT_STREQ(Page(f, 1)->pText, ",--------+---------,\n"
                                  "|  Name  |  Value  |\n"
                                  "|--------+---------|\n"
                                  "|  x     |  1      |\n"
                                  "|  y     |         |\n"
                                  "'--------+---------'\n"
                                  "after\n");
  auto *table = static_cast<HtmlAttr *>(ListFindItemN(&Page(f, 1)->Body, 1));
  EXPECT_STREQ(table->pTag, "fitab");
  auto *t = static_cast<HtmlTable *>(table->pAttrData);
  EXPECT_EQ(t->Padding, 2);
  EXPECT_EQ(t->Width, 20);
  EXPECT_EQ(t->Height, 6);
}

TEST_F(Layout, TableWidthAttributes)
{
  // 280 pixels less three one-pixel borders: 39 columns; a cell of 70
  // pixels: 10; the other column keeps its text's width inside the frame.
  EXPECT_EQ(Text("<html><body><table border width=280><tr><td width=70>a</td>"
                 "<td>b</td></tr></table></body></html>"),
            "," + Repeat('-', 10) + "+" + Repeat('-', 26) + ",\n" + "|a" + Repeat(' ', 9) + "|b" +
                Repeat(' ', 25) + "|\n" + "'" + Repeat('-', 10) + "+" + Repeat('-', 26) + "'\n");
  // A percent cell takes its share of the table less the rule.
  HtmlFile *f = Load("<html><body><table width=\"350\"><tr><td width=\"50%\">a</td>"
                     "<td>b</td></tr></table></body></html>");
  auto *t = static_cast<HtmlTable *>(
      static_cast<HtmlAttr *>(ListFindItemN(&Page(f, 1)->Body, 1))->pAttrData);
  EXPECT_EQ(t->Width, 50);
  EXPECT_EQ(t->pColWidths[0], 24);
  EXPECT_EQ(t->pColWidths[1], 1);
  // A percent width at top level has nothing to refer to: sized by cells.
  EXPECT_EQ(Text("<html><body><table border width=\"50%\"><tr><td>abc</td></tr>"
                 "</table></body></html>"),
            ",---,\n|abc|\n'---'\n");
}

TEST_F(Layout, NestedTables)
{
  EXPECT_EQ(Text("<html><body><table border cellpadding=7>"
                 "<tr><td>name</td><td>value</td></tr>"
                 "<tr><td>x</td><td><table border><tr><td>in1</td><td>in2</td></tr>"
                 "<tr><td>z</td></tr></table></td></tr>"
                 "<tr><td>y</td><td>text<table><tr><td>q</td></tr></table></td></tr>"
                 "</table></body></html>"),
            ",------+-----------,\n"
            "| name | value     |\n"
            "|------+-----------|\n"
            "| x    | ,---+---, |\n"
            "|      | |in1|in2| |\n"
            "|      | |---+---| |\n"
            "|      | |z  |   | |\n"
            "|      | '---+---' |\n"
            "|------+-----------|\n"
            "| y    | text      |\n"
            "|      |           |\n"
            "|      |  q        |\n"
            "|      |           |\n"
            "'------+-----------'\n");
}

TEST_F(Limits, LongTextAndTitleStayInsideTheirArrays)
{
  std::string word = Repeat('w', 1000), cell = Repeat('c', 100);
  HtmlFile *f = Load("<html><head><title>" + Repeat('t', 200) + "</title></head><body>" + word +
                     "<br><table border><tr><td>" + cell + "</td></tr></table>" +
                     "<a href=\"#x\">end</a></body></html>");
  ASSERT_NE(f, nullptr);
  std::string text = Page(f, 1)->pText;
  EXPECT_EQ(text, Repeat('t', 80) + "\n\n" + word + "\n," + Repeat('-', 100) + ",\n|" + cell +
                      "|\n'" + Repeat('-', 100) + "'\n<end>\n");
  HtmlAnchor *a = LinkN(Page(f, 1), 1);
  EXPECT_EQ(text.substr(static_cast<size_t>(a->StartPos), 5), "<end>");
  // Wider than a row: the rows run into each other, inside the grid.
  EXPECT_NE(Load("<html><body><table border><tr><td>" + word + "</td><td>" + word +
                 "</td></tr><tr><td>x</td></tr></table>" + word + "</body></html>"),
            nullptr);
}

TEST_F(Limits, TablesOverAThousandRowsOrColumnsAreCut)
{
  std::string cells, rows;
  for (int i = 0; i < 1100; ++i)
    cells += "<td>c</td>";
  for (int i = 0; i < 1100; ++i)
    rows += "<tr><td>r</td></tr>";
  cells += "<td><a href=\"#z\">cut</a></td>";  // in a column past the cut
  HtmlFile *f = Load("<html><body><table border><tr>" + cells + "</tr></table>" + "<table>" + rows +
                     "</table>tail</body></html>");
  ASSERT_NE(f, nullptr);
  HtmlPage *p = Page(f, 1);
  auto table = [&](int n) {
    return static_cast<HtmlTable *>(static_cast<HtmlAttr *>(ListFindItemN(&p->Body, n))->pAttrData);
  };
  EXPECT_EQ(table(1)->ColCount, HTML_TABLE_MAX);
  EXPECT_EQ(table(1)->Width, 2 * HTML_TABLE_MAX + 1);
  int second = 1 + 1 + 1100 * 3 + 5 + 2 + 1;  // behind the first table's elements
  EXPECT_EQ(table(second)->RowCount, HTML_TABLE_MAX);
  EXPECT_EQ(table(second)->Height, 2 * HTML_TABLE_MAX + 1);
  std::string text = p->pText;
  EXPECT_EQ(text.substr(text.size() - 5), "tail\n");
  EXPECT_EQ(p->Links.nItems, 0);
  EXPECT_EQ(text.find("cut"), std::string::npos);
}

TEST_F(Limits, AHundredAndFirstFileIsRefused)
{
  for (int i = 0; i < HTML_MAX_FILES; ++i)
    ASSERT_NE(Load("<html><body>page</body></html>"), nullptr) << i;
  EXPECT_EQ(Load("<html><body>one too many</body></html>"), nullptr);
  EXPECT_EQ(FileIndex, HTML_MAX_FILES);
}

TEST_F(Limits, MalformedTextNeverReadsPastItsEnd)
{
  const char *texts[] = {
      "<html><body>unclosed <b",
      "<html><body>a lone < b and more",
      "<html><body>ends with &",
      "<html><body>ends with &eacute",
      "<html><body>ends with &#23",
      "<html><body><a href=\"open>x</a></body></html>",
      "<html><body><table border width=\"9><tr><td>x",
      "<html><body><table><tr><td><table><tr><td>deep",
      "<html page=\"unterminated><body>x</body></html>",
      "<html><body>&",
      "<html",
      "<",
      "<html><head><title>t",
      "<html><body></a></td></tr></table><td>x</tr><tr>",
  };
  for (const char *t : texts) {
    SCOPED_TRACE(t);
    HtmlFile *f = Load(t);
    for (ListNode *n = f ? f->Pages.pFirst : nullptr; n; n = n->pNext)
      EXPECT_NE(static_cast<HtmlPage *>(n->pItem)->pText, nullptr);
  }
  EXPECT_EQ(Text("<html><body>kept&#66"), "keptB\n");
  // A page far too long for any screen: what lies past the largest grid is
  // left out.
  std::string tall = "<html><body>";
  for (int i = 0; i < 600000; ++i)
    tall += "<br>";
  std::string text = Text(tall + "end</body></html>");
  EXPECT_GT(text.size(), 500000u);
  EXPECT_EQ(text.find("end"), std::string::npos);
  std::string deep;
  for (int i = 0; i < 200; ++i)
    deep += "<table border><tr><td>";
  EXPECT_NE(Load("<html><body>" + deep + "x</body></html>"), nullptr);
}

}  // namespace
