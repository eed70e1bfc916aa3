#include "platform/linux/X11DesktopStack.h"

#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

// Windows come and go under our feet (a desktop program quits while we read
// the stack): their errors are expected answers, not faults. The handler is
// process-wide, so it is set only around our own requests and the previous
// one (the toolkit's) put back.
class TErrorTrap {
 public:
  explicit TErrorTrap(Display* display) : FDisplay(display) {
    XSync(FDisplay, False);
    FError = 0;
    FPrevious = XSetErrorHandler(&TErrorTrap::Handle);
  }
  ~TErrorTrap() {
    XSync(FDisplay, False);
    XSetErrorHandler(FPrevious);
  }
  TErrorTrap(const TErrorTrap&) = delete;
  TErrorTrap& operator=(const TErrorTrap&) = delete;
  // True when no request since the trap was set has failed.
  bool Clean() {
    XSync(FDisplay, False);
    return FError == 0;
  }

 private:
  static int Handle(Display*, XErrorEvent* event) {
    FError = event->error_code;
    return 0;
  }
  static inline int FError = 0;
  Display* FDisplay;
  int (*FPrevious)(Display*, XErrorEvent*) = nullptr;
};

bool IsWaylandSession() {
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const char* type = std::getenv("XDG_SESSION_TYPE");
  return (wayland && *wayland) || (type && std::strcmp(type, "wayland") == 0);
}

// Desktop windows, as the window manager expects them from the moment it manages one.
constexpr const char* kDesktopStates[] = {"_NET_WM_STATE_BELOW", "_NET_WM_STATE_STICKY",
                                          "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"};
constexpr long kAllWorkspaces = 0xFFFFFFFF;
constexpr int kPollMs = 10;

}  // namespace

TX11DesktopStack::TX11DesktopStack() {
  if (IsWaylandSession()) {
    FSession = TSessionKind::skWayland;
    return;
  }
  FDisplay = XOpenDisplay(nullptr);
  if (!FDisplay) return;
  FSession = TSessionKind::skX11;
  FScreen = DefaultScreen(FDisplay);
  FRoot = RootWindow(FDisplay, FScreen);
}

TX11DesktopStack::~TX11DesktopStack() {
  if (FDisplay) XCloseDisplay(FDisplay);
}

TX11DesktopStack::TAtom TX11DesktopStack::Intern(const char* name) const { return XInternAtom(FDisplay, name, False); }

std::vector<TX11DesktopStack::TAtom> TX11DesktopStack::ReadAtoms(TWindow window, TAtom property) const {
  std::vector<Atom> atoms;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(FDisplay, window, property, 0, 64, False, XA_ATOM, &type, &format, &count, &after,
                         &data) == Success &&
      data && type == XA_ATOM && format == 32) {
    const auto* values = reinterpret_cast<const Atom*>(data);  // 32-bit data arrives as longs
    atoms.assign(values, values + count);
  }
  if (data) XFree(data);
  return atoms;
}

void TX11DesktopStack::WriteAtoms(TWindow window, TAtom property, const std::vector<TAtom>& atoms) const {
  if (atoms.empty()) {
    XDeleteProperty(FDisplay, window, property);
    return;
  }
  XChangeProperty(FDisplay, window, property, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(atoms.data()), static_cast<int>(atoms.size()));
}

std::vector<std::string> TX11DesktopStack::AtomNames(const std::vector<TAtom>& atoms) const {
  std::vector<std::string> names;
  for (const Atom atom : atoms) {
    char* name = XGetAtomName(FDisplay, atom);
    if (!name) continue;
    names.emplace_back(name);
    XFree(name);
  }
  return names;
}

bool TX11DesktopStack::HasWindowManager() const {
  const Atom check = Intern("_NET_SUPPORTING_WM_CHECK");
  Window wm = 0;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(FDisplay, FRoot, check, 0, 1, False, XA_WINDOW, &type, &format, &count, &after, &data) ==
          Success &&
      data && count == 1) {
    wm = static_cast<Window>(*reinterpret_cast<const unsigned long*>(data));
  }
  if (data) XFree(data);
  XWindowAttributes attributes;
  return wm != 0 && XGetWindowAttributes(FDisplay, wm, &attributes) != 0;
}

bool TX11DesktopStack::WindowManagerSupports(TAtom hint) const {
  for (const Atom supported : ReadAtoms(FRoot, Intern("_NET_SUPPORTED"))) {
    if (supported == hint) return true;
  }
  return false;
}

bool TX11DesktopStack::IsShown(TWindow window) const {
  XWindowAttributes attributes;
  return XGetWindowAttributes(FDisplay, window, &attributes) != 0 && attributes.map_state == IsViewable;
}

