// A plain system message box that closes itself: programs of the suite run
// unattended as often as interactively, so an error message must not block
// forever.
#pragma once

#include <cstdint>

#include "platform/seam.h"

namespace qv {

// Shows `text` (light markup: "<br>" breaks a line, everything from the not
// sign U+00AC on is cut, other tags are removed) in a message box without
// owner. seconds > 0 closes it with IDOK after that time, seconds < 0 with
// IDCANCEL after -seconds, 0 never. Returns the box's result.
int ShowTimedMessage(StringView text, StringView title, std::uint32_t style, int seconds);

// The text as the box shows it.
String PrepareMessageText(StringView text);

// The worker that closes the box: after 10 x |seconds| sleeps of 100 ms (at
// least one) it ends the top-level window titled `caption` as a dialog, with
// IDOK for positive seconds and IDCANCEL otherwise. It runs detached, owns
// a copy of the caption and frees itself when done.
class Tsimplethread {
 public:
  // Starts the worker at once unless createSuspended; then Start() starts it.
  Tsimplethread(bool createSuspended, StringView caption, int seconds);
  void Start();

  // Number of workers still running in this process (tests wait for 0
  // before they tear down the machine the workers talk to).
  static int Running();

 private:
  String caption_;
  int seconds_;
  platform::Platform* platform_;
  bool started_ = false;
};

}  // namespace qv
