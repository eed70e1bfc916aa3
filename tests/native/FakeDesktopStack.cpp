#include "FakeDesktopStack.h"

#include <algorithm>

TFakeDesktopStack::TFakeDesktopStack() {
  desktop.ok = true;
  desktop.windowManager = true;
  desktop.compositor = true;
  desktop.screen = {0, 0, 1920, 1080};
}

TNativeWindow TFakeDesktopStack::Add(const TStackedWindow& window) {
  desktop.windows.push_back(window);
  return window.id;
}

TStackedWindow TFakeDesktopStack::Normal(TNativeWindow id) {
  TStackedWindow window;
  window.id = id;
  window.mapped = true;
  window.geometry = {100, 100, 640, 480};
  return window;
}

TStackedWindow TFakeDesktopStack::DesktopWindow(TNativeWindow id, bool alpha) const {
  TStackedWindow window;
  window.id = id;
  window.desktopType = true;
  window.alphaVisual = alpha;
  window.mapped = true;
  window.geometry = desktop.screen;
  return window;
}

void TFakeDesktopStack::Remove(TNativeWindow id) {
  std::erase_if(desktop.windows, [id](const TStackedWindow& w) { return w.id == id; });
}

TStackedWindow* TFakeDesktopStack::Find(TNativeWindow id) {
  for (TStackedWindow& window : desktop.windows) {
    if (window.id == id) return &window;
  }
  return nullptr;
}

std::vector<TNativeWindow> TFakeDesktopStack::Order() const {
  std::vector<TNativeWindow> ids;
  for (const TStackedWindow& window : desktop.windows) ids.push_back(window.id);
  return ids;
}

bool TFakeDesktopStack::WindowExists(TNativeWindow window) {
  return Find(window) || std::find(framed.begin(), framed.end(), window) != framed.end();
}

TWindowRole TFakeDesktopStack::ReadRole(TNativeWindow window) {
  const TStackedWindow* found = Find(window);
  if (found && found->desktopType) return {{"desktop"}, {}};
  return {{"normal"}, {}};
}

void TFakeDesktopStack::Apply(const std::function<void()>& request) {
  if (delayRequests) {
    FPending.push_back(request);
  } else {
    request();
  }
}

bool TFakeDesktopStack::MakeDesktopWindow(TNativeWindow window, int) {
  ++desktopRequests;
  Apply([this, window] {
    if (TStackedWindow* found = Find(window)) {
      found->desktopType = true;
      found->mapped = found->mapped || windowManagerShows;
    }
  });
  return windowManagerAnswers;
}

void TFakeDesktopStack::RestoreRole(TNativeWindow window, const TWindowRole& role) {
  restoredRoles.push_back(role);
  if (TStackedWindow* found = Find(window)) found->desktopType = role.types == std::vector<std::string>{"desktop"};
}

void TFakeDesktopStack::Cover(TNativeWindow window, const TScreenRect& area) {
  Apply([this, window, area] {
    if (TStackedWindow* found = Find(window)) found->geometry = area;
  });
}

bool TFakeDesktopStack::Restack(TNativeWindow window, TNativeWindow sibling, bool above) {
  if (refuseRestack || !Find(window) || (sibling && !Find(sibling))) return false;
  if (ignoreRestack) return true;
  Apply([this, window, sibling, above] {
    const TStackedWindow* found = Find(window);
    if (!found || (sibling && !Find(sibling))) return;
    const TStackedWindow moved = *found;
    Remove(window);
    auto& windows = desktop.windows;
    auto at = windows.begin();
    if (sibling) {
      at = std::find_if(windows.begin(), windows.end(), [sibling](const TStackedWindow& w) { return w.id == sibling; });
      if (above) ++at;
    }
    windows.insert(at, moved);
  });
  return true;
}

void TFakeDesktopStack::Hide(TNativeWindow window) {
  if (TStackedWindow* found = Find(window)) found->mapped = false;
}

void TFakeDesktopStack::Wait(int ms) {
  waits.push_back(ms);
  std::vector<std::function<void()>> pending;
  pending.swap(FPending);
  for (const auto& request : pending) request();
  if (onWait) onWait(ms);
}
