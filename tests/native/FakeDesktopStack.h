// A window system in memory for the desktop attachment's tests: a stacking
// order of top-level windows that the attachment reads and changes, with
// the window manager's delays and refusals as switches.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/DesktopStack.h"

class TFakeDesktopStack : public IDesktopStack {
 public:
  TSessionKind session = TSessionKind::skX11;
  TDesktopSnapshot desktop;       // `windows` bottom to top
  bool windowManagerAnswers = true;
  bool windowManagerShows = true;   // maps the window it is asked to make a desktop window
  bool refuseRestack = false;
  // Requests take effect only at the next Wait, as a real window manager's do.
  bool delayRequests = false;
  // Restack requests are accepted but never carried out.
  bool ignoreRestack = false;
  // Windows that exist but are not listed: inside a frame the window manager is taking down.
  std::vector<TNativeWindow> framed;
  std::function<void(int)> onWait;  // runs inside Wait, after the delayed requests
  std::vector<int> waits;
  std::vector<TWindowRole> restoredRoles;
  int desktopRequests = 0;

  TFakeDesktopStack();

  // Adds a window on top and returns its id.
  TNativeWindow Add(const TStackedWindow& window);
  static TStackedWindow Normal(TNativeWindow id);
  TStackedWindow DesktopWindow(TNativeWindow id, bool alpha) const;
  void Remove(TNativeWindow id);
  TStackedWindow* Find(TNativeWindow id);
  // Window ids bottom to top.
  std::vector<TNativeWindow> Order() const;

  TSessionKind Session() override { return session; }
  TDesktopSnapshot Query() override { return desktop; }
  bool WindowExists(TNativeWindow window) override;
  TWindowRole ReadRole(TNativeWindow window) override;
  bool MakeDesktopWindow(TNativeWindow window, int timeoutMs) override;
  void RestoreRole(TNativeWindow window, const TWindowRole& role) override;
  void Cover(TNativeWindow window, const TScreenRect& area) override;
  bool Restack(TNativeWindow window, TNativeWindow sibling, bool above) override;
  void Hide(TNativeWindow window) override;
  void Wait(int ms) override;

 private:
  void Apply(const std::function<void()>& request);
  std::vector<std::function<void()>> FPending;
};
