// The X display and its monitors, as the wallpaper settings of the Linux
// desktops need them: monitors are named as RandR names them ("DP-1",
// "HDMI-1"), which is also how GTK and the desktops name them.
#pragma once

#include <X11/Xlib.h>

#include <string>
#include <vector>

struct TXMonitor {
  std::string name;
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// One connection to the X server, closed when it ends. Opening throws when
// there is no X display.
class TXDisplay {
 public:
  TXDisplay();
  ~TXDisplay();
  TXDisplay(const TXDisplay&) = delete;
  TXDisplay& operator=(const TXDisplay&) = delete;

  Display* Get() const { return FDisplay; }
  Window Root() const { return DefaultRootWindow(FDisplay); }
  int ScreenNumber() const { return DefaultScreen(FDisplay); }

 private:
  Display* FDisplay = nullptr;
};

// The active monitors in RandR's order; without RandR monitors, the whole
// screen as one monitor named "screen".
std::vector<TXMonitor> ListXMonitors(const TXDisplay& display);

// Runs X requests with a private error handler: errors (a pixmap that is
// gone, say) are counted instead of ending the program. Window thread only.
class TXErrorTrap {
 public:
  explicit TXErrorTrap(Display* display);
  ~TXErrorTrap();
  TXErrorTrap(const TXErrorTrap&) = delete;
  TXErrorTrap& operator=(const TXErrorTrap&) = delete;
  // Waits for the server to answer everything sent so far; true when no
  // request since the trap was set failed.
  bool Ok();

 private:
  Display* FDisplay;
  int (*FPrevious)(Display*, XErrorEvent*);
};
