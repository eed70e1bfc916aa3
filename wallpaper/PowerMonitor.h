// The set of reasons that currently call for the live wallpaper to pause:
// the automatic ones (full screen, locked, asleep, display off, battery,
// covered by windows) and the user's own. Every change of the set is
// reported to the controller, which decides what to do with it. Main
// thread only; the change hook runs inside the call that changed the set.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/PauseSources.h"

enum TPauseReason : int {
  prFullscreen = 0,
  prLocked = 1,
  prSuspending = 2,
  prDisplayOff = 3,
  prOnBattery = 4,
  prUserPaused = 5,
  // The wallpaper is wholly hidden by normal windows (maximised ones, say).
  prCovered = 6,
};

// Bit n stands for reason number n.
using TPauseReasons = std::uint8_t;

constexpr TPauseReasons ReasonBit(TPauseReason reason) { return static_cast<TPauseReasons>(1u << reason); }
constexpr bool HasReason(TPauseReasons reasons, TPauseReason reason) { return (reasons & ReasonBit(reason)) != 0; }

// The word the English menu shows ("fullscreen", "onBattery", ...).
const char* PauseReasonWord(TPauseReason reason);
// The menu's name of the reason in the chosen language (empty for the user's pause).
std::string PauseReasonLabel(TPauseReason reason, bool japanese);

using TReasonsChangedProc = std::function<void(TPauseReasons)>;

class TPowerMonitor {
 public:
  TPowerMonitor(IPauseProbe& probe, TReasonsChangedProc onChanged);

  // Refreshes the polled reasons: full screen, covered and display off
  // from the screen (each unchanged when unreadable), battery from the
  // power source (cleared when there is no answer or the option is off).
  void Poll();
  // Only the power source: after the system said it changed.
  void PollBattery();
  void NotifyLock(bool locked) { Set(prLocked, locked); }
  void NotifySuspend(bool suspending) { Set(prSuspending, suspending); }
  void NotifyDisplayOff(bool off) { Set(prDisplayOff, off); }
  void SetUserPaused(bool paused) { Set(prUserPaused, paused); }

  bool HasAutoReason() const { return (FReasons & ~ReasonBit(prUserPaused)) != 0; }
  // The automatic reason the menu names: asleep, display off, locked, full
  // screen, covered, in that order; else on battery, set or not.
  TPauseReason TopAutoReason() const;

  TPauseReasons Reasons() const { return FReasons; }
  bool PauseOnBattery() const { return FPauseOnBattery; }
  void SetPauseOnBattery(bool pause) { FPauseOnBattery = pause; }

 private:
  void Set(TPauseReason reason, bool on);

  IPauseProbe& FProbe;
  TPauseReasons FReasons = 0;
  TReasonsChangedProc FOnChanged;
  bool FPauseOnBattery = true;
};
