// Shared helpers of the help viewer's tests: fresh module state, help texts
// loaded from pool copies or from real files in a private directory.
#ifndef NORVO_TESTS_HELP_HELPTEST_H
#define NORVO_TESTS_HELP_HELPTEST_H

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/ChildProcess.h"
#include "common/TempDir.h"
#include "help/HelpTty.h"
#include "help/html.h"
#include "memmgr/MemMgr.h"

class HelpTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    memset(aFile, 0, sizeof aFile);
    FileIndex = CurrentFile = 0;
    pCurrentPage = nullptr;
    HistoryI = TargetPos = 0;
    flBuildingFile = 0;
    ASSERT_FALSE(tmp.path().empty());
    dir = tmp.path();
  }
  void TearDown() override { ASSERT_TRUE(tmp.Remove()); }

  // Lays out an HTML text held in an exact-size heap copy (not pool memory,
  // which has room behind each block), so that a read past its end shows
  // under the sanitizers. The copy lives as long as the test.
  HtmlFile *Load(const std::string &html)
  {
    buffers.emplace_back(new char[html.size() + 1]);
    char *buf = buffers.back().get();
    memcpy(buf, html.c_str(), html.size() + 1);
    std::string name = "buffer" + std::to_string(++loads);
    return ParseHtmlFile(name.c_str(), buf);
  }
  // The text of page n (from 0) of a text laid out by Load.
  std::string Text(const std::string &html, int n = 0)
  {
    HtmlFile *f = Load(html);
    if (!f)
      return "<no file>";
    auto *page = static_cast<HtmlPage *>(ListFindItemN(&f->Pages, n + 1));
    return page && page->pText ? page->pText : "<no page>";
  }
  std::string Write(const std::string &name, const std::string &html)
  {
    std::string path = dir + "/" + name;
    testcommon::WriteFile(path, html);
    return path;
  }

  TempDir tmp;
  std::string dir;
  int loads = 0;
  std::vector<std::unique_ptr<char[]>> buffers;
};

inline HtmlAnchor *LinkN(HtmlPage *page, int n)
{
  void *item = ListFindItemN(&page->Links, n);
  HtmlAnchor *a = nullptr;
  if (item)
    memcpy(&a, item, sizeof a);
  return a;
}

inline std::string Repeat(char c, size_t n)
{
  return std::string(n, c);
}

#endif
