// Help navigation through real files: links to pages, anchors and other
// files, the history behind Back and Contents, the help menu's items, the
// redirection to the printer help database, and the help menu of the demo
// program driven in a real terminal (tmux).
#include "HelpTest.h"

#include <unistd.h>

#include "nls/NlsUtils.h"
#include "textmenu/TmuxTerm.h"

namespace {

using Navigation = HelpTest;
using HelpMenuItems_ = HelpTest;

const char kMain[] = "<html><body>Start <a href=\"#sec\">Sec</a> <a href=\"#mark\">Mark</a>"
                     "<a href=\"other.html#two\">Other</a><a href=\"missing.html\">Gone</a>"
                     "<a href=\"http://example.org/\">Web</a><a href=\"main.html#sec\">Self</a>"
                     "</body></html>"
                     "<html page=\"sec\"><body>Section</body></html>"
                     "<html page=\"third\"><body>Third<br><br>x <a name=\"mark\">here</a>"
                     "</body></html>";
const char kOther[] =
    "<html><body>One</body></html>"
    "<html page=\"two\"><body>Two <a href=\"main.html#sec\">back</a></body></html>";

HtmlPage *PageNamed(HtmlFile *f, const char *name)
{
  for (ListNode *n = f->Pages.pFirst; n; n = n->pNext) {
    auto *p = static_cast<HtmlPage *>(n->pItem);
    if (p->pPageName && strcmp(p->pPageName, name) == 0)
      return p;
  }
  return nullptr;
}

TEST_F(Navigation, PagesAnchorsAndOtherFiles)
{
  std::string main = Write("main.html", kMain);
  Write("other.html", kOther);
  ASSERT_EQ(HtmlHelp(main.c_str(), nullptr), 1);
  HtmlFile *f = aFile[0];
  HtmlPage *first = pCurrentPage;
  // A page of the same file.
  ProcessLink(LinkN(first, 1));
  EXPECT_EQ(pCurrentPage, PageNamed(f, "sec"));
  EXPECT_EQ(TargetPos, 0);
  EXPECT_EQ(HistoryI, 1);
  // A named anchor: its page, at the anchor's offset.
  pCurrentPage = first;
  ProcessLink(LinkN(first, 2));
  HtmlPage *third = PageNamed(f, "third");
  ASSERT_EQ(pCurrentPage, third);
  EXPECT_EQ(std::string(third->pText + TargetPos, 4), "here");
  EXPECT_EQ(HistoryI, 2);
  // Another file, linked by a name relative to this file's directory, at
  // its target; then back into the first file, which is loaded already.
  ProcessLink(LinkN(first, 3));
  ASSERT_EQ(FileIndex, 2);
  EXPECT_EQ(CurrentFile, 1);
  EXPECT_EQ(pCurrentPage, PageNamed(aFile[1], "two"));
  ProcessLink(LinkN(pCurrentPage, 1));
  EXPECT_EQ(CurrentFile, 0);
  EXPECT_EQ(pCurrentPage, PageNamed(f, "sec"));
  EXPECT_EQ(FileIndex, 2);
  // The current file's own name before "#": a move inside it.
  pCurrentPage = first;
  ProcessLink(LinkN(first, 6));
  EXPECT_EQ(pCurrentPage, PageNamed(f, "sec"));
  // Files that cannot be read: reported, the page stays.
  pCurrentPage = first;
  testing::internal::CaptureStdout();
  ProcessLink(LinkN(first, 4));
  ProcessLink(LinkN(first, 5));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Error in reading file missing.html\nError in reading file http://example.org/\n");
  EXPECT_EQ(pCurrentPage, first);
  EXPECT_EQ(flBuildingFile, 0);
}

TEST_F(Navigation, BackContentsAndOffsets)
{
  std::string main = Write("main.html", kMain);
  ASSERT_EQ(HtmlHelp(main.c_str(), nullptr), 1);
  HtmlPage *first = pCurrentPage;
  HtmlPage *sec = PageNamed(aFile[0], "sec");
  // Contents and Back without a move change nothing.
  EXPECT_EQ(HtmlSetHistory(0), 0);
  EXPECT_EQ(HtmlSetHistory(-1), 0);
  // A text offset inside a link follows it; one outside does not.
  HtmlAnchor *link = LinkN(first, 1);
  HtmlProcessLink(link->StartPos - 1);
  EXPECT_EQ(pCurrentPage, first);
  HtmlProcessLink(link->StartPos + 2);
  EXPECT_EQ(pCurrentPage, sec);
  EXPECT_EQ(History[0].TargetPos, link->StartPos + 2);
  // 150 moves: the first 100 are kept, Back returns through them.
  for (int i = 0; i < 150; ++i)
    GoToTarget(i % 2 ? "#sec" : "third");
  EXPECT_EQ(HistoryI, HTML_HISTORY_MAX);
  int backs = 0;
  while (HtmlSetHistory(-1) == 1)
    ++backs;
  EXPECT_EQ(backs, HTML_HISTORY_MAX);
  EXPECT_EQ(pCurrentPage, first);
  // Contents: the first page of the first file, history emptied.
  GoToTarget("sec");
  GoToTarget("nothing of that name");
  EXPECT_EQ(HistoryI, 1);
  EXPECT_EQ(HtmlSetHistory(0), 1);
  EXPECT_EQ(pCurrentPage, first);
  EXPECT_EQ(HistoryI, 0);
  // A new start empties the history; a failed one says why.
  GoToTarget("sec");
  testing::internal::CaptureStdout();
  EXPECT_EQ(HtmlHelp((dir + "/none.html").c_str(), nullptr), 0);
  char empty[] = "";
  EXPECT_EQ(HtmlHelp("mem", empty), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Error in reading HTML file " + dir + "/none.html\nError reading HTML buffer\n");
  EXPECT_EQ(HistoryI, 0);
}

TEST_F(HelpMenuItems_, LinksThenExitContentsBackAndRedirection)
{
  pToolPath = const_cast<char *>(NORVO_BINARY_DIR "/share/norvo");
  pDrvCoreDB = NlsOpenDB("CoreString", 0);
  ASSERT_NE(pDrvCoreDB, nullptr);
  ASSERT_NE(Load("<html><body><a href=\"#a\">First link</a> and <a href=\"b.html\">Second</a>"
                 "<a name=\"contents\">self</a></body></html>"),
            nullptr);
  TtyHelpBuildMenuItems();
  TextMenuItem *items = HelpMenu.pItems;
  EXPECT_EQ(items[0].pLabel, pCurrentPage->pText);
  EXPECT_STREQ(items[1].pLabel, "First link");
  EXPECT_STREQ(items[2].pLabel, "Second");
  EXPECT_EQ(items[2].pUserData, LinkN(pCurrentPage, 2));
  EXPECT_EQ(items[3].Type, ITEM_COLUMNS);
  EXPECT_EQ(items[4].Type, ITEM_COLUMNS);
  EXPECT_STREQ(items[5].pLabel, "~e Exit Help");
  EXPECT_EQ(items[5].Type, ITEM_ACTION_LEAVE);
  EXPECT_STREQ(items[6].pLabel, "~c Contents");
  EXPECT_EQ(items[6].Key, 'c');
  EXPECT_STREQ(items[7].pLabel, "~b Back");
  EXPECT_EQ(items[8].pLabel, nullptr);
  EXPECT_STREQ(HelpMenu.pTitle, "Norvo Help");
  EXPECT_STREQ(pCurrentPage->pPageName, "contents");

  // A redirected text is replaced by the printer help database's entry.
  std::string db = dir + "/PrtHelp.ndb";
  std::string cmd = std::string(NORVO_BINARY_DIR "/ndbtool ") + db +
                    " put printer 'The printer help.' >/dev/null";
  ASSERT_EQ(system(cmd.c_str()), 0);
  pPrtHelpDB = DbTOpen(db.c_str(), 0);
  ASSERT_NE(pPrtHelpDB, nullptr);
  char text[64] = "see $$printer.redirect now";
  EXPECT_STREQ(CheckForRedirect(text, sizeof text), "printer");
  EXPECT_STREQ(text, "The printer help.");
  char small[32] = "$$printer.REDIRECT";
  EXPECT_STREQ(CheckForRedirect(small, 8), "printer");
  EXPECT_STREQ(small, "The pri");
  char missing[32] = "$$nokey.redirect";
  EXPECT_STREQ(CheckForRedirect(missing, sizeof missing), "nokey");
  EXPECT_STREQ(missing, "nokey");
  static char whole[NLS_STRBUF_SIZE] = "$$printer.redirect";
  EXPECT_STREQ(CheckForRedirect(whole), "printer");
  EXPECT_STREQ(whole, "The printer help.");
  char none[] = "$$key.other";
  EXPECT_EQ(CheckForRedirect(none, sizeof none), nullptr);
}

// ---- The demo's help menu in a real terminal --------------------------------

// Waits for text on the terminal and gives the screen; a failure shows it.
std::string Shows(const TmuxTerm &term, const std::string &text)
{
  bool seen = term.WaitFor(text);
  std::string screen = term.Screen();
  EXPECT_TRUE(seen) << "never shown: \"" << text << "\"\n" << screen;
  return screen;
}

TEST(DemoTerminal, HelpKeyOpensTheHelpMenu)
{
  ASSERT_EQ(access(DemoPath().c_str(), X_OK), 0) << DemoPath();
  TmuxTerm term("LANG=C " + DemoPath(), 100, 60);
  ASSERT_TRUE(term.Started());
  Shows(term, "Select");
  term.Type("h");
  std::string s = Shows(term, "Norvo Help");
  for (const char *text : {"Printer Setup Help", " 1) Connections", " 3) Storing the answers",
                           " e) Exit Help", " c) Contents", " b) Back"})
    EXPECT_NE(s.find(text), std::string::npos) << text << "\n" << s;
  term.Type("1");
  s = Shows(term, "How the printer is connected");
  EXPECT_NE(s.find(" 1) Paper and trays"), std::string::npos) << s;
  term.Type("1");
  Shows(term, "or dropped by its number");
  term.Type("b");
  Shows(term, "How the printer is connected");
  term.Type("3");  // nothing has that number here: the page stays
  term.Type("c");
  Shows(term, "The printer setup dialogue");
  term.Type("3");
  s = Shows(term, "Settings files");
  EXPECT_NE(s.find("Back to the <connections>"), std::string::npos) << s;
  term.Type("1");
  Shows(term, "How the printer is connected");
  term.Type("e");
  s = Shows(term, "Type a number, or a number and a value.");
  EXPECT_EQ(s.find("Norvo Help"), std::string::npos) << s;
}

}  // namespace
