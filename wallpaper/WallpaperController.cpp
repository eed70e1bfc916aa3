#include "wallpaper/WallpaperController.h"

#include <utility>

#include "wallpaper/DesktopTexts.h"

namespace {

struct TText {
  const char* en;
  const char* ja;
};

constexpr TText kPause{"Pause", "一時停止"};
constexpr TText kResume{"Resume", "再開"};
constexpr TText kAutoPaused{"Auto-paused (", "自動一時停止（"};
constexpr TText kAutoPausedEnd{")", "）"};
constexpr TText kStop{"Stop Live Wallpaper", "ライブ壁紙を停止"};
constexpr TText kShowIcons{"Show desktop icons", "デスクトップアイコンを表示"};
constexpr TText kOpenMain{"Open Tessary", "テッサリーを開く"};
constexpr TText kExit{"Exit Live Wallpaper", "ライブ壁紙を終了"};

// The two balloons exist in English only.
constexpr const char* kStartFailedBalloon = "Could not start the live wallpaper";
constexpr const char* kReattachBalloon = "Stopped after repeated failures to reattach to the desktop";

const TMenuItem* FindItem(const std::vector<TMenuItem>& items, int id) {
  for (const TMenuItem& item : items) {
    if (item.kind == TMenuItem::mkSubmenu) {
      if (const TMenuItem* found = FindItem(item.children, id)) return item.enabled ? found : nullptr;
    } else if (item.id == id && item.kind != TMenuItem::mkSeparator) {
      return &item;
    }
  }
  return nullptr;
}

}  // namespace

TWallpaperStateCode StateCodeOf(TWallpaperState state) {
  switch (state) {
    case wsStopped: return scStopped;
    case wsRunning: return scRunning;
    case wsPaused: return scPaused;
    default: return scStarting;
  }
}

TWallpaperController::TWallpaperController(TFormWallpaper& form, IMainLoop& loop, IPauseProbe& probe,
                                           ITrayIcon& tray, const TWallpaperStateFile& stateFile,
                                           std::function<std::int64_t()> nowMs, TLogProc log)
    : FForm(form),
      FLoop(loop),
      FTray(tray),
      FStateFile(stateFile),
      FNowMs(std::move(nowMs)),
      FLog(std::move(log)),
      FPower(probe, [this](TPauseReasons) {
        ApplyPauseReasons();
        // The menu names the reason.
        RefreshTray();
      }) {
  FForm.SetOnReady([this] { OnReady(); });
  FForm.SetOnFailed([this] { OnFailed(); });
  RefreshTray();
}

TWallpaperController::~TWallpaperController() {
  // The program's hooks may reach what is already gone.
  FHooks = {};
  Stop();
  StopTimers();
  FForm.SetOnReady({});
  FForm.SetOnFailed({});
  RemoveTrayIcon();
}

void TWallpaperController::SetHooks(TControllerHooks hooks) {
  FHooks = std::move(hooks);
  RefreshTray();
}

void TWallpaperController::Log(const std::string& text) const {
  if (FLog) FLog("[Controller] " + text);
}

void TWallpaperController::SetState(TWallpaperState state) {
  if (state == FState) return;
  FState = state;
  Log("state=" + std::to_string(static_cast<int>(state)));
  RefreshTray();
  if (FHooks.onState) FHooks.onState(state, FPower.Reasons());
}

void TWallpaperController::Start(const TJson& data) {
  if (Active()) return;
  FData = data;
  SetState(wsStarting);
  if (FForm.StartWallpaper(data)) {
    // The icon item follows the desktop it was attached to.
    RefreshTray();
    return;
  }
  Log("start failed (unsupported desktop)");
  if (FHooks.onError) FHooks.onError();
  SetState(wsStopped);
}

void TWallpaperController::OnReady() {
  // A second start while the page is ready delivers at once: only a start
  // waits for this.
  if (FState != wsStarting) return;
  if (!FIcons) FIcons = std::make_unique<TIconVisibility>(FForm.AttachEngine(), FStateFile);
  ApplyIcons();
  if (FZOrderTimer < 0) FZOrderTimer = FLoop.StartTimer(kZOrderTimerMs, [this] { ZOrderTick(); });
  if (FPollTimer < 0) FPollTimer = FLoop.StartTimer(kPollTimerMs, [this] { PollTick(); });
  SetState(wsRunning);
  // What the screen looks like now, rather than in two seconds.
  FPower.Poll();
  ApplyPauseReasons();
}

