// The menu model: preparing items, choice markers, state tests, conditions
// that choose sub-menus and state formats that change other items.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "MenuTestSupport.h"

namespace {

TextMenuItem Item(const char *label, int32_t type, intptr_t value = 0, const char *format = nullptr)
{
  TextMenuItem item{};
  item.pLabel = label;
  item.Type = type;
  item.Value = value;
  item.pFormat = format;
  item.SavedValue = -1;
  return item;
}

TextMenuItem Pick(const char *label, char *choices, intptr_t value, const char *format = nullptr)
{
  TextMenuItem item = Item(label, ITEM_PICK_ONE, value, format);
  item.pChoices = choices;
  item.Default = value;
  return item;
}

TextMenu MenuOf(std::vector<TextMenuItem> &items)
{
  if (items.empty() || items.back().pLabel != nullptr)
    items.push_back(TextMenuItem{});
  TextMenu menu{};
  menu.pTitle = "Test";
  menu.pItems = items.data();
  return menu;
}

TEST(MenuModel, InitMenuNumbersValuesAndBuffersAndFreeMenuReturnsThem)
{
  char paper[] = "_Letter,_A4, Legal";
  char trays[] = "a,b,c";
  std::string longName(300, 'n');
  std::vector<TextMenuItem> items = {
      Item("Title text", ITEM_TEXT),
      Item("~q Quit", ITEM_ACTION_EXIT),
      Pick("Paper", paper, 2),
      Item("Trays", ITEM_PICK_MANY),
      Item("A rather long label", ITEM_NAME),
      Item("Row", ITEM_BAR),
      Item("Copies", ITEM_INT),
      Item("Notes", ITEM_STRING),
  };
  items[3].pChoices = trays;
  items[4].Default = reinterpret_cast<intptr_t>("printer1");
  items[6].Default = 3;
  items[7].Default = reinterpret_cast<intptr_t>(longName.c_str());
  TextMenu menu = MenuOf(items);

  EXPECT_EQ(InitMenu(&menu, 0), 19);
  std::vector<int> keys;
  for (int i = 0; i < 8; i++)
    keys.push_back(items[i].Key);
  EXPECT_EQ(keys, (std::vector<int>{0, 'q', 1, 2, 3, 0, 4, 5}));
  EXPECT_EQ(items[2].ChoiceCount, 3);
  // The default choice is hidden: the selection wraps to the first.
  EXPECT_EQ(items[2].Value, 0);
  EXPECT_EQ(items[2].PrevValue, 2);
  EXPECT_EQ(items[3].Value, 1);
  EXPECT_EQ(items[3].Default, 1);
  EXPECT_STREQ(reinterpret_cast<char *>(items[4].Value), "printer1");
  EXPECT_EQ(strlen(reinterpret_cast<char *>(items[7].Value)), size_t(MENU_TEXT_SIZE - 1));
  EXPECT_EQ(items[6].Value, 3);

  FreeMenu(&menu);
  EXPECT_EQ(items[4].Value, 0);
  EXPECT_EQ(items[7].Value, 0);
  EXPECT_EQ(items[6].Value, 3);

  std::vector<TextMenuItem> none;
  TextMenu empty = MenuOf(none);
  EXPECT_EQ(InitMenu(&empty, 0), 0);
}

TEST(MenuModel, HiddenChoicesAreSkippedAndMarkedInPlace)
{
  char choices[] = "_a,_b,_c";
  TextMenuItem item = Pick("Pick", choices, 1);
  item.ChoiceCount = 3;
  HideStateSelection(&item, 1);
  EXPECT_STREQ(choices, "_a, b,_c");
  EXPECT_EQ(item.Value, 2);
  EXPECT_STREQ(item.pCurChoice, "_c");
  EXPECT_EQ(ShowStateSelection(&item, 1), choices + 3);
  EXPECT_STREQ(choices, "_a,_b,_c");
  HideStateSelection(&item, -1);
  HideStateSelection(&item, 5);
  EXPECT_EQ(ShowStateSelection(&item, 3), nullptr);
  EXPECT_STREQ(choices, "_a,_b,_c");

  char hidden[] = " a, b, c";
  TextMenuItem all = Pick("All hidden", hidden, 1);
  all.ChoiceCount = 3;
  UpdateStateSelection(&all);
  EXPECT_EQ(all.Value, 1);
  EXPECT_STREQ(all.pCurChoice, " a");  // the last one tried
}

// Items 0..5 for the state tests: values 1, 1, 0, 5 (inactive), 2, 2.
std::vector<TextMenuItem> StateItems()
{
  std::vector<TextMenuItem> items = {Item("a", ITEM_INT, 1), Item("b", ITEM_INT, 1),
                                     Item("c", ITEM_INT, 0), Item("d", ITEM_INT, 5),
                                     Item("e", ITEM_INT, 2), Item("f", ITEM_INT, 2)};
  items[3].State = ITEM_STATE_INACTIVE;
  return items;
}

TEST(MenuStates, StateTestsConditionsAndValueLists)
{
  TextMenu subA{}, subB{};
  TextMenu *subs[] = {&subA, &subB};
  std::vector<TextMenuItem> items = StateItems();
  items.push_back(Item("Sub", ITEM_SUBMENU, reinterpret_cast<intptr_t>(subs), "1.2 2.0"));
  items.push_back(Item("Plain sub", ITEM_SUBMENU, reinterpret_cast<intptr_t>(&subA)));
  TextMenu menu = MenuOf(items);

  // reference, current item, result
  std::tuple<const char *, int, int> refs[] = {{"1.1", 0, 1},  {"1.2", 0, 0},  {"3.5", 0, 2},
                                               {"+1.2", 4, 1}, {"-2.0", 4, 1}, {"99.1", 0, 0},
                                               {"-9.1", 0, 0}, {"", 0, 0}};
  for (auto [ref, cur, result] : refs)
    EXPECT_EQ(TestState(&menu, ref, cur), result) << ref << " at " << cur;

  // Operands: 1.1, 2.0 and 3.5 hold, 1.2 and 2.1 do not; 3.5A holds, 1.1A not.
  // 1.2&2.0 and 1.1|2.1 come out right only when a right operand that the
  // left side decided is skipped; nesting beyond reason gives false.
  std::string overlong = "1" + std::string(300, '0') + ".1";
  std::string deep = std::string(100000, '(') + "1.1" + std::string(100000, '!');
  const char *holding[] = {
      "1.1|2.0", "1.2|2.0", "(1.1)&2.0", "!1.2",           "3.5",
      "3.5A",    "1.1|2.1", "((1.1))",   "1.2|(2.0&3.5A)", "(1.2|2.0)&(3.5A|1.2)"};
  const char *failing[] = {"1.2|2.1",
                           "(1.1)&2.1",
                           "!1.1",
                           "1.1A",
                           "1.2&2.0",
                           "!(1.1&2.0)",
                           "(1.2|2.0)&(1.1A|1.2)",
                           overlong.c_str(),
                           deep.c_str()};
  for (const char *cond : holding)
    EXPECT_TRUE(TestStateCondition(&menu, cond, 0)) << cond;
  for (const char *cond : failing)
    EXPECT_FALSE(TestStateCondition(&menu, cond, 0)) << cond;

  EXPECT_EQ(ValidateMenu(&menu, 6), &subB);
  items[1].Value = 2;
  EXPECT_EQ(ValidateMenu(&menu, 6), &subA);
  items[1].Value = 0;
  items[2].Value = 1;
  EXPECT_EQ(ValidateMenu(&menu, 6), nullptr);
  EXPECT_EQ(ValidateMenu(&menu, 7), &subA);
  items[7].State = ITEM_STATE_INACTIVE;
  EXPECT_EQ(ValidateMenu(&menu, 7), nullptr);

  EXPECT_TRUE(TestFormatState("0:2", 2) && TestFormatState("*", 9) && TestFormatState("007", 7));
  EXPECT_FALSE(TestFormatState("0:2", 1) || TestFormatState("12", 1) || TestFormatState("", 0) ||
               TestFormatState("99999999999999999999999", 5));
}

int actionCalls = 0;
intptr_t CountAction(TextMenu *, TextMenuItem *)
{
  return ++actionCalls;
}

TEST(MenuStates, StateFormatsGreyHideSetAndPropagate)
{
  char choices[] = "_a,_b,_c";
  std::vector<TextMenuItem> items = {Pick("Mode", choices, 0, "N0{1,2} H2{3} S1{4.9}"),
                                     Item("x", ITEM_INT), Item("y", ITEM_INT), Item("z", ITEM_INT),
                                     Item("w", ITEM_INT, 7)};
  TextMenu menu = MenuOf(items);
  auto states = [&] { return std::vector<int>{items[1].State, items[2].State, items[3].State}; };
  ProcessStateFormat(&menu, 0);
  EXPECT_EQ(states(), (std::vector<int>{1, 1, 0}));
  items[0].Value = 2;
  ProcessStateFormat(&menu, 0);
  EXPECT_EQ(states(), (std::vector<int>{0, 0, 2}));
  // S: set while matching, the user's value put aside once and given back once.
  items[0].Value = 1;
  ProcessStateFormat(&menu, 0);
  ProcessStateFormat(&menu, 0);
  EXPECT_EQ(items[4].Value, 9);
  EXPECT_EQ(items[4].SavedValue, 7);
  items[0].Value = 0;
  ProcessStateFormat(&menu, 0);
  EXPECT_EQ(items[4].Value, 7);
  items[4].Value = 3;
  ProcessStateFormat(&menu, 0);
  EXPECT_EQ(items[4].Value, 3);
  // An inactive item's format is not applied.
  items[0].State = ITEM_STATE_INACTIVE;
  ProcessStateFormat(&menu, 0);
  EXPECT_EQ(states(), (std::vector<int>{1, 1, 0}));

  char inner[] = "_p,_q";
  std::vector<TextMenuItem> chain = {Pick("Outer", choices, 1, "P1{1} N1{4}"),
                                     Pick("Inner", inner, 0, "H0{2}"), Item("t", ITEM_INT),
                                     Pick("Self", choices, 0, "P*{3}"), Item("u", ITEM_INT)};
  chain[1].pfnAction = CountAction;
  chain[3].pfnAction = CountAction;
  TextMenu chained = MenuOf(chain);
  ProcessStateFormat(&chained, 0);
  EXPECT_EQ(chain[2].State, ITEM_STATE_HIDDEN);
  EXPECT_EQ(chain[4].State, ITEM_STATE_INACTIVE);  // the outer format goes on after P
  EXPECT_EQ(actionCalls, 1);
  ProcessStateFormat(&chained, 3);  // refers to itself: ends all the same
  EXPECT_GT(actionCalls, 1);
  // Naming itself twice would double the work at each of the 16 levels.
  std::vector<TextMenuItem> twice = {Pick("Twice", choices, 0, "P*{0,0}")};
  twice[0].pfnAction = CountAction;
  TextMenu doubled = MenuOf(twice);
  actionCalls = 0;
  ProcessStateFormat(&doubled, 0);
  EXPECT_GT(actionCalls, 16);
  EXPECT_LE(actionCalls, 1000);

  std::string overlong = "N0{" + std::string(3000, '1') + "," + std::string(500, '{') + "}";
  chain[0].pFormat = overlong.c_str();
  ProcessStateFormat(&chained, 0);
  EXPECT_EQ(chain[1].State, ITEM_STATE_ACTIVE);
}

TEST(MenuModel, TestNamesAsksForEmptyNamesBeforeTheFirstHiddenItem)
{
  UseMenuMessages();
  char empty[MENU_TEXT_SIZE] = "", filled[MENU_TEXT_SIZE] = "lp0";
  std::vector<TextMenuItem> items = {Item("Name", ITEM_NAME, reinterpret_cast<intptr_t>(filled)),
                                     Item("Other", ITEM_NAME, reinterpret_cast<intptr_t>(empty))};
  TextMenu menu = MenuOf(items);
  bool ok = true;
  std::string out = WithInput("\n", [&] { ok = TestNames(&menu); });
  EXPECT_FALSE(ok);
  EXPECT_EQ(out, "\nAll names must be set before applying setup.\nPress <Return> to continue");
  items[0].State = ITEM_STATE_HIDDEN;
  out = WithInput("", [&] { ok = TestNames(&menu); });
  EXPECT_TRUE(ok);
  EXPECT_EQ(out, "");
  EXPECT_EQ(FindTextMenuItem(&menu, ITEM_NAME), &items[0]);
  EXPECT_EQ(FindTextMenuItem(&menu, ITEM_APPLY), nullptr);
}

TEST(MenuModel, ColumnWidthsOfAPickScreen)
{
  char choices[] = "_ab,_abcd, x,_abcdef,_a";
  TextMenuItem item = Pick("Pick", choices, 0);
  item.ChoiceCount = 5;
  ScreenImage image{};
  image.Height = 8;  // two rows a column
  int widths[5] = {};
  EXPECT_EQ(GetColumnWidths(&image, &item, widths), 6);
  EXPECT_EQ(std::vector<int>(widths, widths + 5), (std::vector<int>{4, 6, 1, 0, 0}));
  EXPECT_EQ(GetColumnWidths(nullptr, &item, widths), 0);
  EXPECT_EQ(GetColumnWidths(&image, nullptr, widths), 0);
}

}  // namespace
