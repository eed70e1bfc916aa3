// What the desktop attachment of the live wallpaper needs from the window
// system: the stacking order of the top-level windows and a few requests on
// its own window. The Linux layer (platform/linux/X11DesktopStack) answers
// with Xlib and EWMH; the tests use a fake. Everything runs on the caller's
// thread; nothing here keeps a window alive.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A top-level window: an X11 window id on Linux. 0 means none.
using TNativeWindow = std::uint64_t;

struct TScreenRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const TScreenRect&) const = default;
};

enum class TSessionKind {
  skX11,       // an X11 session: windows can be stacked behind the desktop
  skWayland,   // a Wayland session: no program may place itself there
  skNone,      // no display could be reached
};

// One top-level window as the user sees it: for a managed window its client
// window (not the window manager's frame), for anything else the window itself.
struct TStackedWindow {
  TNativeWindow id = 0;
  bool desktopType = false;       // window type desktop
  bool alphaVisual = false;       // drawn with an alpha channel
  bool mapped = false;            // viewable
  bool overrideRedirect = false;  // menus, tooltips, the compositor's own windows
  TScreenRect geometry;           // in screen coordinates
};

struct TDesktopSnapshot {
  bool ok = false;              // false: the stacking order could not be read
  bool windowManager = false;   // a window manager that follows the desktop conventions runs
  bool compositor = false;      // a compositing manager runs, so alpha windows are see-through
  TScreenRect screen;           // the whole screen, all monitors together
  std::vector<TStackedWindow> windows;  // bottom to top
};

// The properties the attachment changes on its window, saved to be put back.
struct TWindowRole {
  std::vector<std::string> types;
  std::vector<std::string> states;
  bool operator==(const TWindowRole&) const = default;
};

class IDesktopStack {
 public:
  virtual ~IDesktopStack() = default;

  virtual TSessionKind Session() = 0;
  virtual TDesktopSnapshot Query() = 0;
  virtual bool WindowExists(TNativeWindow window) = 0;

  virtual TWindowRole ReadRole(TNativeWindow window) = 0;
  // Makes `window` a desktop window: type desktop, kept below, on every
  // workspace, without taskbar or pager entries, and shows it. Waits up to
  // `timeoutMs` for the window manager to take the window in that role;
  // false when it did not (the window may still be usable).
  virtual bool MakeDesktopWindow(TNativeWindow window, int timeoutMs) = 0;
  // Puts back a role read earlier. The window stays hidden.
  virtual void RestoreRole(TNativeWindow window, const TWindowRole& role) = 0;

  virtual void Cover(TNativeWindow window, const TScreenRect& area) = 0;
  // Stacks `window` directly above or below `sibling`; `sibling` 0 with
  // `above` false sends it to the bottom. False when the request was refused.
  virtual bool Restack(TNativeWindow window, TNativeWindow sibling, bool above) = 0;
  virtual void Hide(TNativeWindow window) = 0;

  // Lets the window manager and the desktop program act; blocks the caller.
  virtual void Wait(int ms) = 0;
};