void TWallpaperController::ApplyIcons() {
  if (!FIcons) return;
  // How the icons were before the program touched them, first time only.
  FIcons->SaveOriginal();
  if (!FIcons->SetVisible(!FHideIcons) && FHideIcons) Log("the icons could not be hidden");
}

void TWallpaperController::OnFailed() {
  if (!Active()) return;
  Log("page/WebView failed — stopping");
  StopTimers();
  FForm.StopWallpaper();
  if (FIcons) FIcons->Restore();
  FHideIcons = false;
  FPower.SetUserPaused(false);
  Balloon(kStartFailedBalloon);
  if (FHooks.onError) FHooks.onError();
  SetState(wsStopped);
}

void TWallpaperController::Stop() {
  if (FState == wsStopped) return;
  SetState(wsStopping);
  StopTimers();
  FForm.StopWallpaper();
  if (FIcons) FIcons->Restore();
  // Only the user's pause: the automatic reasons still hold and end by themselves.
  FPower.SetUserPaused(false);
  SetState(wsStopped);
}

void TWallpaperController::StopTimers() {
  for (int* timer : {&FZOrderTimer, &FPollTimer, &FReattachTimer}) {
    if (*timer >= 0) FLoop.StopTimer(std::exchange(*timer, -1));
  }
}

void TWallpaperController::ToggleUserPause() {
  if (FState == wsRunning) {
    FPower.SetUserPaused(true);
  } else if (FState == wsPaused && HasReason(FPower.Reasons(), prUserPaused)) {
    FPower.SetUserPaused(false);
  }
}

void TWallpaperController::SetHideIcons(bool hide) {
  FHideIcons = hide;
  if (Active()) ApplyIcons();
  RefreshTray();
}

void TWallpaperController::SetUiJapanese(bool japanese) {
  if (japanese == FUiJapanese) return;
  FUiJapanese = japanese;
  RefreshTray();
}

void TWallpaperController::ApplyPauseReasons() {
  if (FState != wsRunning && FState != wsPausing && FState != wsPaused && FState != wsResuming) return;
  const TPauseReasons reasons = FPower.Reasons();
  if (reasons == 0) {
    if (FState == wsRunning) return;
    SetState(wsResuming);
    if (FForm.ResumePlayback()) {
      SetState(wsRunning);
    } else {
      // Not back behind the icons: still paused until a re-attach succeeds.
      SetState(wsPaused);
      ScheduleReattach();
    }
    return;
  }
  // The user's own pause keeps the last frame on the desktop; anything
  // automatic hides the wallpaper and rests its browser.
  const bool frozen = reasons == ReasonBit(prUserPaused);
  if (FState == wsPaused) {
    if (frozen == FPauseFrozen) return;
    if (frozen) {
      FForm.FreezePlayback();
    } else {
      FForm.SuspendPlayback();
    }
    FPauseFrozen = frozen;
    return;
  }
  SetState(wsPausing);
  if (frozen) {
    FForm.FreezePlayback();
  } else {
    FForm.SuspendPlayback();
  }
  FPauseFrozen = frozen;
  SetState(wsPaused);
}

void TWallpaperController::ZOrderTick() {
  if (FState != wsRunning) return;
  if (!FForm.WatchdogTick()) ScheduleReattach();
}

void TWallpaperController::PollTick() {
  FPower.Poll();
  if ((FState != wsRunning && FState != wsPaused) || FReattachTimer >= 0) return;
  TDesktopAttach& attach = FForm.AttachEngine();
  if (attach.State() == TAttachState::asAttached && !attach.VerifyZOrder()) ScheduleReattach();
}

void TWallpaperController::ScheduleReattach() {
  if ((FState != wsRunning && FState != wsPaused) || FReattachTimer >= 0) return;
  FReattachTimer = FLoop.StartTimer(kReattachDelayMs, [this] {
    // Stopping the timer destroys this closure: only the stack is safe after.
    TWallpaperController* const self = this;
    self->FLoop.StopTimer(std::exchange(self->FReattachTimer, -1));
    self->ReattachAttempt();
  });
  if (FReattachTimer < 0) Log("SetTimer(reattach) failed — watchdog will retry");
}

