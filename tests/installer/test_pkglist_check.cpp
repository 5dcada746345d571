// CheckPkgList: the package list read and checked as ProcessPkgList reads
// it, with nothing carried out and nothing ending the process.
#include <gtest/gtest.h>

#include <string>

#include "installer/setup.h"
#include "test_pkglist_util.h"

using namespace pkgtest;

namespace {

int Check(const TempDir &tmp, const std::string &text, const char **reason)
{
  std::string path = tmp / "pkg.list";
  WriteFile(path, text);
  return CheckPkgList(path.c_str(), reason);
}

TEST(CheckPkgList, CountsTheLinesThatWouldRunAndTouchesNothing)
{
  TempDir tmp;
  const char *reason = "unset";
  // No application directory is set: running a line would fail at once.
  EXPECT_EQ(Check(tmp,
                  "dir lib\n# c nothing\n\nc a mode 755 \\\n owner root\nm gone\n"
                  "newdir log mode 777\nv ~ 1 c x\n",
                  &reason),
            4);
  EXPECT_EQ(reason, nullptr);
}

TEST(CheckPkgList, RefusesWhatTheRunWouldRefuseAndSaysWhy)
{
  TempDir tmp;
  const char *reason = nullptr;
  EXPECT_EQ(Check(tmp, "c good\nc bad;rm\nc never\n", &reason), -1);
  ASSERT_NE(reason, nullptr);
  EXPECT_NE(std::string(reason).find("\"bad;rm\""), std::string::npos) << reason;
  EXPECT_EQ(Check(tmp, "c x link /usr/bin/$(id)\n", &reason), -1);
  EXPECT_EQ(Check(tmp, "c " + std::string(600, 'x') + "\n", &reason), -1);
  EXPECT_NE(std::string(reason).find("too long"), std::string::npos) << reason;
  // Words a shell never sees are not checked.
  EXPECT_EQ(Check(tmp, "m a;b\ncheckps ,a b,\nc x sed s/a b/c;d/\n", &reason), 3);
  // The longest continued line read whole counts alike with or without a
  // final line end, so a line added after it is still seen; one character
  // more may be torn and is refused either way.
  std::string continued;
  while (continued.size() < LINEBUF_SIZE - 2 - 100)
    continued += "# " + std::string(96, 'c') + "\\\n";
  for (size_t longest : {LINEBUF_SIZE - 3, LINEBUF_SIZE - 2}) {
    std::string last = continued + std::string(longest - continued.size(), 'c');
    int whole = longest == LINEBUF_SIZE - 3 ? 1 : -1;
    EXPECT_EQ(Check(tmp, "c a\n" + last, &reason), whole) << longest;
    EXPECT_EQ(Check(tmp, "c a\n" + last + "\n", &reason), whole) << longest;
    EXPECT_EQ(Check(tmp, "c a\n" + last + "\nc evil;rm\n", &reason), -1);
    EXPECT_NE(std::string(reason).find(whole > 0 ? "evil;rm" : "too long"), std::string::npos)
        << reason;
  }
  EXPECT_EQ(CheckPkgList((tmp / "missing").c_str(), &reason), -1);
  EXPECT_EQ(reason, nullptr) << "a list that cannot be read has no refused line";
}

}  // namespace
