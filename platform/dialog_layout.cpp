#include "platform/dialog_layout.h"

#include <algorithm>
#include <climits>
#include <cstdint>

namespace qv::platform {

namespace {

struct ButtonSlot {
  std::uint16_t bit;
  int result;
};
// The order in which the buttons stand on the bar, left to right.
constexpr ButtonSlot kButtonOrder[] = {
    {kDlgOk, kResultOk},         {kDlgYes, kResultYes},     {kDlgNo, kResultNo},
    {kDlgCancel, kResultCancel}, {kDlgAbort, kResultAbort}, {kDlgRetry, kResultRetry},
    {kDlgIgnore, kResultIgnore}, {kDlgHelp, kResultHelp},
};

int CountdownMs(int seconds) {
  std::int64_t s = seconds < 0 ? -static_cast<std::int64_t>(seconds) : seconds;
  std::int64_t ms = s * 1000;
  return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

}  // namespace

const char16_t* ButtonCaption(int result) {
  switch (result) {
    case kResultOk: return u"OK";
    case kResultCancel: return u"Cancel";
    case kResultAbort: return u"Abort";
    case kResultRetry: return u"Retry";
    case kResultIgnore: return u"Ignore";
    case kResultYes: return u"Yes";
    case kResultNo: return u"No";
    case kResultHelp: return u"Help";
    default: return u"";
  }
}

DialogLayout LayoutMessageDialog(const DialogLayoutInput& in, const MeasureLabel& measure) {
  const int dpi = in.dpi > 0 ? in.dpi : 96;
  auto S = [dpi](int v) { return ScaleForDpi(v, dpi); };

  DialogLayout out;
  out.width = S(in.designWidth);
  out.clientWidth = std::max(1, out.width - in.nonClientWidth);
  out.showIcon = in.kind <= 3;
  out.icon = {S(kDesignIconLeft), S(kDesignIconTop), S(kDesignIconSize), S(kDesignIconSize)};
  out.showDetail = in.hasDetail;
  const int barHeight = S(kDesignBarHeight);

  int points = kDialogFontPoints;
  int h = 0;
  for (;;) {
    out.fontPoints = points;
    out.messageFontPx = S(kDesignMessageFontPx * points / kDialogFontPoints);
    out.detailFontPx = S(kDesignDetailFontPx * points / kDialogFontPoints);
    out.buttonFontPx = S(kDesignButtonFontPx * points / kDialogFontPoints);

    h = S(kDesignMessageTop);
    const int messageWidth = std::max(1, out.clientWidth - S(kDesignMessageLeft) - S(kDesignLabelRightMargin));
    const int messageHeight = measure ? std::max(0, measure(0, messageWidth, out.messageFontPx)) : 0;
    out.message = {S(kDesignMessageLeft), S(kDesignMessageTop), messageWidth, messageHeight};
    h += S(5) + messageHeight;
    if (in.hasDetail) {
      h += S(10);
      const int detailWidth = std::max(1, out.clientWidth - S(kDesignDetailLeft) - S(kDesignLabelRightMargin));
      const int detailHeight = measure ? std::max(0, measure(1, detailWidth, out.detailFontPx)) : 0;
      out.detail = {S(kDesignDetailLeft), h, detailWidth, detailHeight};
      h += S(10) + detailHeight;
    } else {
      out.detail = {};
      h += S(12);
    }
    const bool tooTall = in.workAreaHeight > 0 && S(30) + barHeight + h > in.workAreaHeight;
    if (!tooTall || points < kSmallestShrinkingFont) break;
    --points;
  }

  // The outer height leaves 30 units for caption and frame; a thicker frame
  // still gets the whole content inside the client area.
  out.height = std::max(h + S(30) + barHeight, h + barHeight + in.nonClientHeight);
  if (in.workAreaHeight > 0 && out.height > in.workAreaHeight) {
    // Still too tall at the smallest font: keep the buttons on the screen
    // and let the message scroll in what is left of the work area.
    const int excess = out.height - in.workAreaHeight;
    const int minimum = std::min(out.message.height, S(20));
    const int cut = std::min(excess, out.message.height - minimum);
    out.message.height -= cut;
    out.detail.top -= cut;
    out.height -= cut;
    out.messageScrolls = cut > 0;
  }
  out.clientHeight = out.height - in.nonClientHeight;
  out.bar = {0, out.clientHeight - barHeight, out.clientWidth, barHeight};
  out.barBorder = std::max(1, S(kDesignBarBorder));

  // Buttons, right-aligned, placed from the last to the first; the
  // leftmost button that qualifies for a bar is the last to claim it.
  std::vector<int> taken;
  for (const ButtonSlot& b : kButtonOrder)
    if (in.buttons & b.bit) taken.push_back(b.result);
  const int bw = S(kDesignButtonWidth);
  const int countdownTop = out.bar.top + S(kDesignCountdownTop);
  const int countdownHeight = S(kDesignCountdownHeight);
  // A bar that no button claims keeps the rightmost button slot.
  const int defaultBarLeft = out.bar.width - S(kDesignButtonGap) - bw;
  out.green.rect = {defaultBarLeft, countdownTop, bw, countdownHeight};
  out.red.rect = out.green.rect;
  out.buttons.resize(taken.size());
  int x = out.bar.width;
  for (std::size_t i = taken.size(); i-- > 0;) {
    const int result = taken[i];
    x = x - S(kDesignButtonGap) - bw;
    out.buttons[i] = {result, {x, out.bar.top + S(kDesignButtonTop), bw, S(kDesignButtonHeight)}};
    if (result == kResultNo || result == kResultCancel || result == kResultAbort) {
      out.red.rect.left = x;
      out.red.result = result;
    }
    if (result == kResultOk || result == kResultYes) {
      out.green.rect.left = x;
      out.green.result = result;
    }
    if (result == kResultOk && in.seconds < 0 && taken.size() == 1) {
      out.red.rect.left = x;
      out.red.result = result;
    }
  }
  if (in.seconds > 0) {
    out.green.shown = true;
    out.green.totalMs = CountdownMs(in.seconds);
  } else if (in.seconds < 0) {
    out.red.shown = true;
    out.red.totalMs = CountdownMs(in.seconds);
  }
  return out;
}

int CountdownTimer::Tick() {
  int close = 0;
  if (position_ <= 100) close = result_;
  position_ -= 100;
  return close;
}

}  // namespace qv::platform
