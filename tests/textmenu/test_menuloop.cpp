// The menu loop in a real terminal: the demo program under tmux.
#include <sys/stat.h>

#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "common/ChildProcess.h"
#include "common/TempDir.h"
#include "textmenu/MenuTestSupport.h"
#include "textmenu/TextMenu.h"
#include "textmenu/TmuxTerm.h"

namespace {

constexpr char kFooter[] = "Select a number or s for store settings in a file or h for help";
constexpr char kPickPrompt[] = "Enter numbers, or <Return> for more choices:";

// The line of the screen that holds text, or "".
std::string LineWith(const std::string &screen, const std::string &text)
{
  std::istringstream in(screen);
  for (std::string line; std::getline(in, line);) {
    if (line.find(text) != std::string::npos) {
      return line;
    }
  }
  return "";
}

TEST(MenuLoopTerminal, MenuTextNumbersKeysAndArguments)
{
  TmuxTerm t(ShellQuote(DemoPath()), 80, 24);
  ASSERT_TRUE(t.Started());
  ASSERT_TRUE(t.WaitFor(kFooter)) << t.Screen();
  std::string s = t.Settled();
  // Centred title, numbered items with dots and values, a greyed item
  // without number, hidden and conditional items left out, the key letters.
  EXPECT_EQ(LineWith(s, "Printer Setup"), std::string(33, ' ') + "Printer Setup") << s;
  EXPECT_NE(s.find(" 1) Printer name ........................... []"), std::string::npos) << s;
  EXPECT_NE(s.find(" 3) Connection ............................. [1. Parallel port]"),
            std::string::npos)
      << s;
  EXPECT_NE(s.find("\n    Port number ............................ [515]"), std::string::npos) << s;
  EXPECT_EQ(s.find("Serial line"), std::string::npos) << s;
  EXPECT_EQ(s.find("connection"), std::string::npos) << s;
  EXPECT_NE(s.find(" 9) Paper trays ............................ [default]"), std::string::npos);
  EXPECT_NE(s.find(" a) Apply and leave                     q) Quit without applying"),
            std::string::npos)
      << s;

  // A number alone steps a pick-one item; its state format shows the serial
  // sub-menu.
  t.Type("3");
  ASSERT_TRUE(t.WaitFor("[2. Serial line]")) << t.Screen();
  EXPECT_TRUE(t.WaitFor(" 4) Serial line")) << t.Screen();
  // A number and an argument: the third choice at once; the port number
  // becomes active and set, the condition list offers the network menu.
  t.Type("3 3");
  ASSERT_TRUE(t.WaitFor("[3. Network (TCP/IP)]")) << t.Screen();
  s = t.Settled();
  EXPECT_NE(s.find(" 6) Port number ............................ [9100]"), std::string::npos) << s;
  EXPECT_NE(s.find(" 5) Network connection"), std::string::npos) << s;
  EXPECT_EQ(s.find(" 4) Serial line"), std::string::npos) << s;

  // Entries: with an argument, through the prompt, and a refused value.
  t.Type("1 laser_1");
  ASSERT_TRUE(t.WaitFor("[laser_1]")) << t.Screen();
  t.Type("10");
  ASSERT_TRUE(t.WaitFor("Copies of each page (1 to 99): ")) << t.Screen();
  t.Type("5");
  ASSERT_TRUE(t.WaitFor("10) Copies ................................. [5]")) << t.Screen();
  t.Type("10 500");
  ASSERT_TRUE(t.WaitFor("This number must be between 1 to 99.")) << t.Screen();
  t.Type("");
  ASSERT_TRUE(t.WaitFor(kFooter)) << t.Screen();
  EXPECT_NE(t.Settled().find("[5]"), std::string::npos);

  // The float entry shows three decimals; a sub-menu opens and returns.
  t.Type("11 2.25");
  ASSERT_TRUE(t.WaitFor("[2.250]")) << t.Screen();
  t.Type("5");
  ASSERT_TRUE(t.WaitFor("Network connection:")) << t.Screen();
  t.Type("1 print-server");
  ASSERT_TRUE(t.WaitFor("[print-server]")) << t.Screen();
  t.Type("");
  ASSERT_TRUE(t.WaitFor("Do you want to return to Printer Setup menu? [y/n] ")) << t.Screen();
  t.Type("y");
  ASSERT_TRUE(t.WaitFor(kFooter)) << t.Screen();

  // The pass phrase is read without echo.
  t.Type("13");
  ASSERT_TRUE(t.WaitFor("Pass phrase of the printer (not shown): ")) << t.Screen();
  t.Type("secret words");
  ASSERT_TRUE(t.WaitFor("The pass phrase has 12 characters.")) << t.Screen();
  EXPECT_EQ(t.Screen().find("secret"), std::string::npos);
  t.Type("");
  ASSERT_TRUE(t.WaitFor(kFooter)) << t.Screen();

  // A key letter in upper case selects its item: quitting leaves at once.
  t.Type("Q");
  ASSERT_TRUE(t.WaitFor("EXIT=0")) << t.Screen();
  EXPECT_NE(t.Screen().find("Leaving without applying the settings."), std::string::npos);
}

TEST(MenuLoopTerminal, LeavingAsksToApplyAndToExit)
{
  // Unchanged: no apply question, the exit question names the program; n
  // shows the menu again.
  {
    TmuxTerm t(ShellQuote(DemoPath()), 80, 24);
    ASSERT_TRUE(t.WaitFor(kFooter)) << t.Screen();
    t.Type("");
    ASSERT_TRUE(t.WaitFor("Do you want to exit printerdemo? [y/n] ")) << t.Screen();
    EXPECT_EQ(t.Screen().find("Apply the printer settings"), std::string::npos);
    t.Type("n");
    ASSERT_TRUE(t.WaitFor(kFooter)) << t.Screen();
    t.Type("");
    ASSERT_TRUE(t.WaitFor("Do you want to exit printerdemo? [y/n] ")) << t.Screen();
    t.Type("y");
    ASSERT_TRUE(t.WaitFor("EXIT=0")) << t.Screen();
  }
  // Changed: the apply question first; yes with the name empty is refused
  // and the menu stays; with the name set the settings are applied.
  {
    TmuxTerm t(ShellQuote(DemoPath()), 80, 24);
    ASSERT_TRUE(t.WaitFor(kFooter)) << t.Screen();
    t.Type("10 3");
    ASSERT_TRUE(t.WaitFor("[3]")) << t.Screen();
    t.Type("");
    ASSERT_TRUE(t.WaitFor("Apply the printer settings? [y/n] ")) << t.Screen();
    t.Type("y");
    ASSERT_TRUE(t.WaitFor("All names must be set before applying setup.")) << t.Screen();
    t.Type("");
    ASSERT_TRUE(t.WaitFor(kFooter)) << t.Screen();
    t.Type("1 hall");
    ASSERT_TRUE(t.WaitFor("[hall]")) << t.Screen();
    t.Type("");
    ASSERT_TRUE(t.WaitFor("Apply the printer settings? [y/n] ")) << t.Screen();
    t.Type("y");
    ASSERT_TRUE(t.WaitFor("EXIT=0")) << t.Screen();
    std::string s = t.Screen();
    EXPECT_NE(s.find("printer hall"), std::string::npos) << s;
    EXPECT_NE(s.find("copies 3"), std::string::npos) << s;
  }
}

TEST(MenuLoopTerminal, PickManyPagesSaveAndCancel)
{
  TmuxTerm t(ShellQuote(DemoPath()), 80, 24);
  ASSERT_TRUE(t.WaitFor(kFooter)) << t.Screen();
  t.Type("9");
  ASSERT_TRUE(t.WaitFor(kPickPrompt)) << t.Screen();
  std::string s = t.Settled();
  // 24 rows leave 18 for choices: the first page ends with choice 18.
  EXPECT_EQ(LineWith(s, "Paper trays"), std::string(34, ' ') + "Paper trays") << s;
  EXPECT_NE(s.find(" ->  1) Tray 1: upper cassette (250 sheets)"), std::string::npos) << s;
  EXPECT_NE(s.find("18) Tray 18"), std::string::npos) << s;
  EXPECT_EQ(s.find("19) Tray 19"), std::string::npos) << s;
  EXPECT_NE(s.find("s = save and return                     c = cancel changes"), std::string::npos)
      << s;
  EXPECT_NE(s.find("Current selection: Tray 1: upper cassette (250 sheets)"), std::string::npos);

  t.Type("");  // the next page
  ASSERT_TRUE(t.WaitFor("25) Tray 25")) << t.Screen();
  EXPECT_EQ(t.Screen().find("18) Tray 18"), std::string::npos);
  t.Type("20, 22");
  ASSERT_TRUE(t.WaitFor(" -> 22) Tray 22")) << t.Screen();
  s = t.Settled();
  EXPECT_NE(s.find(" -> 20) Tray 20"), std::string::npos) << s;
  EXPECT_NE(s.find("\n    21) Tray 21"), std::string::npos) << s;
  EXPECT_NE(s.find("Current selection: Tray 20: continuous forms tractor Tray 22"),
            std::string::npos)
      << s;
  t.Type("");  // from the last page back to the first
  ASSERT_TRUE(t.WaitFor(" 1) Tray 1")) << t.Screen();
  t.Type("c");  // cancel: the value at entry comes back
  ASSERT_TRUE(t.WaitFor(kFooter)) << t.Screen();
  EXPECT_NE(t.Settled().find("Paper trays ............................ [default]"),
            std::string::npos);

  t.Type("9 1 2 3");  // an argument works as the first input line
  ASSERT_TRUE(t.WaitFor(" ->  3) Tray 3")) << t.Screen();
  EXPECT_EQ(t.Settled().find(" ->  1) Tray 1"), std::string::npos);
  t.Type("s");
  ASSERT_TRUE(t.WaitFor("Paper trays ............................ [2,3]")) << t.Screen();
}

TEST(MenuLoopTerminal, TooSmallTerminalIsRefusedAndSevenRowsWork)
{
  {
    TmuxTerm t(ShellQuote(DemoPath()), 80, 6);
    ASSERT_TRUE(t.WaitFor("xit:")) << t.Screen();
    t.Type("9");
    ASSERT_TRUE(t.WaitFor("This terminal is too small for the selection screen.")) << t.Screen();
    std::string s = t.Settled();
    EXPECT_NE(s.find("It has 80 columns and 6 rows;"), std::string::npos) << s;
    EXPECT_NE(s.find("columns and 7 rows are needed."), std::string::npos) << s;
    t.Type("x");
    // The menu comes back; the rest of the key's line is no selection.
    ASSERT_TRUE(t.WaitFor("too small", false)) << t.Screen();
    ASSERT_TRUE(t.WaitFor("xit:")) << t.Screen();
    EXPECT_EQ(t.Settled().find("Do you want to exit"), std::string::npos) << t.Screen();
  }
  {
    TmuxTerm t(ShellQuote(DemoPath()), 80, 7);
    ASSERT_TRUE(t.WaitFor("xit:")) << t.Screen();
    t.Type("9");
    ASSERT_TRUE(t.WaitFor(kPickPrompt)) << t.Screen();
    std::string s = t.Settled();
    // One row per column, and only one of these columns fits 80 columns.
    EXPECT_NE(s.find(" 1) Tray 1"), std::string::npos) << s;
    EXPECT_EQ(s.find(" 2) Tray 2"), std::string::npos) << s;
    EXPECT_EQ(s.find("too small"), std::string::npos) << s;
  }
}

TEST(MenuLoopTerminal, OtherTerminalTypesDrawTheSameScreens)
{
  std::string menus[3];
  std::string picks[3];
  const char *terms[] = {"screen", "xterm", "no-such-terminal"};
  for (int i = 0; i < 3; i++) {
    TmuxTerm t(std::string("TERM=") + terms[i] + " " + ShellQuote(DemoPath()), 80, 24);
    ASSERT_TRUE(t.WaitFor(kFooter)) << terms[i] << "\n" << t.Screen();
    menus[i] = t.Settled();
    t.Type("9");
    ASSERT_TRUE(t.WaitFor(kPickPrompt)) << terms[i] << "\n" << t.Screen();
    picks[i] = t.Settled();
  }
  EXPECT_EQ(menus[0], menus[1]);
  EXPECT_EQ(picks[0], picks[1]);
  EXPECT_EQ(picks[0], picks[2]);
  EXPECT_NE(picks[0].find("Current selection:"), std::string::npos) << picks[0];
}

TEST(MenuLoopTerminal, StoreKeysWriteSettingsThatStartTheNextRun)
{
  TempDir tmp;
  ASSERT_FALSE(tmp.path().empty());
  const std::string &dir = tmp.path();
  std::string file = dir + "/printer_1";
  {
    TmuxTerm t(ShellQuote(DemoPath()), 80, 24, dir);
    ASSERT_TRUE(t.WaitFor(kFooter)) << t.Screen();
    t.Type("2 my office printer");
    ASSERT_TRUE(t.WaitFor("[my office printer]")) << t.Screen();
    t.Type("3 3");
    ASSERT_TRUE(t.WaitFor("[3. Network (TCP/IP)]")) << t.Screen();
    t.Type("s");
    ASSERT_TRUE(t.WaitFor("Enter the settings file name: ")) << t.Screen();
    t.Type(dir + "/bad.name");  // the dot is refused
    ASSERT_TRUE(t.WaitFor("Invalid character '.'")) << t.Screen();
    t.Type("");
    ASSERT_TRUE(t.WaitFor(kFooter)) << t.Screen();
    t.Type("s");
    ASSERT_TRUE(t.WaitFor("Enter the settings file name: ")) << t.Screen();
    t.Type(file);
    ASSERT_TRUE(t.WaitFor(kFooter)) << t.Screen();
    t.Type("q");
    ASSERT_TRUE(t.WaitFor("EXIT=0")) << t.Screen();
  }
  std::string stored = testcommon::ReadAll(file);
  EXPECT_NE(stored.find("2[my office printer] 12 0\n3[2] 9 0\n"), std::string::npos) << stored;
  EXPECT_NE(stored.find("5{\n0[printhost] 11 0\n1[0] 9 0\n2[30] 13 0\n}\n"), std::string::npos)
      << stored;
  struct stat st {};
  EXPECT_NE(stat((dir + "/bad.name").c_str(), &st), 0);

  // -s starts from the stored answers.
  {
    TmuxTerm t(ShellQuote(DemoPath()) + " -s " + ShellQuote(file), 80, 24, dir);
    ASSERT_TRUE(t.WaitFor(kFooter)) << t.Screen();
    std::string s = t.Settled();
    EXPECT_NE(s.find("[my office printer]"), std::string::npos) << s;
    EXPECT_NE(s.find("[3. Network (TCP/IP)]"), std::string::npos) << s;
    EXPECT_NE(s.find(" 6) Port number"), std::string::npos) << s;
  }
  // With -x the s key stores ./.settings and ends the program at once.
  {
    TmuxTerm t(ShellQuote(DemoPath()) + " -x", 80, 24, dir);
    ASSERT_TRUE(t.WaitFor(kFooter)) << t.Screen();
    t.Type("10 7");
    ASSERT_TRUE(t.WaitFor("[7]")) << t.Screen();
    t.Type("s");
    ASSERT_TRUE(t.WaitFor("EXIT=0")) << t.Screen();
  }
  EXPECT_NE(testcommon::ReadAll(dir + "/.settings").find("10[7] 13 0\n"), std::string::npos);
}

// Without a terminal: the stored answers applied without asking, and the end
// of standard input at every kind of question ends the program with status 1.
TEST(MenuLoopInput, SettingsRunWithoutAskingAndEndOfInputEndsTheProgram)
{
  TempDir tmp;
  ASSERT_FALSE(tmp.path().empty());
  const std::string &dir = tmp.path();
  std::string file = dir + "/answers";
  testcommon::WriteFile(
      file, "1[lp_7] 11 0\n2[first floor, east] 12 0\n3[1] 9 0\n10[4] 13 0\n11[3.250] 14 0\n"
            "4{\n0[3] 9 0\n2[1.500] 14 0\n}\n");
  std::string demo = ShellQuote(DemoPath());
  std::string out = RunText("cd / && " + demo + " -n -s " + ShellQuote(file) + " </dev/null");
  EXPECT_NE(out.find("printer lp_7\ndescription first floor, east\nconnection Serial line\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("copies 4\nwidth 3.250\nserial 57600 none 1.500\n"), std::string::npos) << out;
  out = RunText(demo + " -n -s " + ShellQuote(dir + "/missing") + " 2>&1; echo status=$?");
  EXPECT_NE(out.find("cannot read the settings file"), std::string::npos) << out;
  EXPECT_NE(out.find("status=1"), std::string::npos) << out;

  // The selection line, an entry prompt, the pick screen, the apply and the
  // exit question, a refused entry's message: each reached, then no input.
  const char *inputs[] = {"", "10\\n", "9\\n", "10 4\\n\\n", "\\n", "10 555\\n", "3\\n4\\n\\n"};
  for (const char *in : inputs) {
    std::string cmd = "printf '" + std::string(in) + "' | timeout 20 " + demo + " >/dev/null 2>" +
                      ShellQuote(dir + "/err") + "; echo $?";
    EXPECT_EQ(RunText(cmd), "1\n") << "input: " << in;
    EXPECT_NE(testcommon::ReadAll(dir + "/err").find("reading from standard input"),
              std::string::npos)
        << "input: " << in;
  }
}

TEST(MenuLoopInput, APickPageDrawnAgainKeepsItsColumns)
{
  // 10 rows leave 4 per column; 40 columns hold two columns of these
  // choices, so a page shows 8 and the third page the last 4.
  ChildResult r = RunChild([] {
    SizeWithoutATerminal("10", "40");
    static char choices[] =
        "choice 01,choice 02,choice 03,choice 04,choice 05,choice 06,choice 07,choice 08,"
        "choice 09,choice 10,choice 11,choice 12,choice 13,choice 14,choice 15,choice 16,"
        "choice 17,choice 18,choice 19,choice 20";
    TextMenuItem item{};
    item.pLabel = "Trays";
    item.Type = ITEM_PICK_MANY;
    item.pChoices = choices;
    item.ChoiceCount = 20;
    item.Value = 1;
    uint32_t hidden = 0;
    int first = PrintPickOneManyScreen(&item, &hidden, 0);
    int second = PrintPickOneManyScreen(&item, &hidden, 8);
    std::string page(pCurImage->pData, size_t(pCurImage->Width) * pCurImage->Height);
    // After a choice is taken the dialogue draws the same page again.
    int again = PrintPickOneManyScreen(&item, &hidden, 8);
    bool same = page == std::string(pCurImage->pData, page.size());
    int last = PrintPickOneManyScreen(&item, &hidden, 16);
    fprintf(stderr, "%d %d %d %d %s", first, second, again, last, same ? "same" : "moved");
  });
  EXPECT_EQ(r.err, "8 8 8 4 same");
}

}  // namespace
