// Settings files: exact lines written, values read back, damaged files.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "common/ChildProcess.h"
#include "textmenu/TextMenu.h"

namespace {

int ApplyCalls = 0;
intptr_t CountApply(TextMenu *, TextMenuItem *)
{
  ApplyCalls++;
  return 0;
}

float FloatOf(intptr_t word)
{
  uint32_t bits = static_cast<uint32_t>(word);
  float f;
  memcpy(&f, &bits, sizeof f);
  return f;
}
intptr_t FloatWord(float f)
{
  uint32_t bits;
  memcpy(&bits, &f, sizeof bits);
  return bits;
}

TextMenuItem MakeItem(const char *label, int32_t type, char *choices = nullptr)
{
  TextMenuItem it{};
  it.pLabel = label;
  it.Type = type;
  it.pChoices = choices;
  it.SavedValue = -1;
  return it;
}

// A menu of every stored kind and a sub-menu: 0 pick one, 1 text, 2 integer,
// 3 float, 4 pick many (never stored), 5 sub-menu (integer 0, text 1),
// 6 apply item.
struct Fixture {
  char choices[32] = "_a,_b,_c,_d";
  char many[32] = "_x,_y,_z";
  TextMenuItem subItems[4];
  TextMenu sub{};
  TextMenuItem items[8];
  TextMenu menu{};
  Fixture()
  {
    subItems[0] = MakeItem("Number", ITEM_INT);
    subItems[1] = MakeItem("Words", ITEM_STRING);
    subItems[2] = MakeItem("~k Keep", ITEM_APPLY);
    subItems[2].pfnAction = CountApply;
    subItems[3] = MakeItem(nullptr, 0);
    sub.pTitle = "Sub";
    sub.pItems = subItems;
    items[0] = MakeItem("Choice", ITEM_PICK_ONE, choices);
    items[1] = MakeItem("Text", ITEM_STRING);
    items[2] = MakeItem("Integer", ITEM_INT);
    items[3] = MakeItem("Float", ITEM_FLOAT);
    items[4] = MakeItem("Many", ITEM_PICK_MANY, many);
    items[5] = MakeItem("Sub", ITEM_SUBMENU);
    items[5].Value = reinterpret_cast<intptr_t>(&sub);
    items[6] = MakeItem("~a Apply", ITEM_APPLY);
    items[6].pfnAction = CountApply;
    items[7] = MakeItem(nullptr, 0);
    menu.pTitle = "Top";
    menu.pItems = items;
    InitMenu(&menu, 0);
    InitMenu(&sub, 0);
    ApplyCalls = 0;
  }
  char *Text(TextMenuItem &it) { return reinterpret_cast<char *>(it.Value); }
};

std::string TempPath()
{
  char path[] = "/tmp/settingsXXXXXX";
  int fd = mkstemp(path);
  close(fd);
  return path;
}

std::string Store(TextMenu *menu)
{
  std::string path = TempPath();
  pOut = fopen(path.c_str(), "wt");
  StoreMenu(menu);
  fclose(pOut);
  pOut = nullptr;
  std::string text = testcommon::ReadAll(path);
  unlink(path.c_str());
  return text;
}

void Load(TextMenu *menu, const std::string &text)
{
  std::string path = TempPath();
  testcommon::WriteFile(path, text);
  ASSERT_TRUE(OpenInputFile(path.c_str(), 1));
  LoadMenu(menu);
  CloseInputFile();
  unlink(path.c_str());
}

TEST(SettingsFile, StoresExactLinesAndReadsThemBack)
{
  Fixture f;
  f.items[0].Value = 2;  // the third choice
  strcpy(f.Text(f.items[1]), "my printer");
  f.items[2].Value = -42;
  f.items[3].Value = FloatWord(2.5f);
  f.items[3].State = ITEM_STATE_HIDDEN;
  f.items[4].Value = 5;
  f.subItems[0].Value = 9;
  strcpy(f.Text(f.subItems[1]), "printer1");
  std::string text = Store(&f.menu);
  EXPECT_EQ(text, "0[2] 9 0\n1[my printer] 12 0\n2[-42] 13 0\n3[2.500] 14 2\n"
                  "5{\n0[9] 13 0\n1[printer1] 12 0\n}\n");

  Fixture g;
  Load(&g.menu, text);
  EXPECT_EQ(g.items[0].Value, 2);
  EXPECT_STREQ(g.Text(g.items[1]), "my printer");  // the blank does not cut the text
  EXPECT_EQ(g.items[2].Value, -42);
  EXPECT_EQ(FloatOf(g.items[3].Value), 2.5f);
  EXPECT_EQ(g.items[3].State, ITEM_STATE_HIDDEN);
  EXPECT_EQ(g.items[4].Value, 1);  // pick-many values are not stored
  EXPECT_EQ(g.subItems[0].Value, 9);
  EXPECT_STREQ(g.Text(g.subItems[1]), "printer1");
  EXPECT_EQ(ApplyCalls, 1);  // the sub-menu's block end ran its apply item
  EXPECT_EQ(flLoadedSettings, 1);
  // Stored again, the file is the same.
  EXPECT_EQ(Store(&g.menu), text);

  // A text holding ']' reads back to the line's last one.
  strcpy(g.Text(g.items[1]), "a]b [c]");
  Fixture h;
  Load(&h.menu, Store(&g.menu));
  EXPECT_STREQ(h.Text(h.items[1]), "a]b [c]");

  // A line's state is stored whatever the item: items that store no value
  // of their own can still be hidden or greyed, and keep value and type.
  Load(&h.menu, "4[3] 10 2\n6[0] 4 1\n");
  EXPECT_EQ(h.items[4].State, ITEM_STATE_HIDDEN);
  EXPECT_EQ(h.items[4].Value, 1);
  EXPECT_EQ(h.items[6].State, ITEM_STATE_INACTIVE);
  EXPECT_EQ(h.items[6].Type, ITEM_APPLY);
}

TEST(SettingsFile, TopLevelBlockEndStopsLoadingAndRunsTheApplyItem)
{
  Fixture f;
  Load(&f.menu, "2[5] 13 0\n}\n2[77] 13 0\n");
  EXPECT_EQ(f.items[2].Value, 5);
  EXPECT_EQ(ApplyCalls, 1);
  // An item that is not an active sub-menu does not open a block.
  Fixture g;
  g.items[5].State = ITEM_STATE_INACTIVE;
  Load(&g.menu, "2{\n5{\n0[3] 9 0\n");
  EXPECT_EQ(g.items[0].Value, 3);
  EXPECT_EQ(g.subItems[0].Value, 0);
}

TEST(SettingsFile, DamagedFilesNeverWriteOutsideTheMenu)
{
  Fixture f;
  strcpy(f.Text(f.items[1]), "kept");
  std::string longWord(300, 'w');
  Load(&f.menu,
       "99[5] 13 0\n-1[5] 13 0\n7[5] 13 0\n"      // indices outside the items
       "garbage\n\n3[\n2[\n2]5[ 13 0\n2[6] 13\n"  // lines that do not fit
       "0[5] 11 0\n"                              // a text type on a pick-one item
       "2[8] 14 0\n"                              // a float type on an integer item
       "2{\n"                                     // an integer is no menu
       "4[3] 13 0\n"                              // pick-many items keep value and type
       "1[" +
           longWord +
           "] 11 1\n"  // overlong word, text type on text item
           "6{\n");
  EXPECT_EQ(f.items[0].Type, ITEM_PICK_ONE);
  EXPECT_EQ(f.items[0].Value, 5);
  EXPECT_EQ(f.items[2].Type, ITEM_INT);
  EXPECT_EQ(f.items[2].Value, 8);
  EXPECT_EQ(f.items[4].Type, ITEM_PICK_MANY);
  EXPECT_EQ(f.items[4].Value, 1);
  EXPECT_EQ(f.items[1].Type, ITEM_NAME);
  EXPECT_EQ(f.items[1].State, ITEM_STATE_INACTIVE);
  EXPECT_EQ(std::string(f.Text(f.items[1])), std::string(MENU_TEXT_SIZE - 1, 'w'));
  EXPECT_EQ(f.items[7].pLabel, nullptr);
  EXPECT_EQ(f.items[7].Value, 0);

  // Blocks nested deeper than any menu tree end without exhausting the stack.
  Fixture g;
  g.subItems[1] = MakeItem("Again", ITEM_SUBMENU);
  g.subItems[1].Value = reinterpret_cast<intptr_t>(&g.sub);
  std::string deep;
  for (int i = 0; i < 5000; i++) {
    deep += "1{\n";
  }
  Load(&g.menu, "5{\n" + deep + "0[4] 13 0\n");
  EXPECT_EQ(g.subItems[0].Value, 4);
}

}  // namespace
