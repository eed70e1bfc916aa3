// The desktop stack of an X11 session, read and changed with Xlib and the
// desktop window conventions (EWMH): the stacking order from the root
// window's children (frames resolved to their client windows), window types
// and visuals, and restacking through the window manager. Uses a connection
// of its own, so it never disturbs the toolkit's event queue.
#pragma once

#include <string>
#include <vector>

#include "platform/DesktopStack.h"

// Xlib's own types, declared here so that its macros stay out of includers.
using Display = struct _XDisplay;

class TX11DesktopStack : public IDesktopStack {
 public:
  // Connects to $DISPLAY unless the session is a Wayland session.
  TX11DesktopStack();
  ~TX11DesktopStack() override;
  TX11DesktopStack(const TX11DesktopStack&) = delete;
  TX11DesktopStack& operator=(const TX11DesktopStack&) = delete;

  TSessionKind Session() override { return FSession; }
  TDesktopSnapshot Query() override;
  bool WindowExists(TNativeWindow window) override;
  TWindowRole ReadRole(TNativeWindow window) override;
  bool MakeDesktopWindow(TNativeWindow window, int timeoutMs) override;
  void RestoreRole(TNativeWindow window, const TWindowRole& role) override;
  void Cover(TNativeWindow window, const TScreenRect& area) override;
  bool Restack(TNativeWindow window, TNativeWindow sibling, bool above) override;
  void Hide(TNativeWindow window) override;
  void Wait(int ms) override;

 private:
  using TAtom = unsigned long;    // Xlib's Atom
  using TWindow = unsigned long;  // Xlib's Window

  TAtom Intern(const char* name) const;
  std::vector<TAtom> ReadAtoms(TWindow window, TAtom property) const;
  void WriteAtoms(TWindow window, TAtom property, const std::vector<TAtom>& atoms) const;
  std::vector<std::string> AtomNames(const std::vector<TAtom>& atoms) const;
  bool HasWindowManager() const;
  bool WindowManagerSupports(TAtom hint) const;
  bool IsShown(TWindow window) const;
  bool IsWithdrawn(TWindow window) const;
  bool HasFrameExtents(TWindow window) const;
  bool SyncWithWindowManager(TWindow window, int timeoutMs);
  TWindow ClientOf(TWindow frame, int depth) const;
  bool WaitFor(int timeoutMs, bool (TX11DesktopStack::*condition)(TWindow) const, TWindow window);

  Display* FDisplay = nullptr;
  TSessionKind FSession = TSessionKind::skNone;
  TWindow FRoot = 0;
  int FScreen = 0;
};
