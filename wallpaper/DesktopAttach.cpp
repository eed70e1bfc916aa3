#include "wallpaper/DesktopAttach.h"

#include <cstdio>

namespace {

// How long the window manager may take over our requests: generous while
// starting playback, short while re-attaching or repairing during play.
constexpr int kAttachTimeoutMs = 1000;
constexpr int kQuickTimeoutMs = 200;
constexpr int kSettleStepMs = 25;
// Waits after the first, second and third failed attempt of Attach.
constexpr int kRetryWaitsMs[] = {100, 500, 2000};

std::string Hex(TNativeWindow window) {
  char text[24];
  std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(window));
  return text;
}

class TReentryGuard {
 public:
  explicit TReentryGuard(bool& flag) : FFlag(flag) { FFlag = true; }
  ~TReentryGuard() { FFlag = false; }
  TReentryGuard(const TReentryGuard&) = delete;
  TReentryGuard& operator=(const TReentryGuard&) = delete;

 private:
  bool& FFlag;
};

}  // namespace

TDesktopAttach::TDesktopAttach(IDesktopStack& stack, TNativeWindow window, TLogProc log)
    : FStack(stack), FWnd(window), FLog(std::move(log)) {}

void TDesktopAttach::Log(const std::string& text) const {
  if (FLog) FLog("[DesktopAttach] " + text);
}

bool TDesktopAttach::Attach() {
  if (FAttaching) return false;
  TReentryGuard guard(FAttaching);
  FFailure = TAttachFailure::afNone;
  const TSessionKind session = FStack.Session();
  if (session != TSessionKind::skX11) {
    // Nothing to retry: a Wayland compositor lets no program below its desktop.
    FState = TAttachState::asFailed;
    FFailure = TAttachFailure::afNoX11Session;
    Log(session == TSessionKind::skWayland ? "attach FAILED (Wayland session) — live wallpaper needs an X11 session"
                                           : "attach FAILED (no display)");
    return false;
  }
  for (const int waitMs : kRetryWaitsMs) {
    if (AttemptOnce(kAttachTimeoutMs)) return true;
    FStack.Wait(waitMs);
  }
  FState = TAttachState::asFailed;
  FFailure = TAttachFailure::afUnsupported;
  Detach();
  Log("attach FAILED (unknown structure) — feature should be disabled");
  return false;
}

bool TDesktopAttach::AttachOnce() {
  if (FAttaching) return false;
  TReentryGuard guard(FAttaching);
  if (FStack.Session() != TSessionKind::skX11) return false;
  return AttemptOnce(kQuickTimeoutMs);
}

bool TDesktopAttach::AttemptOnce(int timeoutMs) {
  if (!FStack.WindowExists(FWnd)) return false;
  if (!FRoleSaved) {
    FSavedRole = FStack.ReadRole(FWnd);
    FRoleSaved = true;
  }
  if (!FStack.MakeDesktopWindow(FWnd, timeoutMs)) {
    Log("window manager did not take the desktop window within " + std::to_string(timeoutMs) + " ms");
  }
  // A desktop program that has just started (or restarted) maps its window
  // a moment after the window manager answers.
  FStack.Wait(100);
  const TDesktopSnapshot snapshot = FStack.Query();
  const TDesktopReading reading = ReadDesktop(snapshot, FWnd);
  Log("attach-once structure=" + std::to_string(static_cast<int>(reading.structure)) +
      " icons=" + Hex(reading.lowestIcons) + " opaque=" + Hex(reading.highestOpaque) +
      " desktops=" + std::to_string(reading.desktopWindows) + " compositor=" + (snapshot.compositor ? "1" : "0"));
  if (reading.structure == TDesktopStructure::dsUnknown) return false;
  if (!Place(snapshot)) return false;
  if (Settle(timeoutMs, true) != TPlacementCheck::pcRight) {
    Log("verify failed after place");
    return false;
  }
  FState = TAttachState::asAttached;
  Log("attached OK");
  return true;
}

