// Entry validation: every term of the format language with entries that
// pass and fail, the code returned and the exact text the user is shown.
#include <gtest/gtest.h>

#include <string>

#include "MenuTestSupport.h"

namespace {

const std::string kPress = "\nPress <Return> to continue ";

struct Outcome {
  int code;
  std::string shown;
};

Outcome Validate(const char *entry, const char *format)
{
  Outcome o{-1, ""};
  o.shown = WithInput("\n", [&] { o.code = ValidateEntry(entry, format); });
  return o;
}

TEST(Validation, EveryTermPassesAndFailsWithItsMessage)
{
  UseMenuMessages();
  const std::string store = "/A(1,255)+-+_+/";
  struct Case {
    const char *format;
    const char *entry;
    int code;
    std::string message;  // without the Return prompt; empty: nothing shown
  } cases[] = {
      {"d(1,12)", "7", VALID_OK, ""},
      {"d(1,12)", "13", VALID_RANGE, "This number must be between 1 to 12."},
      {"d(1,12)", "7a", VALID_CHARACTER, "Invalid digit:  a\n"},
      {"d(0,0)", "98765", VALID_OK, ""},
      {"d(0,9)-5", "5", VALID_CHARACTER, "Invalid digit:  5\n"},
      {"d(1,12)", "", VALID_RANGE, "This number must be between 1 to 12."},
      {"d(0,5)", "", VALID_OK, ""},
      {"a(1,8)|d(0,99)", "abc", VALID_OK, ""},
      {"a(1,8)|d(0,99)", "42", VALID_OK, ""},
      {"a(1,8)|d(0,99)", "a1", VALID_CHARACTER, "Invalid digit:  a\n"},
      {"A(3,3)", "ab", VALID_LENGTH, "This text must be 3 characters long."},
      {"A(2,5)", "abcdef", VALID_LENGTH, "This text length must be from 2 to 5 characters long."},
      {"a(1,8)+-", "ab-c", VALID_OK, ""},
      {"a(1,8)+-", "ab1", VALID_CHARACTER,
       "Invalid character '1'\nThis text may contain \"abc..zABC..Z-\""},
      {"p(1,3)", "a b", VALID_OK, ""},
      {"p(1,3)", "a\tb", VALID_CHARACTER,
       "Invalid character '\t'\nThis text may contain \"abc..zABC..Z012..9\""},
      {"L(2,3)", "abcd", VALID_LENGTH, "This text length must be from 2 to 3 characters long."},
      {"t(2,2)", "ab", VALID_OK, ""},
      {"f(0,10)", "2.5", VALID_OK, ""},
      {"f(0,10)", "1.2.3", VALID_RANGE, "Only one '.' may be entered."},
      {"f(0,10)", "11", VALID_RANGE, "This number must be between 0.000000 to 10.000000."},
      {"f(0,10)", "2,5", VALID_CHARACTER,
       "Invalid character ','\nThis text may contain \"0123456789.\""},
      {"D(0,100)", "50.5", VALID_OK, ""},
      {"D(0,100)", "150", VALID_RANGE, "This number must be between 0 to 100."},
      {"D(0,100)", "1e5", VALID_CHARACTER,
       "Invalid character 'e'\nThis text may contain \"0123456789.\""},
      {"x(0,255)", "ff", VALID_OK, ""},
      {"x(0,255)", "1ff", VALID_RANGE, "This number must be between 0 to ff."},
      {"x(0,255)", "", VALID_OK, ""},
      {"!(root)", "root", VALID_FORBIDDEN, "Invalid entry \"root\""},
      {"!(root)", "admin", VALID_OK, ""},
      {"A(1,4)&!(abc)", "abc", VALID_FORBIDDEN, "Invalid entry \"abc\""},
      {"A(1,4) & !(abc)", "abd", VALID_OK, ""},
      {"ab", "abc", VALID_OK, ""},
      {"ab", "ax", VALID_CHARACTER, "Invalid character x\nb was expected after \"a\""},
      {store.c_str(), "/tmp/menu_1", VALID_OK, ""},
      {store.c_str(), "/tmp/menu.set", VALID_CHARACTER,
       "Invalid character '.'\nThis text may contain \"abc..zABC..Z012..9-_/\""},
      {store.c_str(), "tmp", VALID_CHARACTER, ""},
      {"", "anything", VALID_OK, ""},
      {nullptr, "anything", VALID_OK, ""},
      {"d(0,0)", nullptr, VALID_OK, ""},
  };
  for (const Case &c : cases) {
    Outcome o = Validate(c.entry, c.format);
    std::string where =
        std::string(c.format ? c.format : "(null)") + " / " + (c.entry ? c.entry : "(null)");
    EXPECT_EQ(o.code, c.code) << where;
    EXPECT_EQ(o.shown, c.message.empty() ? "" : c.message + kPress) << where;
  }
}

TEST(Validation, OverlongFormatsAndEntriesStayInBounds)
{
  UseMenuMessages();
  std::string format = std::string(1000, 'x') + "z";
  std::string entry = std::string(1000, 'x') + "y";
  Outcome o = Validate(entry.c_str(), format.c_str());
  EXPECT_EQ(o.code, VALID_CHARACTER);
  EXPECT_EQ(o.shown,
            "Invalid character y\nz was expected after \"" + std::string(511, 'x') + "\"" + kPress);

  std::string sets = "A(0,0)";
  for (int i = 0; i < 200; i++)
    sets += "+.";
  sets += "+-";  // past the 79 characters a set holds: dropped
  o = Validate((std::string(3000, 'a') + "-").c_str(), sets.c_str());
  EXPECT_EQ(o.code, VALID_CHARACTER);
  EXPECT_EQ(o.shown, "Invalid character '-'\nThis text may contain \"abc..zABC..Z012..9" +
                         std::string(79, '.') + "\"" + kPress);
  EXPECT_EQ(Validate(std::string(5000, '7').c_str(), "d(1,99999)").code, VALID_RANGE);
}

TEST(Validation, LengthDigitsAndNames)
{
  UseMenuMessages();
  int min = -1;
  EXPECT_EQ(getMinMax("(3,8)", &min), 8);
  EXPECT_EQ(min, 3);
  EXPECT_EQ(getMinMax(nullptr, &min), 0);
  EXPECT_EQ(min, 0);

  EXPECT_EQ(ValidateEntryLen("1234", nullptr), nullptr);
  EXPECT_STREQ(ValidateEntryLen("12", nullptr), "This text must be 4 characters long.");
  EXPECT_STREQ(ValidateEntryLen("123", "(1,2)"),
               "This text length must be from 1 to 2 characters long.");
  EXPECT_EQ(ValidateEntryLen(nullptr, "(0,0)"), nullptr);
  EXPECT_STREQ(ValidateEntryLen("1", "(0,0)"), "This text must be 0 characters long.");
  EXPECT_EQ(ValidateEntryDigit("123x5"), 'x');
  EXPECT_EQ(ValidateEntryDigit(""), 0);

  int code = -1;
  std::string out = WithInput("\n", [&] { code = ValidateEntryTty("12a4", "(4,4)"); });
  EXPECT_EQ(code, VALID_CHARACTER);
  EXPECT_EQ(out, "Invalid digit:  a\n" + kPress);
  out = WithInput("\n", [&] { code = ValidateEntryTty("12", "(4,4)"); });
  EXPECT_EQ(code, VALID_LENGTH);
  EXPECT_EQ(out, "This text must be 4 characters long." + kPress);
  out = WithInput("", [&] { code = ValidateEntryTty("1234", "(4,4)"); });
  EXPECT_EQ(code, VALID_OK);
  EXPECT_EQ(out, "");

  bool ok = false;
  out = WithInput("\n", [&] { ok = TestName("lp_0-a"); });
  EXPECT_TRUE(ok);
  EXPECT_EQ(out, "");
  out = WithInput("\n", [&] { ok = TestName("lp 0"); });
  EXPECT_FALSE(ok);
  EXPECT_EQ(out, "\n' ' is not a valid name character. \nOnly alphanumeric character, '-', and "
                 "'_' are valid: \nPress <Return> to continue");
}

}  // namespace
