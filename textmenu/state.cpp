// The small languages that tie items together: item-state tests, the
// condition lists that choose a sub-menu, and the state formats by which a
// pick item greys, hides, sets or refreshes other items.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "textmenu/TextMenu.h"
#include "textmenu/BoundedTextInternal.h"

// Read position of the condition evaluator: set by a call with a condition
// text, advanced by the nested calls of the same evaluation.
static const char *pCondPos = nullptr;

// Nesting of the evaluation in progress (parentheses, negations, right
// operands), bounded so that no condition text can exhaust the stack.
static int CondDepth = 0;

// Depth of P commands in progress in ProcessStateFormat: a format that
// refers back to itself must not recurse without end.
static int StateFormatDepth = 0;
// Nested formats run by the outermost ProcessStateFormat in progress: a
// format whose P names itself more than once would otherwise double its
// work at every level.
static int StateFormatRuns = 0;

namespace {

constexpr int kOperandSize = 80;  // an operand of a condition, terminator included
constexpr int kStateFormatDepthMax = 16;
constexpr int kStateFormatRunsMax = 1000;
constexpr int kCondDepthMax = 200;
constexpr char kStateDelims[] = "{,.} ";

int ItemCount(const TextMenu *menu)
{
  int n = 0;
  if (menu != nullptr && menu->pItems != nullptr)
    while (menu->pItems[n].pLabel != nullptr)
      n++;
  return n;
}

TextMenuItem *ItemAt(TextMenu *menu, long index)
{
  return index >= 0 && index < ItemCount(menu) ? &menu->pItems[index] : nullptr;
}

// The condition's pending operand, bounded: characters past the buffer are
// dropped (such an operand names no item anyway).
using Operand = BoundedText<kOperandSize>;

}  // namespace

int TestState(TextMenu *menu, const char *ref, int cur)
{
  if (ref == nullptr)
    return 0;
  const char *p = ref;
  int sign = 0;
  if (*p == '+' || *p == '-')
    sign = *p++ == '+' ? 1 : -1;
  int index = 0, value = 0;
  if (sscanf(p, "%d.%d", &index, &value) != 2)
    return 0;
  long at = sign == 0 ? index : static_cast<long>(cur) + sign * static_cast<long>(index);
  const TextMenuItem *item = ItemAt(menu, at);
  if (item == nullptr || item->Value != value)
    return 0;
  return item->State == ITEM_STATE_ACTIVE ? 1 : 2;
}

bool TestStateCondition(TextMenu *menu, const char *cond, int cur)
{
  bool inParens = cond == COND_IN_PARENS;
  bool oneOperand = cond == COND_ONE_OPERAND;
  if (!inParens && !oneOperand)
    pCondPos = cond;
  if (pCondPos == nullptr)
    return false;
  if (inParens || oneOperand) {
    if (CondDepth >= kCondDepthMax) {  // nested beyond reason: false, and nothing left to read
      pCondPos += strlen(pCondPos);
      return false;
    }
  } else {
    CondDepth = 0;
  }
  struct Nesting {
    Nesting() { CondDepth++; }
    ~Nesting() { CondDepth--; }
  } nesting;
  bool result = false;
  Operand op;
  auto evaluatePending = [&] {
    if (op.len > 0) {
      result = TestState(menu, op.text, cur) != 0;
      op.Clear();
      return true;
    }
    return false;
  };
  while (*pCondPos != '\0') {
    char c = *pCondPos++;
    switch (c) {
      case '&':
      case '|': {
        if (evaluatePending() && oneOperand)
          return result;
        // The right operand is always read, so that an operand the left side
        // already decided is consumed and not left to decide the result.
        bool right = TestStateCondition(menu, COND_ONE_OPERAND, cur);
        if (c == '&' ? result : !result)
          result = right;
        break;
      }
      case '!': result = !TestStateCondition(menu, COND_ONE_OPERAND, cur); break;
      case '(': result = TestStateCondition(menu, COND_IN_PARENS, cur); break;
      case ')':
        evaluatePending();
        if (inParens || oneOperand)
          return result;
        break;
      case 'A':
        result = TestState(menu, op.text, cur) == 2;
        op.Clear();
        if (oneOperand)
          return result;
        break;
      default: op.Add(c); break;
    }
  }
  evaluatePending();
  return result;
}