void TWallpaperController::ReattachAttempt() {
  if (FState != wsRunning && FState != wsPaused) return;
  const std::int64_t now = FNowMs();
  if (!FReattachWindowStart || (now - *FReattachWindowStart) / 1000 > kReattachWindowSec) {
    FReattachWindowStart = now;
    FReattachFailCount = 0;
  }
  if (FForm.Reattach()) {
    FReattachFailCount = 0;
    if (FState == wsPaused && FPower.Reasons() == 0) ApplyPauseReasons();
    return;
  }
  ++FReattachFailCount;
  Log("reattach failed (" + std::to_string(FReattachFailCount) + "/" + std::to_string(kReattachFailLimit) +
      " in window)");
  if (FReattachFailCount < kReattachFailLimit) {
    ScheduleReattach();
    return;
  }
  Log("reattach failed repeatedly — stopping wallpaper");
  Stop();
  Balloon(kReattachBalloon);
}

void TWallpaperController::Balloon(const std::string& text) {
  if (FTray.Shown()) FTray.Notify(kTrayTitle, text);
}

void TWallpaperController::RefreshTray() { FTray.Show(kTrayTitle, BuildMenu()); }

void TWallpaperController::RemoveTrayIcon() { FTray.Remove(); }

std::vector<TMenuItem> TWallpaperController::ControllerItems() const {
  const auto text = [this](const TText& t) { return std::string(FUiJapanese ? t.ja : t.en); };
  std::vector<TMenuItem> items;
  if (FState == wsStopped) return items;
  const TPauseReasons reasons = FPower.Reasons();
  if (FState == wsPaused && HasReason(reasons, prUserPaused)) {
    items.push_back(TMenuItem::Item(ccTogglePause, text(kResume)));
  } else if (FState == wsPaused) {
    const TPauseReason top = FPower.TopAutoReason();
    items.push_back(TMenuItem::Item(
        ccTogglePause, text(kAutoPaused) + PauseReasonLabel(top, FUiJapanese) + text(kAutoPausedEnd), false));
  } else {
    items.push_back(TMenuItem::Item(ccTogglePause, text(kPause), FState == wsRunning));
  }
  items.push_back(TMenuItem::Item(ccStop, text(kStop), !Busy()));
  items.push_back(TMenuItem::Separator());
  // Only a see-through icon layer lets the icons be switched; elsewhere the
  // item is greyed with the reason beneath it.
  const TIconLayer layer = FForm.AttachEngine().IconLayer();
  const bool switchable = layer == TIconLayer::ilTransparent;
  items.push_back(TMenuItem::Check(ccShowIcons, text(kShowIcons), switchable && !FHideIcons, switchable && !Busy()));
  if (!switchable && !Busy()) items.push_back(TMenuItem::Item(0, IconToggleReason(layer, FUiJapanese), false));
  items.push_back(TMenuItem::Separator());
  return items;
}

std::vector<TMenuItem> TWallpaperController::BuildMenu() const {
  std::vector<TMenuItem> menu = ControllerItems();
  if (FHooks.onBuildHostMenu) {
    for (TMenuItem& item : FHooks.onBuildHostMenu()) menu.push_back(std::move(item));
    menu.push_back(TMenuItem::Separator());
  }
  const auto text = [this](const TText& t) { return std::string(FUiJapanese ? t.ja : t.en); };
  menu.push_back(TMenuItem::Item(ccOpenMain, text(kOpenMain)));
  menu.push_back(TMenuItem::Item(ccExit, text(kExit), !Busy()));
  return menu;
}

void TWallpaperController::OnTrayCommand(int id) {
  // The menu may have changed since it was shown: an item greyed or gone
  // meanwhile does nothing.
  const std::vector<TMenuItem> menu = BuildMenu();
  const TMenuItem* item = FindItem(menu, id);
  if (!item || !item->enabled) return;
  switch (id) {
    case ccTogglePause: ToggleUserPause(); return;
    case ccStop: Stop(); return;
    case ccShowIcons: SetHideIcons(!FHideIcons); return;
    case ccOpenMain:
      if (FHooks.onOpenRequest) FHooks.onOpenRequest();
      return;
    case ccExit:
      if (FHooks.onExitRequest) FHooks.onExitRequest();
      return;
    default:
      if (id >= ccFirstHostCommand && FHooks.onHostCommand) FHooks.onHostCommand(id);
  }
}

void TWallpaperController::OnTrayActivate() {
  if (FHooks.onToggleRequest) FHooks.onToggleRequest();
}

void TWallpaperController::OnTrayReappeared() {
  RefreshTray();
  ScheduleReattach();
}
