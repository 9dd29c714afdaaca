// The message dialog's layout: sizes at each pixel density, button order
// and placement, the countdown bars, and the shrinking font.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/dialog_layout.h"

using namespace qv::platform;

namespace {

// Every label is `lines` lines of 1.2 x the font height.
MeasureLabel Lines(int messageLines, int detailLines = 0) {
  return [=](int label, int /*width*/, int fontPx) { return (label == 0 ? messageLines : detailLines) * fontPx * 6 / 5; };
}

DialogLayoutInput Input(std::uint16_t buttons, int seconds, int dpi = 96) {
  DialogLayoutInput in;
  in.dpi = dpi;
  in.buttons = buttons;
  in.seconds = seconds;
  in.nonClientWidth = 6 * dpi / 96;
  in.nonClientHeight = 29 * dpi / 96;
  in.workAreaHeight = 1000 * dpi / 96;
  return in;
}

int ButtonLeft(const DialogLayout& l, int result) {
  for (const LayoutButton& b : l.buttons)
    if (b.result == result) return b.rect.left;
  return -1;
}

TEST(DialogLayout, CountdownBarsSitUnderTheirButton) {
  struct Case {
    const char* name;
    std::uint16_t buttons;
    int seconds;
    bool green, red;
    int result;  // the result of the shown bar
    int under;   // the button it sits under; 0: its own place, no button
  };
  const Case cases[] = {
      {"Yes No, 2 s", kDlgYes | kDlgNo, 2, true, false, kResultYes, kResultYes},
      {"Yes No, -2 s", kDlgYes | kDlgNo, -2, false, true, kResultNo, kResultNo},
      {"OK, -2 s", kDlgOk, -2, false, true, kResultOk, kResultOk},
      {"OK, 3 s", kDlgOk, 3, true, false, kResultOk, kResultOk},
      {"Yes No, no countdown", kDlgYes | kDlgNo, 0, false, false, 0, 0},
      {"OK Cancel, -5 s", kDlgOk | kDlgCancel, -5, false, true, kResultCancel, kResultCancel},
      {"Yes No Cancel, -1 s: the leftmost", kDlgYes | kDlgNo | kDlgCancel, -1, false, true, kResultNo, kResultNo},
      {"OK Yes, 1 s: OK stands left of Yes", kDlgOk | kDlgYes, 1, true, false, kResultOk, kResultOk},
      {"OK Help, -1 s: OK is not alone", kDlgOk | kDlgHelp, -1, false, true, 0, 0},
      {"Retry Cancel, 4 s: no green button", kDlgRetry | kDlgCancel, 4, true, false, 0, 0},
      {"Abort Retry Ignore, -1 s", kDlgAbort | kDlgRetry | kDlgIgnore, -1, false, true, kResultAbort, kResultAbort},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const DialogLayout l = LayoutMessageDialog(Input(c.buttons, c.seconds), Lines(2));
    EXPECT_EQ(l.green.shown, c.green);
    EXPECT_EQ(l.red.shown, c.red);
    const LayoutCountdown& bar = c.green ? l.green : l.red;
    if (!c.green && !c.red) continue;
    EXPECT_EQ(bar.result, c.result);
    EXPECT_EQ(bar.totalMs, std::abs(c.seconds) * 1000);
    EXPECT_EQ(bar.rect.top, l.bar.top + 35);
    EXPECT_EQ(bar.rect.width, 64);
    EXPECT_EQ(bar.rect.height, 4);
    if (c.under != 0) {
      EXPECT_EQ(bar.rect.left, ButtonLeft(l, c.under));
    }
  }
}

TEST(DialogLayout, ButtonsStandRightAlignedInTheirOrder) {
  const DialogLayout l = LayoutMessageDialog(
      Input(kDlgHelp | kDlgIgnore | kDlgRetry | kDlgAbort | kDlgCancel | kDlgNo | kDlgYes | kDlgOk | 0x0180, 0),
      Lines(1));
  const int order[] = {kResultOk, kResultYes, kResultNo, kResultCancel, kResultAbort, kResultRetry, kResultIgnore,
                       kResultHelp};
  ASSERT_EQ(l.buttons.size(), 8u);  // unknown bits are ignored
  for (std::size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(l.buttons[i].result, order[i]);
    EXPECT_EQ(l.buttons[i].rect.left, l.clientWidth - static_cast<int>(8 - i) * 74);
    EXPECT_EQ(l.buttons[i].rect.top, l.bar.top + 8);
    EXPECT_EQ(l.buttons[i].rect.width, 64);
    EXPECT_EQ(l.buttons[i].rect.height, 25);
  }
  EXPECT_TRUE(LayoutMessageDialog(Input(0, 0), Lines(1)).buttons.empty());
  EXPECT_EQ(std::u16string(ButtonCaption(kResultNo)), u"No");
  EXPECT_EQ(std::u16string(ButtonCaption(8)), u"");
}

TEST(DialogLayout, ScalesWithThePixelDensity) {
  for (int dpi : {96, 144, 192}) {
    SCOPED_TRACE(dpi);
    DialogLayoutInput in = Input(kDlgYes | kDlgNo, 2, dpi);
    in.designWidth = 600;
    in.hasDetail = true;
    const DialogLayout l = LayoutMessageDialog(in, Lines(3, 2));
    auto S = [dpi](int v) { return v * dpi / 96; };
    EXPECT_EQ(l.width, S(600));
    EXPECT_EQ(l.clientWidth, S(600) - in.nonClientWidth);
    EXPECT_EQ(l.icon, (LayoutRect{S(8), S(8), S(36), S(36)}));
    EXPECT_EQ(l.messageFontPx, S(15));
    EXPECT_EQ(l.detailFontPx, S(16));
    EXPECT_EQ(l.buttonFontPx, S(12));
    const int messageHeight = 3 * S(15) * 6 / 5;
    const int detailHeight = 2 * S(16) * 6 / 5;
    EXPECT_EQ(l.message, (LayoutRect{S(56), S(16), l.clientWidth - S(56) - S(16), messageHeight}));
    const int detailTop = S(16) + S(5) + messageHeight + S(10);
    EXPECT_EQ(l.detail, (LayoutRect{S(64), detailTop, l.clientWidth - S(64) - S(16), detailHeight}));
    const int h = detailTop + S(10) + detailHeight;
    EXPECT_EQ(l.height, h + S(30) + S(43));
    EXPECT_EQ(l.bar, (LayoutRect{0, l.clientHeight - S(43), l.clientWidth, S(43)}));
    EXPECT_EQ(l.buttons[1].rect, (LayoutRect{l.clientWidth - S(10) - S(64), l.bar.top + S(8), S(64), S(25)}));
    EXPECT_EQ(l.buttons[0].rect.left, l.clientWidth - 2 * (S(10) + S(64)));
    EXPECT_EQ(l.green.rect, (LayoutRect{l.buttons[0].rect.left, l.bar.top + S(35), S(64), S(4)}));
  }
}

TEST(DialogLayout, WithoutDetailTwelveUnitsFollowTheMessage) {
  const DialogLayout l = LayoutMessageDialog(Input(kDlgOk, 0), Lines(2));
  EXPECT_FALSE(l.showDetail);
  EXPECT_EQ(l.height, 16 + 5 + 2 * 18 + 12 + 30 + 43);
  EXPECT_TRUE(l.showIcon);
  DialogLayoutInput none = Input(kDlgOk, 0);
  none.kind = 4;
  EXPECT_FALSE(LayoutMessageDialog(none, Lines(2)).showIcon);
}

TEST(DialogLayout, AThickFrameStillHoldsTheContent) {
  DialogLayoutInput in = Input(kDlgOk, 0);
  in.nonClientHeight = 50;
  const DialogLayout l = LayoutMessageDialog(in, Lines(2));
  EXPECT_EQ(l.clientHeight, 16 + 5 + 36 + 12 + 43);
  EXPECT_GE(l.bar.top, l.message.top + l.message.height);
}

TEST(DialogLayout, ShrinksTheFontOnASmallScreen) {
  // 40 lines need 16 + 5 + 720 + 12 + 30 + 43 = 826 pixels at 11 points.
  struct Case {
    int workArea;
    int points;
    bool scrolls;
  };
  for (const Case& c : {Case{900, 11, false}, Case{800, 10, false}, Case{700, 9, false}, Case{500, 9, true}}) {
    SCOPED_TRACE(c.workArea);
    DialogLayoutInput in = Input(kDlgOk, -2);
    in.workAreaHeight = c.workArea;
    const DialogLayout l = LayoutMessageDialog(in, Lines(40));
    EXPECT_EQ(l.fontPoints, c.points);
    EXPECT_EQ(l.messageFontPx, 15 * c.points / 11);
    EXPECT_EQ(l.messageScrolls, c.scrolls);
    EXPECT_LE(l.height, c.workArea);
    EXPECT_EQ(l.bar.top + l.bar.height, l.clientHeight);
    EXPECT_GE(l.bar.top, l.message.top + l.message.height);
  }
}

TEST(DialogLayout, CountdownClosesOnTheTenTimesNthTick) {
  for (int seconds : {1, 2, 3}) {
    CountdownTimer t(seconds * 1000, kResultYes);
    int ticks = 0, result = 0;
    while (result == 0 && ticks < 1000) result = t.Tick(), ++ticks;
    EXPECT_EQ(result, kResultYes);
    EXPECT_EQ(ticks, 10 * seconds);
  }
  CountdownTimer noButton(1000, 0);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(noButton.Tick(), 0);
  EXPECT_TRUE(noButton.Finished());
}

}  // namespace