bool TDesktopAttach::Place(const TDesktopSnapshot& snapshot) {
  const TDesktopReading reading = ReadDesktop(snapshot, FWnd);
  if (reading.structure == TDesktopStructure::dsUnknown) return false;
  FStack.Cover(FWnd, snapshot.screen);
  const TStackPlan plan = PlanPlacement(reading, FIconsCovered);
  if (!FStack.Restack(FWnd, plan.sibling, plan.above)) {
    Log(std::string("restack ") + (plan.above ? "above " : "below ") + Hex(plan.sibling) + " failed");
    return false;
  }
  FStructure = reading.structure;
  return true;
}

TPlacementCheck TDesktopAttach::Check() {
  if (FStructure == TDesktopStructure::dsUnknown) return TPlacementCheck::pcStructureChanged;
  const TPlacementCheck check = CheckPlacement(FStack.Query(), FWnd, FStructure, FIconsCovered);
  // Between a hide and the window manager letting go of it, the window sits
  // in a frame that is already unmapped and may not be listed: not on screen.
  if (check == TPlacementCheck::pcGone && FStack.WindowExists(FWnd)) return TPlacementCheck::pcHidden;
  return check;
}

TPlacementCheck TDesktopAttach::Settle(int timeoutMs, bool mustShow) {
  for (int waited = 0;; waited += kSettleStepMs) {
    const TPlacementCheck check = Check();
    const bool done = check == TPlacementCheck::pcRight || (!mustShow && check == TPlacementCheck::pcHidden);
    if (done || check == TPlacementCheck::pcGone || waited >= timeoutMs) return check;
    FStack.Wait(kSettleStepMs);
  }
}

bool TDesktopAttach::VerifyZOrder() { return PlacementHolds(Check()); }

bool TDesktopAttach::EnsureZOrder() {
  const TPlacementCheck check = Check();
  if (PlacementHolds(check) || FState != TAttachState::asAttached) return PlacementHolds(check);
  Log("Z-order broken — reasserting");
  // A new arrangement (a desktop program started or quit) or a lost window
  // needs a full attach, which the caller schedules.
  if (check != TPlacementCheck::pcWrongOrder && check != TPlacementCheck::pcWrongSize) return false;
  if (!Place(FStack.Query())) return false;
  return PlacementHolds(Settle(kQuickTimeoutMs, false));
}

bool TDesktopAttach::EnsureShownInPlace() {
  if (FState != TAttachState::asAttached) return false;
  // A window just shown may not be on screen yet: until it is, it would
  // count as in place wherever the window manager then puts it.
  const TPlacementCheck check = Settle(kQuickTimeoutMs, true);
  if (check == TPlacementCheck::pcRight) return true;
  if (check != TPlacementCheck::pcWrongOrder && check != TPlacementCheck::pcWrongSize) return false;
  Log("Z-order broken after showing — reasserting");
  return Place(FStack.Query()) && Settle(kQuickTimeoutMs, true) == TPlacementCheck::pcRight;
}

void TDesktopAttach::Detach() {
  if (FWnd) {
    FStack.Hide(FWnd);
    if (FRoleSaved) FStack.RestoreRole(FWnd, FSavedRole);
  }
  FRoleSaved = false;
  FStructure = TDesktopStructure::dsUnknown;
  FIconsCovered = false;
  if (FState == TAttachState::asAttached) FState = TAttachState::asDetached;
}

TIconLayer TDesktopAttach::IconLayer() const {
  if (FState != TAttachState::asAttached) return TIconLayer::ilNone;
  switch (FStructure) {
    case TDesktopStructure::dsBelowIcons: return TIconLayer::ilTransparent;
    case TDesktopStructure::dsAboveOpaque: return TIconLayer::ilOpaque;
    case TDesktopStructure::dsOwnDesktop:
    case TDesktopStructure::dsUnknown: break;
  }
  return TIconLayer::ilNone;
}

bool TDesktopAttach::IconsCovered() const {
  return FIconsCovered && IconLayer() == TIconLayer::ilTransparent;
}

bool TDesktopAttach::CoverIcons(bool cover) {
  if (IconLayer() != TIconLayer::ilTransparent) return false;
  if (FIconsCovered == cover) return true;
  FIconsCovered = cover;
  if (Place(FStack.Query()) && PlacementHolds(Settle(kQuickTimeoutMs, false))) return true;
  Log(cover ? "hiding the icons failed" : "showing the icons failed");
  FIconsCovered = !cover;
  Place(FStack.Query());
  return false;
}
