// The live wallpaper program's state machine: it owns the pause reasons and
// the desktop-icon switch, drives the wallpaper window through its states
// (stopped, starting, running, pausing, paused, resuming, stopping), turns
// pause reasons into freeze, suspend and resume decisions, watches the
// attachment behind the icons and re-attaches within limits, and keeps the
// tray icon and its menu up to date. Main thread only: timers, the
// system's session events and the tray's commands all arrive there.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/MainLoop.h"
#include "platform/PauseSources.h"
#include "platform/TrayIcon.h"
#include "shared/JsonWriter.h"
#include "shared/WallpaperIpc.h"
#include "wallpaper/IconVisibility.h"
#include "wallpaper/PowerMonitor.h"
#include "wallpaper/WallpaperForm.h"
#include "wallpaper/WallpaperState.h"

enum TWallpaperState : int {
  wsStopped = 0,
  wsStarting = 1,
  wsRunning = 2,
  wsPausing = 3,
  wsPaused = 4,
  wsResuming = 5,
  wsStopping = 6,
};

// The code the generator is told for a state.
TWallpaperStateCode StateCodeOf(TWallpaperState state);

// The controller's own menu items; the program's items start at 200.
enum TControllerCommand : int {
  ccTogglePause = 100,
  ccStop = 101,
  ccShowIcons = 102,
  ccOpenMain = 103,
  ccExit = 104,
  ccFirstHostCommand = 200,
};

inline constexpr int kZOrderTimerMs = 5000;
inline constexpr int kPollTimerMs = 2000;
inline constexpr int kReattachDelayMs = 2000;
inline constexpr int kReattachFailLimit = 5;
inline constexpr int kReattachWindowSec = 30;
inline constexpr const char* kTrayTitle = "Tessary";

struct TControllerHooks {
  std::function<void(TWallpaperState, TPauseReasons)> onState;
  std::function<void()> onError;
  std::function<void()> onOpenRequest;
  std::function<void()> onExitRequest;
  // The tray icon's activation (a double-click elsewhere).
  std::function<void()> onToggleRequest;
  // The program's own items, placed above "Open Tessary".
  std::function<std::vector<TMenuItem>()> onBuildHostMenu;
  std::function<void(int id)> onHostCommand;
};

class TWallpaperController final : public ISessionEvents, public ITrayEvents {
 public:
  // `nowMs`: a steady clock in milliseconds. `log` may be empty; every line
  // begins "[Controller] ". The tray icon is shown at once.
  TWallpaperController(TFormWallpaper& form, IMainLoop& loop, IPauseProbe& probe, ITrayIcon& tray,
                       const TWallpaperStateFile& stateFile, std::function<std::int64_t()> nowMs, TLogProc log);
  ~TWallpaperController() override;
  TWallpaperController(const TWallpaperController&) = delete;
  TWallpaperController& operator=(const TWallpaperController&) = delete;

  void SetHooks(TControllerHooks hooks);

  // Plays `data` (a play-data object); ignored while active.
  void Start(const TJson& data);
  void Stop();
  void ToggleUserPause();
  void SetHideIcons(bool hide);
  void SetUiJapanese(bool japanese);
  void RemoveTrayIcon();
  // Shows the menu anew (the program's items changed).
  void RefreshTray();

  TWallpaperState State() const { return FState; }
  // The play data of the current or last start.
  const TJson& Data() const { return FData; }
  TPauseReasons PauseReasons() const { return FPower.Reasons(); }
  TPowerMonitor& Power() { return FPower; }
  bool HideIcons() const { return FHideIcons; }
  bool UiJapanese() const { return FUiJapanese; }
  bool Active() const { return FState >= wsStarting && FState <= wsResuming; }
  bool Busy() const { return FState == wsStarting || FState == wsPausing || FState == wsResuming || FState == wsStopping; }
  // The whole tray menu as it stands.
  std::vector<TMenuItem> BuildMenu() const;

  // ---- ISessionEvents
  void OnSessionLocked(bool locked) override { FPower.NotifyLock(locked); }
  void OnSystemSleeping(bool sleeping) override { FPower.NotifySuspend(sleeping); }
  void OnPowerSourceChanged() override { FPower.PollBattery(); }

  // ---- ITrayEvents
  void OnTrayCommand(int id) override;
  void OnTrayActivate() override;
  void OnTrayReappeared() override;

 private:
  void OnReady();
  void OnFailed();
  void SetState(TWallpaperState state);
  void ApplyPauseReasons();
  void ApplyIcons();
  void ScheduleReattach();
  void ReattachAttempt();
  void ZOrderTick();
  void PollTick();
  void StopTimers();
  void Balloon(const std::string& text);
  std::vector<TMenuItem> ControllerItems() const;
  void Log(const std::string& text) const;

  TFormWallpaper& FForm;
  IMainLoop& FLoop;
  ITrayIcon& FTray;
  const TWallpaperStateFile& FStateFile;
  std::function<std::int64_t()> FNowMs;
  TLogProc FLog;
  TPowerMonitor FPower;
  std::unique_ptr<TIconVisibility> FIcons;  // made with the attachment, at the first ready page
  TWallpaperState FState = wsStopped;
  TJson FData;
  bool FHideIcons = false;
  TControllerHooks FHooks;
  int FZOrderTimer = -1;
  int FPollTimer = -1;
  int FReattachTimer = -1;
  int FReattachFailCount = 0;
  std::optional<std::int64_t> FReattachWindowStart;
  bool FPauseFrozen = false;
  bool FUiJapanese = false;
};
