// Benchmark helper: counts how often the screen's picture changes (X damage
// on the root window, children included) for a number of seconds and prints
// "<count> <seconds>", so that a script can tell frames drawn per second
// from outside the program that draws them.
#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <sys/select.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 10;
  Display* display = XOpenDisplay(nullptr);
  int eventBase = 0, errorBase = 0;
  if (!display || !XDamageQueryExtension(display, &eventBase, &errorBase)) {
    std::fprintf(stderr, "no X display with the damage extension\n");
    return 2;
  }
  const Window root = DefaultRootWindow(display);
  XSelectInput(display, root, SubstructureNotifyMask);
  // One report each time the damaged area goes from empty to not empty;
  // subtracting after each report makes that once per painted frame.
  const Damage damage = XDamageCreate(display, root, XDamageReportNonEmpty);
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  long count = 0;
  for (;;) {
    while (XPending(display)) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type == eventBase + XDamageNotify) {
        ++count;
        XDamageSubtract(display, damage, None, None);
      }
    }
    const auto left = end - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) break;
    const int fd = ConnectionNumber(display);
    fd_set set;
    FD_ZERO(&set);
    FD_SET(fd, &set);
    const auto micro = std::chrono::duration_cast<std::chrono::microseconds>(left).count();
    timeval wait{static_cast<time_t>(micro / 1000000), static_cast<suseconds_t>(micro % 1000000)};
    select(fd + 1, &set, nullptr, nullptr, &wait);
  }
  std::printf("%ld %.1f\n", count, seconds);
  XDamageDestroy(display, damage);
  XCloseDisplay(display);
  return 0;
}