// Withdrawn: no longer managed, back on the root window.
bool TX11DesktopStack::IsWithdrawn(TWindow window) const {
  Window root = 0, parent = 0;
  Window* children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(FDisplay, window, &root, &parent, &children, &count)) return true;
  if (children) XFree(children);
  if (parent != FRoot) return false;
  const Atom wmState = Intern("WM_STATE");
  Atom type = None;
  int format = 0;
  unsigned long items = 0, after = 0;
  unsigned char* data = nullptr;
  bool withdrawn = true;
  if (XGetWindowProperty(FDisplay, window, wmState, 0, 2, False, wmState, &type, &format, &items, &after, &data) ==
          Success &&
      data && items >= 1) {
    withdrawn = *reinterpret_cast<const unsigned long*>(data) == WithdrawnState;
  }
  if (data) XFree(data);
  return withdrawn && !IsShown(window);
}

// The client window inside a window manager's frame: the one carrying WM_STATE.
TX11DesktopStack::TWindow TX11DesktopStack::ClientOf(TWindow frame, int depth) const {
  const Atom wmState = Intern("WM_STATE");
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  const bool hasState = XGetWindowProperty(FDisplay, frame, wmState, 0, 0, False, AnyPropertyType, &type, &format,
                                           &count, &after, &data) == Success &&
                        type != None;
  if (data) XFree(data);
  if (hasState || depth == 0) return hasState ? frame : 0;
  Window root = 0, parent = 0;
  Window* children = nullptr;
  unsigned childCount = 0;
  Window client = 0;
  if (XQueryTree(FDisplay, frame, &root, &parent, &children, &childCount)) {
    for (unsigned i = childCount; i-- > 0 && !client;) client = ClientOf(children[i], depth - 1);
  }
  if (children) XFree(children);
  return client;
}

TDesktopSnapshot TX11DesktopStack::Query() {
  TDesktopSnapshot snapshot;
  if (!FDisplay) return snapshot;
  TErrorTrap trap(FDisplay);
  Window root = 0, parent = 0;
  Window* children = nullptr;
  unsigned count = 0;
  int x = 0, y = 0;
  unsigned width = 0, height = 0, border = 0, depth = 0;
  if (!XGetGeometry(FDisplay, FRoot, &root, &x, &y, &width, &height, &border, &depth) ||
      !XQueryTree(FDisplay, FRoot, &root, &parent, &children, &count)) {
    return snapshot;
  }
  snapshot.screen = {0, 0, static_cast<int>(width), static_cast<int>(height)};
  snapshot.windowManager = HasWindowManager();
  const std::string compositorSelection = "_NET_WM_CM_S" + std::to_string(FScreen);
  snapshot.compositor = XGetSelectionOwner(FDisplay, Intern(compositorSelection.c_str())) != None;
  const Atom typeProperty = Intern("_NET_WM_WINDOW_TYPE");
  const Atom desktopType = Intern("_NET_WM_WINDOW_TYPE_DESKTOP");

  for (unsigned i = 0; i < count; ++i) {  // XQueryTree lists bottom to top
    XWindowAttributes frame;
    if (!XGetWindowAttributes(FDisplay, children[i], &frame)) continue;  // just destroyed
    TStackedWindow window;
    window.overrideRedirect = frame.override_redirect;
    Window client = children[i];
    // Hidden and iconified windows too sit in their (unmapped) frames.
    if (!frame.override_redirect) {
      if (const Window found = ClientOf(children[i], 3)) client = found;
    }
    XWindowAttributes attributes = frame;
    if (client != children[i] && !XGetWindowAttributes(FDisplay, client, &attributes)) continue;
    window.id = client;
    window.mapped = frame.map_state == IsViewable && attributes.map_state == IsViewable;
    // A 32-bit visual carries alpha (the compositor's ARGB visual).
    window.alphaVisual = attributes.depth == 32;
    for (const Atom type : ReadAtoms(client, typeProperty)) window.desktopType |= type == desktopType;
    Window unused = 0;
    int screenX = attributes.x, screenY = attributes.y;
    XTranslateCoordinates(FDisplay, client, FRoot, 0, 0, &screenX, &screenY, &unused);
    window.geometry = {screenX, screenY, attributes.width, attributes.height};
    snapshot.windows.push_back(window);
  }
  if (children) XFree(children);
  snapshot.ok = true;
  return snapshot;
}

bool TX11DesktopStack::WindowExists(TNativeWindow window) {
  if (!FDisplay || !window) return false;
  TErrorTrap trap(FDisplay);
  XWindowAttributes attributes;
  return XGetWindowAttributes(FDisplay, window, &attributes) != 0;
}

TWindowRole TX11DesktopStack::ReadRole(TNativeWindow window) {
  TWindowRole role;
  if (!FDisplay) return role;
  TErrorTrap trap(FDisplay);
  role.types = AtomNames(ReadAtoms(window, Intern("_NET_WM_WINDOW_TYPE")));
  role.states = AtomNames(ReadAtoms(window, Intern("_NET_WM_STATE")));
  return role;
}

bool TX11DesktopStack::WaitFor(int timeoutMs, bool (TX11DesktopStack::*condition)(TWindow) const, TWindow window) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if ((this->*condition)(window)) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
  }
}

