#include "platform/linux/X11ScreenUse.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/dpms.h>

#include <algorithm>
#include <exception>
#include <optional>
#include <set>

#include "platform/linux/XMonitors.h"

bool AreaCovered(const TScreenRect& area, const std::vector<TScreenRect>& rects) {
  if (area.width <= 0 || area.height <= 0) return false;
  // The grid of every edge inside the area: each cell is covered by one
  // rectangle or by none.
  std::set<int> xs{area.x, area.x + area.width};
  std::set<int> ys{area.y, area.y + area.height};
  const auto clampX = [&](int x) { return std::clamp(x, area.x, area.x + area.width); };
  const auto clampY = [&](int y) { return std::clamp(y, area.y, area.y + area.height); };
  for (const TScreenRect& r : rects) {
    xs.insert({clampX(r.x), clampX(r.x + r.width)});
    ys.insert({clampY(r.y), clampY(r.y + r.height)});
  }
  const std::vector<int> gx(xs.begin(), xs.end());
  const std::vector<int> gy(ys.begin(), ys.end());
  for (std::size_t i = 0; i + 1 < gx.size(); ++i) {
    for (std::size_t j = 0; j + 1 < gy.size(); ++j) {
      const int cx = gx[i], cy = gy[j];
      const bool inside = std::any_of(rects.begin(), rects.end(), [&](const TScreenRect& r) {
        return cx >= r.x && cx < r.x + r.width && cy >= r.y && cy < r.y + r.height;
      });
      if (!inside) return false;
    }
  }
  return true;
}

namespace {

Atom Intern(Display* display, const char* name) { return XInternAtom(display, name, False); }

// Up to `most` 32-bit items of a window property of `type` (Xlib hands them
// over as longs, which is what Atom and Window are).
template <typename T>
std::vector<T> PropertyItems(Display* display, Window window, Atom property, Atom type, long most) {
  Atom actualType = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::vector<T> items;
  if (XGetWindowProperty(display, window, property, 0, most, False, type, &actualType, &format, &count, &after, &data) ==
          Success &&
      data && format == 32) {
    const auto* values = reinterpret_cast<const T*>(data);
    items.assign(values, values + count);
  }
  if (data) XFree(data);
  return items;
}

std::vector<Atom> AtomList(Display* display, Window window, Atom property) {
  return PropertyItems<Atom>(display, window, property, XA_ATOM, 64);
}

std::optional<Window> WindowProperty(Display* display, Window window, Atom property) {
  const std::vector<Window> windows = PropertyItems<Window>(display, window, property, XA_WINDOW, 1);
  if (windows.size() != 1) return std::nullopt;
  return windows.front();
}

bool HasProperty(Display* display, Window window, Atom property) {
  int count = 0;
  Atom* atoms = XListProperties(display, window, &count);
  const bool found = atoms && std::find(atoms, atoms + count, property) != atoms + count;
  if (atoms) XFree(atoms);
  return found;
}

// The application's window inside a window manager's frame (the frame
// itself when it is the client).
Window ClientOf(Display* display, Window frame, Atom wmState) {
  if (HasProperty(display, frame, wmState)) return frame;
  Window root = 0, parent = 0, *children = nullptr;
  unsigned int count = 0;
  Window client = 0;
  if (XQueryTree(display, frame, &root, &parent, &children, &count)) {
    for (unsigned int i = 0; i < count && !client; ++i) {
      if (HasProperty(display, children[i], wmState)) client = children[i];
    }
  }
  if (children) XFree(children);
  return client;
}

std::optional<TScreenRect> RootGeometry(Display* display, Window window) {
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display, window, &attributes)) return std::nullopt;
  int x = 0, y = 0;
  Window child = 0;
  if (!XTranslateCoordinates(display, window, attributes.root, 0, 0, &x, &y, &child)) return std::nullopt;
  return TScreenRect{x, y, attributes.width, attributes.height};
}