TextMenu *ValidateMenu(TextMenu *menu, int index)
{
  TextMenuItem *item = ItemAt(menu, index);
  if (item == nullptr || item->State != ITEM_STATE_ACTIVE)
    return nullptr;
  if (item->pFormat == nullptr)
    return reinterpret_cast<TextMenu *>(item->Value);
  TextMenu **subMenus = reinterpret_cast<TextMenu **>(item->Value);
  const char *cursor = item->pFormat;
  char word[TOKENBUF_SIZE];
  for (int k = 0; GetTokenD(nullptr, " ", &cursor, word, sizeof word) != nullptr; k++)
    if (TestStateCondition(menu, word, index))
      return subMenus != nullptr ? subMenus[k] : nullptr;
  return nullptr;
}

bool TestFormatState(const char *list, intptr_t value)
{
  if (list == nullptr)
    return false;
  for (const char *p = list; *p != '\0';) {
    if (*p == '*')
      return true;
    if (!isdigit(static_cast<unsigned char>(*p))) {
      p++;
      continue;
    }
    // Compared digit by digit, so that no number overflows however long.
    const char *start = p;
    while (isdigit(static_cast<unsigned char>(*p)))
      p++;
    while (start < p - 1 && *start == '0')
      start++;
    char digits[24];
    int n = snprintf(digits, sizeof digits, "%jd", static_cast<intmax_t>(value));
    if (value >= 0 && p - start == n && strncmp(start, digits, size_t(n)) == 0)
      return true;
  }
  return false;
}

void ProcessStateFormat(TextMenu *menu, int index)
{
  TextMenuItem *item = ItemAt(menu, index);
  if (item == nullptr || item->pFormat == nullptr || item->State != ITEM_STATE_ACTIVE ||
      StateFormatDepth >= kStateFormatDepthMax)
    return;
  if (StateFormatDepth == 0)
    StateFormatRuns = 0;
  const char *cursor = item->pFormat;
  char token[TOKENBUF_SIZE];
  while (GetTokenD(nullptr, kStateDelims, &cursor, token, sizeof token) != nullptr) {
    char command = token[0];
    bool match = TestFormatState(token + 1, item->Value);
    for (;;) {
      if (GetTokenD(nullptr, kStateDelims, &cursor, token, sizeof token) == nullptr)
        return;
      TextMenuItem *target = ItemAt(menu, atol(token));
      if (command == 'S') {
        if (GetTokenD(nullptr, kStateDelims, &cursor, token, sizeof token) == nullptr)
          return;
        if (target != nullptr) {
          if (match) {
            // Put aside only once: a second matching pass must not replace
            // the user's value with the forced one.
            if (target->SavedValue < 0)
              target->SavedValue = target->Value;
            target->Value = atol(token);
          } else if (target->SavedValue >= 0) {
            target->Value = target->SavedValue;
            target->SavedValue = -1;
          }
        }
      } else if (target != nullptr) {
        switch (command) {
          case 'N': target->State = match ? ITEM_STATE_INACTIVE : ITEM_STATE_ACTIVE; break;
          case 'H': target->State = match ? ITEM_STATE_HIDDEN : ITEM_STATE_ACTIVE; break;
          case 'P':
            if (match && StateFormatRuns < kStateFormatRunsMax) {
              StateFormatRuns++;
              char *savedIn = GetTokenBufInput();
              char savedDel = chTokenDel;
              StateFormatDepth++;
              ProcessStateFormat(menu, static_cast<int>(target - menu->pItems));
              if (target->pfnAction != nullptr)
                target->pfnAction(menu, target);
              StateFormatDepth--;
              SetTokenBuf(savedIn);
              chTokenDel = savedDel;
            }
            break;
          default: break;
        }
      }
      if (chTokenDel == '}' || chTokenDel == ' ')
        break;
    }
  }
}