bool TX11DesktopStack::HasFrameExtents(TWindow window) const {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  const bool found = XGetWindowProperty(FDisplay, window, Intern("_NET_FRAME_EXTENTS"), 0, 4, False, XA_CARDINAL,
                                        &type, &format, &count, &after, &data) == Success &&
                     type == XA_CARDINAL;
  if (data) XFree(data);
  return found;
}

// Waits until the window manager has handled everything we sent before: it
// answers a frame-extents request only in its turn. A window manager
// without that request gets a fixed moment.
bool TX11DesktopStack::SyncWithWindowManager(TWindow window, int timeoutMs) {
  const Atom request = Intern("_NET_REQUEST_FRAME_EXTENTS");
  if (!WindowManagerSupports(request)) {
    Wait(100);
    return true;
  }
  XDeleteProperty(FDisplay, window, Intern("_NET_FRAME_EXTENTS"));
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = request;
  event.xclient.format = 32;
  XSendEvent(FDisplay, FRoot, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
  XFlush(FDisplay);
  return WaitFor(timeoutMs, &TX11DesktopStack::HasFrameExtents, window);
}

bool TX11DesktopStack::MakeDesktopWindow(TNativeWindow window, int timeoutMs) {
  if (!FDisplay) return false;
  TErrorTrap trap(FDisplay);
  const Atom typeProperty = Intern("_NET_WM_WINDOW_TYPE");
  const Atom desktopType = Intern("_NET_WM_WINDOW_TYPE_DESKTOP");
  const std::vector<Atom> types = ReadAtoms(window, typeProperty);
  const bool wasDesktop = types.size() == 1 && types[0] == desktopType;
  // Once the window manager has it, its state belongs to the window manager.
  if (wasDesktop && IsShown(window)) return trap.Clean();
  bool answered = true;
  // Window managers read the type only when they take a window on, so a
  // window of another type is withdrawn first, also when it was just shown
  // and the window manager has not taken it on yet, and shown again below.
  if (!wasDesktop) {
    XWithdrawWindow(FDisplay, window, FScreen);
    XFlush(FDisplay);
    if (HasWindowManager()) {
      answered = SyncWithWindowManager(window, timeoutMs) &&
                 WaitFor(timeoutMs, &TX11DesktopStack::IsWithdrawn, window);
    }
  }
  WriteAtoms(window, typeProperty, {desktopType});
  std::vector<Atom> states;
  for (const char* state : kDesktopStates) states.push_back(Intern(state));
  WriteAtoms(window, Intern("_NET_WM_STATE"), states);
  const long allWorkspaces = kAllWorkspaces;
  XChangeProperty(FDisplay, window, Intern("_NET_WM_DESKTOP"), XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&allWorkspaces), 1);
  XMapWindow(FDisplay, window);
  XFlush(FDisplay);
  return WaitFor(timeoutMs, &TX11DesktopStack::IsShown, window) && answered;
}

void TX11DesktopStack::RestoreRole(TNativeWindow window, const TWindowRole& role) {
  if (!FDisplay) return;
  TErrorTrap trap(FDisplay);
  const auto atoms = [this](const std::vector<std::string>& names) {
    std::vector<Atom> list;
    for (const std::string& name : names) list.push_back(Intern(name.c_str()));
    return list;
  };
  WriteAtoms(window, Intern("_NET_WM_WINDOW_TYPE"), atoms(role.types));
  WriteAtoms(window, Intern("_NET_WM_STATE"), atoms(role.states));
  XDeleteProperty(FDisplay, window, Intern("_NET_WM_DESKTOP"));
}

void TX11DesktopStack::Cover(TNativeWindow window, const TScreenRect& area) {
  if (!FDisplay) return;
  TErrorTrap trap(FDisplay);
  XMoveResizeWindow(FDisplay, window, area.x, area.y, static_cast<unsigned>(area.width),
                    static_cast<unsigned>(area.height));
}

bool TX11DesktopStack::Restack(TNativeWindow window, TNativeWindow sibling, bool above) {
  if (!FDisplay) return false;
  TErrorTrap trap(FDisplay);
  const Atom restack = Intern("_NET_RESTACK_WINDOW");
  if (HasWindowManager() && WindowManagerSupports(restack)) {
    // Asked of the window manager as a pager would: it keeps its layers and
    // may move frames that we cannot name.
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = restack;
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2;  // source: pager
    event.xclient.data.l[1] = static_cast<long>(sibling);
    event.xclient.data.l[2] = above ? Above : Below;
    XSendEvent(FDisplay, FRoot, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
  } else {
    XWindowChanges changes{};
    changes.sibling = sibling;
    changes.stack_mode = above ? Above : Below;
    const unsigned mask = CWStackMode | (sibling ? CWSibling : 0u);
    if (!XReconfigureWMWindow(FDisplay, window, FScreen, mask, &changes)) return false;
  }
  return trap.Clean();
}

void TX11DesktopStack::Hide(TNativeWindow window) {
  if (!FDisplay) return;
  TErrorTrap trap(FDisplay);
  XWithdrawWindow(FDisplay, window, FScreen);
}

void TX11DesktopStack::Wait(int ms) {
  if (FDisplay) XFlush(FDisplay);
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
