// The screen as the live wallpaper's pause reasons see it, read from the X
// server every couple of seconds: a full-screen window in front, normal
// windows hiding every monitor whole, and the display's power saving (DPMS).
#pragma once

#include <memory>
#include <vector>

#include "platform/DesktopStack.h"
#include "platform/PauseSources.h"

// True when the rectangles together cover `area` whole.
bool AreaCovered(const TScreenRect& area, const std::vector<TScreenRect>& rects);

class TXDisplay;

class TX11ScreenUse {
 public:
  // Its own connection to the display; every answer is empty without one.
  TX11ScreenUse();
  ~TX11ScreenUse();
  TX11ScreenUse(const TX11ScreenUse&) = delete;
  TX11ScreenUse& operator=(const TX11ScreenUse&) = delete;

  TScreenUse Read();

 private:
  std::unique_ptr<TXDisplay> FDisplay;
};