bool Contains(const TScreenRect& outer, const TScreenRect& inner) {
  return inner.x <= outer.x && inner.y <= outer.y && inner.x + inner.width >= outer.x + outer.width &&
         inner.y + inner.height >= outer.y + outer.height;
}

}  // namespace

TX11ScreenUse::TX11ScreenUse() {
  try {
    FDisplay = std::make_unique<TXDisplay>();
  } catch (const std::exception&) {
    // No X display (a Wayland session): nothing to read.
  }
}

TX11ScreenUse::~TX11ScreenUse() = default;

TScreenUse TX11ScreenUse::Read() {
  TScreenUse use;
  if (!FDisplay) return use;
  Display* display = FDisplay->Get();
  const Window root = FDisplay->Root();
  TXErrorTrap trap(display);
  const Atom wmState = Intern(display, "WM_STATE");
  const Atom windowType = Intern(display, "_NET_WM_WINDOW_TYPE");
  const Atom typeDesktop = Intern(display, "_NET_WM_WINDOW_TYPE_DESKTOP");
  const Atom state = Intern(display, "_NET_WM_STATE");
  const Atom fullscreen = Intern(display, "_NET_WM_STATE_FULLSCREEN");
  const Atom hidden = Intern(display, "_NET_WM_STATE_HIDDEN");
  const auto isDesktop = [&](Window client) {
    const std::vector<Atom> types = AtomList(display, client, windowType);
    return std::find(types.begin(), types.end(), typeDesktop) != types.end();
  };

  std::vector<TScreenRect> monitors;
  for (const TXMonitor& m : ListXMonitors(*FDisplay)) monitors.push_back({m.x, m.y, m.width, m.height});

  // Full screen: the active window in the full-screen state, or its own
  // area (without a frame) filling a monitor whole.
  use.fullscreen = false;
  if (const std::optional<Window> active = WindowProperty(display, root, Intern(display, "_NET_ACTIVE_WINDOW"));
      active && *active && !isDesktop(*active)) {
    const std::vector<Atom> states = AtomList(display, *active, state);
    const bool inState = std::find(states.begin(), states.end(), fullscreen) != states.end();
    const std::optional<TScreenRect> area = RootGeometry(display, *active);
    use.fullscreen = inState || (area && std::any_of(monitors.begin(), monitors.end(),
                                                     [&](const TScreenRect& m) { return Contains(m, *area); }));
  }

  // Covered: the frames of the mapped windows that are not desktops hide
  // every monitor.
  std::vector<TScreenRect> frames;
  Window rootReturn = 0, parent = 0, *children = nullptr;
  unsigned int count = 0;
  if (XQueryTree(display, root, &rootReturn, &parent, &children, &count)) {
    for (unsigned int i = 0; i < count; ++i) {
      XWindowAttributes attributes;
      if (!XGetWindowAttributes(display, children[i], &attributes)) continue;
      if (attributes.map_state != IsViewable || attributes.override_redirect) continue;
      const Window client = ClientOf(display, children[i], wmState);
      if (!client || isDesktop(client)) continue;
      const std::vector<Atom> states = AtomList(display, client, state);
      if (std::find(states.begin(), states.end(), hidden) != states.end()) continue;
      frames.push_back({attributes.x, attributes.y, attributes.width + 2 * attributes.border_width,
                        attributes.height + 2 * attributes.border_width});
    }
  }
  if (children) XFree(children);
  use.covered = !monitors.empty() && std::all_of(monitors.begin(), monitors.end(),
                                                  [&](const TScreenRect& m) { return AreaCovered(m, frames); });

  int eventBase = 0, errorBase = 0;
  if (DPMSQueryExtension(display, &eventBase, &errorBase) && DPMSCapable(display)) {
    CARD16 level = 0;
    BOOL enabled = False;
    if (DPMSInfo(display, &level, &enabled)) {
      // Standby only dims on most screens: it counts as on.
      use.displayOff = enabled && (level == DPMSModeOff || level == DPMSModeSuspend);
    }
  }
  if (!trap.Ok()) return {};
  return use;
}
