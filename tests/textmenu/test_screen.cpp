// The screen image on images of chosen sizes, and the terminal layer's output.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/ChildProcess.h"
#include "textmenu/MenuTestSupport.h"
#include "textmenu/TextMenu.h"

namespace {

// An image over a buffer with guard bytes behind it.
struct Image {
  std::vector<char> buf;
  ScreenImage img{};
  static constexpr int kGuard = 64;
  Image(int w, int h) : buf(static_cast<size_t>(w) * h + kGuard, '#')
  {
    img.Width = w;
    img.Height = h;
    img.pData = buf.data();
    memset(img.pData, ' ', static_cast<size_t>(w) * h);
  }
  std::string Row(int r) const  // from 1
  {
    return std::string(img.pData + static_cast<size_t>(r - 1) * img.Width, img.Width);
  }
  bool GuardIntact() const
  {
    size_t size = static_cast<size_t>(img.Width) * img.Height;
    for (size_t k = size; k < buf.size(); k++) {
      if (buf[k] != '#') {
        return false;
      }
    }
    return true;
  }
};

TEST(ScreenImage, WritesLandWhereSaidAndNeverLeaveTheImage)
{
  Image s(10, 3);
  SetPosition(&s.img, 2, 0);  // row 0 writes on row 1
  WriteString(&s.img, "ab%d", 7);
  EXPECT_EQ(s.Row(1), "  ab7     ");
  SetPosition(&s.img, 11, 2);  // past the width: column 0
  WriteString(&s.img, "x");
  SetPosition(&s.img, 8, 2);  // runs on into the next row
  WriteString(&s.img, "XYZ");
  EXPECT_EQ(s.Row(2), "x       XY");
  EXPECT_EQ(s.Row(3).substr(0, 2), "Z ");
  EXPECT_EQ(s.img.CurCol, 8);  // the write position stays
  SetPosition(&s.img, 7, 3);
  WriteString(&s.img, "%s", std::string(600, 'q').c_str());  // cut at the image's end
  EXPECT_EQ(s.Row(3), "Z      qqq");
  EXPECT_TRUE(s.GuardIntact());

  FillArea(&s.img, 8, 1, 5, 5, '+');  // clipped right and below
  EXPECT_EQ(s.Row(2), "x       ++");
  EXPECT_EQ(s.Row(3), "Z      q++");
  FillArea(&s.img, -3, -1, 4, 2, '-');  // clipped left and above
  EXPECT_EQ(s.Row(1), "- ab7     ");
  EXPECT_TRUE(s.GuardIntact());

  NumberScreen(&s.img);  // a small image gets what fits
  EXPECT_EQ(s.Row(1), "0123456789");
  EXPECT_EQ(s.Row(3), "0123456789");
  EXPECT_TRUE(s.GuardIntact());
  Image big(100, 30);
  NumberScreen(&big.img);  // 24 rows of 80 digits, cycling over the whole pattern
  EXPECT_EQ(big.Row(1).substr(0, 12), "012345678901");
  EXPECT_EQ(big.img.pData[1919], '9');
  EXPECT_EQ(big.img.pData[1920], ' ');
}

TEST(ScreenImage, RefreshPrintsTheImageButItsLastCell)
{
  ChildResult r = RunChild([] {
    Image s(80, 24);
    NumberScreen(&s.img);
    Refresh(&s.img);
  });
  EXPECT_EQ(r.out.size(), 1919u);
  EXPECT_EQ(r.out.substr(0, 11), "01234567890");

  // A line end ends its row early; the rest of the stream follows.
  r = RunChild([] {
    Image s(4, 3);
    memcpy(s.img.pData, "ab\ncdefghijk", 12);
    Refresh(&s.img);
  });
  EXPECT_EQ(r.out, "abcdefghij");

  // Rows wider than the line buffer are cut, not overrun.
  r = RunChild([] {
    Image s(5000, 2);
    memset(s.img.pData, 'w', 10000);
    Refresh(&s.img);
  });
  EXPECT_EQ(r.out, std::string(2 * (CUR_LINE_BUF_SIZE - 1), 'w'));
}

TEST(ScreenImage, FrameOfThePickScreen)
{
  Image s(40, 10);
  char label[] = "Trays";
  TextMenuItem item{};
  item.pLabel = label;
  item.LabelLen = 5;
  char save[] = "s = save", cancel[] = "c = cancel", cur[] = "Now: %s", cut[] = "Now: %s...",
       prompt[] = "Choose: ";
  NPATTYMENU_SAVE = save;
  NPATTYMENU_CANCEL = cancel;
  NPATTYMENU_CURSEL = cur;
  NPATTYMENU_CURSELTRUNC = cut;
  NPATTYMENU_OPTION = prompt;
  WriteScreenFrame(&s.img, &item, "Tray 1 Tray 2");
  EXPECT_EQ(s.Row(1), std::string(17, ' ') + "Trays" + std::string(18, ' '));
  EXPECT_EQ(s.Row(8), "s = save" + std::string(12, ' ') + "c = cancel" + std::string(10, ' '));
  EXPECT_EQ(s.Row(9), "Now: Tray 1 Tray 2" + std::string(22, ' '));
  EXPECT_EQ(s.Row(10), "Choose: " + std::string(32, ' '));
  // A selection longer than the row is cut and marked.
  WriteScreenFrame(&s.img, &item, std::string(60, 'x').c_str());
  EXPECT_EQ(s.Row(9), "Now: " + std::string(32, 'x') + "...");
  EXPECT_TRUE(s.GuardIntact());
}

// Terminal output with the description TERM names, and without one.
std::string CursorAndClear(const char *term)
{
  ChildResult r = RunChild([term] {
    setenv("TERM", term, 1);
    Image s(20, 5);
    NumberScreen(&s.img);
    MoveCursor(&s.img, 4, 2);
    ClearScreen(&s.img);
    printf("|%s|", s.Row(1).c_str());
  });
  return r.out;
}

TEST(ScreenImage, CursorAndClearingFollowTheTerminalDescription)
{
  EXPECT_EQ(CursorAndClear("xterm"), "\033[2;5H\033[H\033[2J|" + std::string(20, ' ') + "|");
  EXPECT_EQ(CursorAndClear("vt52"), "\033Y!$\033H\033J|" + std::string(20, ' ') + "|");
  // Without a description the ANSI sequences serve.
  EXPECT_EQ(CursorAndClear("no-such-terminal"),
            "\033[2;5H\033[H\033[2J|" + std::string(20, ' ') + "|");
}

TEST(ScreenImage, OverlayDrawsABoxAndWaits)
{
  ChildResult r = RunChild([] {
    setenv("TERM", "no-such-terminal", 1);
    if (freopen("/dev/null", "r", stdin) == nullptr) {
      _exit(3);
    }
    Image s(40, 12);
    SetOvlInfo(&s.img, 5, 2, 12, 3);
    SetPosition(&s.img, 1, 9);
    Overlay(&s.img, "Hello", 1);
  });
  EXPECT_EQ(r.out, "\033[2;6H****************\n"
                   "\033[3;6H* Hello        *"
                   "\033[4;6H* Press enter    *"
                   "\033[5;6H****************"
                   "\033[4;21H"
                   "\033[9;2H");
}

TEST(ScreenImage, TerminalSizeFromTheEnvironmentWithoutATerminal)
{
  ChildResult r = RunChild([] {
    SizeWithoutATerminal("30", "100");
    ScreenImage *img = GetTermInfo(nullptr);
    printf("%dx%d ", img->Width, img->Height);
    unsetenv("LINES");
    unsetenv("COLUMNS");
    img = GetTermInfo(img);
    printf("%dx%d %c", img->Width, img->Height, img->pData[80 * 24 - 1]);
  });
  EXPECT_EQ(r.out, "100x30 80x24  ");
}

}  // namespace
