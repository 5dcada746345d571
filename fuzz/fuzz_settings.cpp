// Settings files over arbitrary files: LoadMenu reads the input (as the
// current input file) into a menu with a sub-menu of pick, text, integer
// and float items.
//
// Checked beyond the sanitizers: text values stay terminated within their
// buffers, and what the menu then holds is stored, read back and stored
// again unchanged.
#include <cstring>
#include <fstream>
#include <sstream>

#include "fuzz/FuzzUtil.h"
#include "textmenu/TextMenu.h"

namespace {

char choices[] = "_a,_b,_c,_d";
char many[] = "_x,_y,_z";

TextMenuItem MakeItem(const char *label, int32_t type, char *pick = nullptr)
{
  TextMenuItem it{};
  it.pLabel = label;
  it.Type = type;
  it.pChoices = pick;
  it.SavedValue = -1;
  return it;
}

TextMenuItem subItems[4], items[8];
TextMenu sub, menu;

void Setup()
{
  subItems[0] = MakeItem("Count", ITEM_INT);
  subItems[1] = MakeItem("Words", ITEM_STRING);
  subItems[2] = MakeItem("~k Keep", ITEM_APPLY);
  subItems[3] = MakeItem(nullptr, 0);
  sub = {};
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
  items[7] = MakeItem(nullptr, 0);
  menu = {};
  menu.pTitle = "Top";
  menu.pItems = items;
  InitMenu(&menu, 0);
  InitMenu(&sub, 0);
}

void Load(const std::string &path)
{
  FUZZ_CHECK(OpenInputFile(path.c_str(), 0) == 1);
  LoadMenu(&menu);
  CloseInputFile();
}

std::string Store(const std::string &path)
{
  pOut = fopen(path.c_str(), "wt");
  FUZZ_CHECK(pOut);
  StoreMenu(&menu);
  fclose(pOut);
  pOut = nullptr;
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  static const std::string in = FuzzDir() + "/settings", out = FuzzDir() + "/stored";
  FuzzWriteFile(in, data, size);
  Setup();
  Load(in);
  for (TextMenuItem *it : {&items[1], &subItems[1]})
    FUZZ_CHECK(strnlen(reinterpret_cast<char *>(it->Value), MENU_TEXT_SIZE) < MENU_TEXT_SIZE);
  std::string first = Store(out);
  Load(out);
  FUZZ_CHECK(Store(out) == first);
  FreeMenu(&sub);
  FreeMenu(&menu);
  return 0;
}
