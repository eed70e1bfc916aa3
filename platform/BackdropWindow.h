// The live wallpaper's window as its program drives it: a desktop backdrop
// (borderless, never in the task list) holding one browser view, shown and
// hidden with the wallpaper, whose browser is started only when first
// needed and can be put to rest while the wallpaper is paused.
#pragma once

#include <functional>

#include "platform/DesktopStack.h"
#include "platform/HostWindow.h"

class IBackdropWindow : public IHostWindow {
 public:
  // Starts the browser; it then reports to the program's IBrowserEvents
  // (OnBrowserCreated first). Called once.
  virtual void StartBrowser() = 0;
  // The window in the window system, for the desktop attachment; 0 where
  // the window system has no such id (a Wayland session).
  virtual TNativeWindow NativeWindow() = 0;
  // Moves and sizes the window to cover `area` (screen coordinates).
  virtual void Place(const TScreenRect& area) = 0;
  // Shows the window without taking the focus from anything.
  virtual void Show() = 0;
  virtual void Hide() = 0;
  // Puts the browser to rest: its view is hidden, so the engine neither
  // paints nor runs animation frames and throttles the page's timers.
  // `done(ok)` follows later on the window's thread (never inside the call).
  virtual void TrySuspendBrowser(std::function<void(bool ok)> done) = 0;
  // Undoes a suspension (requested or completed); harmless otherwise.
  virtual void ResumeBrowser() = 0;
  // `onChanged` runs on the window's thread whenever the screen's size or
  // its monitors change.
  virtual void OnScreenChanged(std::function<void()> onChanged) = 0;
};
