#include "platform/linux/XMonitors.h"

#include <X11/extensions/Xrandr.h>

#include <stdexcept>

namespace {

int GErrorCount = 0;

int CountError(Display*, XErrorEvent*) {
  ++GErrorCount;
  return 0;
}

}  // namespace

TXDisplay::TXDisplay() {
  const char* name = XDisplayName(nullptr);
  FDisplay = XOpenDisplay(nullptr);
  if (!FDisplay) {
    throw std::runtime_error(std::string("cannot open the X display \"") + (name ? name : "") + "\"");
  }
}

TXDisplay::~TXDisplay() { XCloseDisplay(FDisplay); }

std::vector<TXMonitor> ListXMonitors(const TXDisplay& display) {
  std::vector<TXMonitor> monitors;
  int eventBase = 0;
  int errorBase = 0;
  if (XRRQueryExtension(display.Get(), &eventBase, &errorBase)) {
    int count = 0;
    XRRMonitorInfo* infos = XRRGetMonitors(display.Get(), display.Root(), True, &count);
    for (int i = 0; infos && i < count; ++i) {
      char* name = XGetAtomName(display.Get(), infos[i].name);
      monitors.push_back({name ? name : "", infos[i].x, infos[i].y, infos[i].width, infos[i].height});
      if (name) XFree(name);
    }
    if (infos) XRRFreeMonitors(infos);
  }
  if (monitors.empty()) {
    const int screen = display.ScreenNumber();
    monitors.push_back({"screen", 0, 0, DisplayWidth(display.Get(), screen), DisplayHeight(display.Get(), screen)});
  }
  return monitors;
}

TXErrorTrap::TXErrorTrap(Display* display) : FDisplay(display) {
  XSync(FDisplay, False);
  GErrorCount = 0;
  FPrevious = XSetErrorHandler(CountError);
}

TXErrorTrap::~TXErrorTrap() {
  XSync(FDisplay, False);
  XSetErrorHandler(FPrevious);
}

bool TXErrorTrap::Ok() {
  XSync(FDisplay, False);
  return GErrorCount == 0;
}
