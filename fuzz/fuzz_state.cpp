// State formats and conditions of the menu model over arbitrary texts.
// Input: a condition, a zero byte, a state format, a zero byte, then bytes
// that set the items' values. A small menu of pick, integer and action
// items carries the format on each item in turn.
//
// Checked beyond the sanitizers: TestState answers 0, 1 or 2; the formats
// leave every state one of the three states; the evaluation ends (nesting
// is bounded).
#include <cstring>

#include "fuzz/FuzzUtil.h"
#include "textmenu/TextMenu.h"

namespace {

char choicesA[] = "_one,_two,_three";
char choicesB[] = "_a,_b";
char choicesC[] = "_x,_y,_z,_w";
char choicesM[] = "_m1,_m2,_m3";

TextMenuItem items[] = {
    {"first", ITEM_PICK_ONE, ITEM_STATE_ACTIVE, nullptr, choicesA, nullptr, 0, 0, 0, nullptr, 0,
     nullptr, -1, 0, nullptr, 0},
    {"second", ITEM_PICK_ONE, ITEM_STATE_ACTIVE, nullptr, choicesB, nullptr, 0, 0, 0, nullptr, 0,
     nullptr, -1, 0, nullptr, 0},
    {"number", ITEM_INT, ITEM_STATE_ACTIVE, "n: ", nullptr, nullptr, 3, 0, 0, nullptr, 0, nullptr,
     -1, 0, nullptr, 0},
    {"third", ITEM_PICK_ONE, ITEM_STATE_INACTIVE, nullptr, choicesC, nullptr, 1, 0, 0, nullptr, 0,
     nullptr, -1, 0, nullptr, 0},
    {"many", ITEM_PICK_MANY, ITEM_STATE_ACTIVE, nullptr, choicesM, nullptr, 0, 0, 0, nullptr, 0,
     nullptr, -1, 0, nullptr, 0},
    {"go", ITEM_ACTION, ITEM_STATE_HIDDEN, nullptr, nullptr, nullptr, 0, 0, 0, nullptr, 0, nullptr,
     -1, 0, nullptr, 0},
    {nullptr, 0, 0, nullptr, nullptr, nullptr, 0, 0, 0, nullptr, 0, nullptr, -1, 0, nullptr, 0},
};
constexpr int kItems = 6;
TextMenu menu = {"state", MENU_ALIGN_LEFT, nullptr, nullptr, nullptr, nullptr, nullptr, items, 0};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  std::vector<std::string> f = FuzzFields(data, size, 3);
  const std::string &cond = f[0], &format = f[1], &values = f[2];
  for (int i = 0; i < kItems; i++) {
    items[i].pFormat = nullptr;
    items[i].SavedValue = -1;
    items[i].State = i == 3 ? ITEM_STATE_INACTIVE : i == 5 ? ITEM_STATE_HIDDEN : ITEM_STATE_ACTIVE;
    // The choice texts are rewritten in place by hiding and showing.
    for (char *c : {choicesA, choicesB, choicesC, choicesM})
      for (char *p = c; *p; p++)
        if (p == c || p[-1] == ',')
          *p = '_';
  }
  InitMenu(&menu, 0);
  for (int i = 0; i < kItems && static_cast<size_t>(i) < values.size(); i++)
    items[i].Value = static_cast<unsigned char>(values[i]) % 5;

  for (int cur = -1; cur <= kItems; cur++) {
    int t = TestState(&menu, cond.c_str(), cur);
    FUZZ_CHECK(t >= 0 && t <= 2);
    TestStateCondition(&menu, cond.c_str(), cur);
  }
  TestFormatState(cond.c_str(), static_cast<intptr_t>(values.size()));
  for (int i = 0; i < kItems; i++) {
    items[i].pFormat = format.c_str();
    ProcessStateFormat(&menu, i);
    items[i].pFormat = nullptr;
    for (int k = 0; k < kItems; k++)
      FUZZ_CHECK(items[k].State >= ITEM_STATE_ACTIVE && items[k].State <= ITEM_STATE_HIDDEN);
  }
  return 0;
}
