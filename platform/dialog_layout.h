// Layout of the connect program's message dialog, as a pure function.
//
// The Win32 dialog (platform/win32/connect_dialog.cpp) measures the wrapped
// label texts, asks LayoutMessageDialog where everything goes and moves its
// controls there; the function itself knows nothing of windows, so every
// rule of the layout (sizes at any pixel density, which buttons show and in
// which order, which button carries a countdown bar, the font shrinking for
// small screens) is checked without showing anything.
//
// All design values are in 96-dpi units and scaled with ScaleForDpi.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace qv::platform {

// v x dpi / 96, truncating.
constexpr int ScaleForDpi(int value, int dpi) { return value * dpi / 96; }

// Button bits of DialogRequest::buttons and the dialog's result codes.
inline constexpr std::uint16_t kDlgYes = 1u << 0;
inline constexpr std::uint16_t kDlgNo = 1u << 1;
inline constexpr std::uint16_t kDlgOk = 1u << 2;
inline constexpr std::uint16_t kDlgCancel = 1u << 3;
inline constexpr std::uint16_t kDlgAbort = 1u << 4;
inline constexpr std::uint16_t kDlgRetry = 1u << 5;
inline constexpr std::uint16_t kDlgIgnore = 1u << 6;
inline constexpr std::uint16_t kDlgHelp = 1u << 10;

inline constexpr int kResultOk = 1;
inline constexpr int kResultCancel = 2;  // also the window's close box
inline constexpr int kResultAbort = 3;
inline constexpr int kResultRetry = 4;
inline constexpr int kResultIgnore = 5;
inline constexpr int kResultYes = 6;
inline constexpr int kResultNo = 7;
inline constexpr int kResultHelp = 9;

// Captions of the buttons ("Yes", "No", ...), by result code; empty for others.
const char16_t* ButtonCaption(int result);

// Design values of the form.
inline constexpr int kDesignIconLeft = 8, kDesignIconTop = 8, kDesignIconSize = 36;
inline constexpr int kDesignMessageLeft = 56, kDesignMessageTop = 16;
inline constexpr int kDesignDetailLeft = 64;
inline constexpr int kDesignLabelRightMargin = 16;  // labels stretch with the form
inline constexpr int kDesignBarHeight = 43, kDesignBarBorder = 2;
inline constexpr int kDesignButtonWidth = 64, kDesignButtonHeight = 25, kDesignButtonTop = 8;
inline constexpr int kDesignButtonGap = 10;
inline constexpr int kDesignCountdownTop = 35, kDesignCountdownHeight = 4;
inline constexpr int kDesignMessageFontPx = 15;  // bold Tahoma
inline constexpr int kDesignDetailFontPx = 16;   // Tahoma
inline constexpr int kDesignButtonFontPx = 12;   // Tahoma, the button bar's font
// The dialog font starts at 11 points (the message font's size) and is
// lowered one point at a time, down to 9, while the dialog does not fit.
inline constexpr int kDialogFontPoints = 11;
inline constexpr int kSmallestShrinkingFont = 10;

struct LayoutRect {
  int left = 0, top = 0, width = 0, height = 0;
  bool operator==(const LayoutRect&) const = default;
};

struct DialogLayoutInput {
  int dpi = 96;
  int designWidth = 500;       // the dialog's outer width in 96-dpi units
  std::uint8_t kind = 1;       // 0..3 show an icon
  std::uint16_t buttons = 0;   // kDlg* bits; others are ignored
  int seconds = 0;             // > 0 green countdown, < 0 red countdown
  bool hasDetail = false;
  int nonClientWidth = 0;      // both frame borders, pixels
  int nonClientHeight = 0;     // caption and frame borders, pixels
  int workAreaHeight = 0;      // pixels; 0 for no limit
};

// Height in pixels of a label's text wrapped to `width` pixels in a font
// `fontPx` pixels high. label 0 is the message, 1 the detail.
using MeasureLabel = std::function<int(int label, int width, int fontPx)>;

struct LayoutButton {
  int result = 0;
  LayoutRect rect;  // client coordinates
};

struct LayoutCountdown {
  bool shown = false;
  LayoutRect rect;  // client coordinates
  int result = 0;   // 0: no button carries the bar; it runs down without closing
  int totalMs = 0;  // the bar's maximum and starting position
};

struct DialogLayout {
  int fontPoints = kDialogFontPoints;
  int messageFontPx = 0, detailFontPx = 0, buttonFontPx = 0;
  int width = 0, height = 0;              // outer size
  int clientWidth = 0, clientHeight = 0;
  bool showIcon = false;
  LayoutRect icon;
  LayoutRect message;
  bool showDetail = false;
  LayoutRect detail;
  LayoutRect bar;
  int barBorder = 0;                      // thickness of the bar's top border
  std::vector<LayoutButton> buttons;      // left to right
  LayoutCountdown green, red;
  // Even the smallest font leaves the dialog taller than the work area: the
  // message label was cut to fit and must scroll.
  bool messageScrolls = false;
};

DialogLayout LayoutMessageDialog(const DialogLayoutInput& input, const MeasureLabel& measure);

// One countdown bar's timer: every 100 ms tick lowers the position by 100
// after closing the dialog when it has reached 100 or less, so N seconds
// close on the 10 x N-th tick.
class CountdownTimer {
 public:
  CountdownTimer() = default;
  CountdownTimer(int totalMs, int result) : position_(totalMs), total_(totalMs), result_(result) {}
  // The result to close the dialog with, or 0 to stay open.
  int Tick();
  int Position() const { return position_; }
  int Total() const { return total_; }
  // A bar without a result code that has run down needs no more ticks.
  bool Finished() const { return result_ == 0 && position_ <= 0; }

 private:
  int position_ = 0;
  int total_ = 0;
  int result_ = 0;
};

}  // namespace qv::platform
