#include "wallpaper/PowerMonitor.h"

#include <utility>

const char* PauseReasonWord(TPauseReason reason) {
  switch (reason) {
    case prFullscreen: return "fullscreen";
    case prLocked: return "locked";
    case prSuspending: return "suspending";
    case prDisplayOff: return "displayOff";
    case prOnBattery: return "onBattery";
    case prUserPaused: return "userPaused";
    case prCovered: return "covered";
  }
  return "";
}

std::string PauseReasonLabel(TPauseReason reason, bool japanese) {
  if (!japanese) return PauseReasonWord(reason);
  switch (reason) {
    case prFullscreen: return "全画面アプリ";
    case prLocked: return "ロック中";
    case prSuspending: return "スリープ";
    case prDisplayOff: return "画面オフ";
    case prOnBattery: return "バッテリー";
    case prCovered: return "ウィンドウの下";
    case prUserPaused: break;
  }
  return "";
}

TPowerMonitor::TPowerMonitor(IPauseProbe& probe, TReasonsChangedProc onChanged)
    : FProbe(probe), FOnChanged(std::move(onChanged)) {}

void TPowerMonitor::Poll() {
  const TScreenUse screen = FProbe.ScreenUse();
  if (screen.fullscreen) Set(prFullscreen, *screen.fullscreen);
  if (screen.covered) Set(prCovered, *screen.covered);
  if (screen.displayOff) Set(prDisplayOff, *screen.displayOff);
  PollBattery();
}

void TPowerMonitor::PollBattery() {
  const std::optional<bool> battery = FPauseOnBattery ? FProbe.OnBattery() : std::nullopt;
  Set(prOnBattery, battery.value_or(false));
}

TPauseReason TPowerMonitor::TopAutoReason() const {
  for (const TPauseReason reason : {prSuspending, prDisplayOff, prLocked, prFullscreen, prCovered}) {
    if (HasReason(FReasons, reason)) return reason;
  }
  return prOnBattery;
}

void TPowerMonitor::Set(TPauseReason reason, bool on) {
  const TPauseReasons next =
      on ? static_cast<TPauseReasons>(FReasons | ReasonBit(reason)) : static_cast<TPauseReasons>(FReasons & ~ReasonBit(reason));
  if (next == FReasons) return;
  FReasons = next;
  if (FOnChanged) FOnChanged(next);
}
