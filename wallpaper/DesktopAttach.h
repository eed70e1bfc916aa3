// Puts the live wallpaper's window behind the desktop icons and keeps it
// there: recognises the desktop's arrangement (DesktopStacking), makes the
// window a desktop window, stacks it, verifies and repairs the order, and
// undoes everything on detach. Knows nothing of browsers or pages. Main
// thread only.
#pragma once

#include <functional>
#include <string>

#include "platform/DesktopStack.h"
#include "wallpaper/DesktopStacking.h"
#include "wallpaper/IconLayer.h"

enum class TAttachState {
  asDetached = 0,
  asAttached = 1,
  asFailed = 2,
};

// Why the last `Attach` failed, so that the program can tell the user.
enum class TAttachFailure {
  afNone,
  afNoX11Session,   // a Wayland session (or no display): no program can live behind the icons
  afUnsupported,    // the desktop could not be read or the window not kept in place
};

using TLogProc = std::function<void(const std::string&)>;

class TDesktopAttach : public IIconLayer {
 public:
  // `log` may be empty; every line is prefixed "[DesktopAttach] ".
  TDesktopAttach(IDesktopStack& stack, TNativeWindow window, TLogProc log);

  // Up to three attempts with waits (start of playback); asFailed after the last.
  bool Attach();
  // One quick attempt (re-attaching while running); failures keep the state.
  bool AttachOnce();
  // The window is where it belongs (a hidden window counts as in place).
  bool VerifyZOrder();
  // Verifies and, when attached but out of place in the same arrangement,
  // restacks and resizes it once.
  bool EnsureZOrder();
  // After the window was shown again (a pause ended): waits for it to
  // appear and puts it back in place when it came up elsewhere. False when
  // it did not appear or the arrangement changed: a re-attach is needed.
  bool EnsureShownInPlace();
  // Hides the window and puts its role back.
  void Detach();

  TAttachState State() const { return FState; }
  TAttachFailure Failure() const { return FFailure; }
  // The arrangement of the last placement (dsUnknown while not attached).
  TDesktopStructure Structure() const { return FStructure; }

  TIconLayer IconLayer() const override;
  bool IconsCovered() const override;
  bool CoverIcons(bool cover) override;

 private:
  bool AttemptOnce(int timeoutMs);
  bool Place(const TDesktopSnapshot& snapshot);
  // Polls the placement until it holds or `timeoutMs` has passed: the window
  // manager carries out requests on its own time. `mustShow`: a hidden
  // window does not count (an attach must end with the window on screen).
  TPlacementCheck Settle(int timeoutMs, bool mustShow);
  TPlacementCheck Check();
  void Log(const std::string& text) const;

  IDesktopStack& FStack;
  TNativeWindow FWnd;
  TLogProc FLog;
  TAttachState FState = TAttachState::asDetached;
  TAttachFailure FFailure = TAttachFailure::afNone;
  TDesktopStructure FStructure = TDesktopStructure::dsUnknown;
  TWindowRole FSavedRole;
  bool FRoleSaved = false;
  bool FAttaching = false;
  bool FIconsCovered = false;
};
