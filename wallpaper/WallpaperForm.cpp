#include "wallpaper/WallpaperForm.h"

#include <utility>

#include "wallpaper/WallpaperRouting.h"

namespace {

const char* CommandWord(TPlayerCommand command) {
  switch (command) {
    case TPlayerCommand::cmStop: return "stop";
    case TPlayerCommand::cmSleep: return "sleep";
    case TPlayerCommand::cmWake: return "wake";
    case TPlayerCommand::cmPause: return "pause";
    case TPlayerCommand::cmResume: return "resume";
  }
  return "stop";
}

bool HasPositiveNumber(const TJson& object, const char* name) {
  const auto member = object.find(name);
  return member != object.end() && member->is_number() && member->get<double>() > 0;
}

}  // namespace

TJson FitPlayDataToScreen(TJson data, const TScreenRect& screen) {
  if (!data.is_object() || screen.width <= 0 || screen.height <= 0) return data;
  if (!HasPositiveNumber(data, "srcW") || !HasPositiveNumber(data, "srcH")) {
    // A record without its creation's size was made for the size it names.
    const bool sized = HasPositiveNumber(data, "w") && HasPositiveNumber(data, "h");
    data["srcW"] = sized ? data["w"] : TJson(screen.width);
    data["srcH"] = sized ? data["h"] : TJson(screen.height);
  }
  data["w"] = screen.width;
  data["h"] = screen.height;
  return data;
}

void TWallpaperGate::SuspendCompleted(int generation) {
  if (FForm) FForm->SuspendCompleted(generation);
}

TFormWallpaper::TFormWallpaper(IBackdropWindow& window, IDesktopStack& stack, IMainLoop& loop, TLogProc log)
    : FWindow(window), FStack(stack), FLoop(loop), FLog(std::move(log)), FGate(std::make_shared<TWallpaperGate>(*this)) {
  FWindow.SetTitle(kWallpaperWindowTitle);
  // A new screen at once rather than at the next check.
  FWindow.OnScreenChanged([this] {
    if (!WatchdogTick()) Reattach();
  });
}

TFormWallpaper::~TFormWallpaper() {
  FGate->Detach();
  FWindow.OnScreenChanged({});
  StopWallpaper();
}

void TFormWallpaper::Log(const std::string& text) const {
  if (FLog) FLog("[Wallpaper] " + text);
}

TDesktopAttach& TFormWallpaper::AttachEngine() {
  // The window exists in the window system only once it has been opened.
  if (!FAttach) FAttach = std::make_unique<TDesktopAttach>(FStack, FWindow.NativeWindow(), FLog);
  return *FAttach;
}

TScreenRect TFormWallpaper::Screen() { return FStack.Query().screen; }

bool TFormWallpaper::StartWallpaper(const TJson& data) {
  ++FSuspendGen;
  FWantSuspended = false;
  StopSuspendTimer();
  // A browser put to rest by an earlier run must not stay asleep.
  ResumeBrowser();
  FPending = false;
  FDelivered = false;
  FPlaying = false;
  TDesktopAttach& attach = AttachEngine();
  if (FBrowserFailed) {
    Log("start refused: the browser could not be made");
    return false;
  }
  // Nothing to show where no window can live behind the icons: the
  // attachment says why at once, and the window never flashes up.
  if (FStack.Session() == TSessionKind::skX11) {
    FScreen = Screen();
    FWindow.Place(FScreen);
    FWindow.Show();
  }
  if (!attach.Attach()) {
    // What played before (a start while playing) stops with it.
    SendCommand(TPlayerCommand::cmStop);
    FAsleep = false;
    FWindow.Hide();
    return false;
  }
  FPlaying = true;
  FData = data;
  if (FAsleep && FPageReady) SendCommand(TPlayerCommand::cmWake);
  FAsleep = false;
  if (FPageReady) {
    Deliver();
    if (FOnReady) FOnReady();
    return true;
  }
  FPending = true;
  if (!FWebViewStarted) {
    FWebViewStarted = true;
    FWindow.StartBrowser();
  }
  return true;
}

void TFormWallpaper::StopWallpaper() {
  FPending = false;
  FDelivered = false;
  FPlaying = false;
  FWantSuspended = false;
  StopSuspendTimer();
  SendCommand(TPlayerCommand::cmStop);
  FAsleep = false;
  if (FAttach) FAttach->Detach();
  FWindow.Hide();
}

void TFormWallpaper::SendCommand(TPlayerCommand command) {
  if (!FPageReady) return;
  Emit("wallpaperCmd", std::string("{\"cmd\":\"") + CommandWord(command) + "\"}");
  if (command == TPlayerCommand::cmSleep) FAsleep = true;
  if (command == TPlayerCommand::cmWake) FAsleep = false;
}

void TFormWallpaper::Emit(const std::string& event, const std::string& json) {
  FWindow.RunScript("window.kobHost && window.kobHost.emit('" + event + "', " + json + ");");
}

void TFormWallpaper::Deliver() {
  // Written anew rather than passed on as text: whatever the hand-over held,
  // the page receives JSON and nothing else.
  Emit("wallpaperData", WriteJson(FitPlayDataToScreen(FData, FScreen)));
  FDelivered = true;
  // A page that was asleep before it was reloaded or given new data stays so.
  if (FAsleep) SendCommand(TPlayerCommand::cmSleep);
}

void TFormWallpaper::SuspendPlayback() {
  if (!FPlaying) return;
  ++FSuspendGen;
  FWantSuspended = true;
  SendCommand(TPlayerCommand::cmSleep);
  FAsleep = true;
  FWindow.Hide();
  StopSuspendTimer();
  FSuspendTimer = FLoop.StartTimer(kSuspendDelayMs, [this] {
    // Stopping the timer destroys this closure: only the stack is safe after.
    TFormWallpaper* const self = this;
    self->StopSuspendTimer();
    if (!self->FWantSuspended) return;
    self->FWindow.TrySuspendBrowser([gate = self->FGate, generation = self->FSuspendGen](bool ok) {
      if (ok) gate->SuspendCompleted(generation);
    });
  });
}

void TFormWallpaper::SuspendCompleted(int generation) {
  // The pause it was meant for ended meanwhile (a resume, freeze, start or
  // stop): the browser must not stay at rest.
  if (!FWantSuspended) return ResumeBrowser();
  // Only the current decision's own completion says the browser rests; an
  // earlier one is followed by it.
  if (generation == FSuspendGen) FBrowserResting = true;
}

void TFormWallpaper::FreezePlayback() {
  if (!FPlaying) return;
  ++FSuspendGen;
  FWantSuspended = false;
  StopSuspendTimer();
  ResumeBrowser();
  // When it cannot be put back now, the watchdog tries again.
  ShowInPlace();
  SendCommand(TPlayerCommand::cmSleep);
  FAsleep = true;
}

bool TFormWallpaper::ResumePlayback() {
  if (!FPlaying) return false;
  ++FSuspendGen;
  FWantSuspended = false;
  StopSuspendTimer();
  ResumeBrowser();
  if (!ShowInPlace()) return false;
  SendCommand(TPlayerCommand::cmWake);
  FAsleep = false;
  return true;
}

bool TFormWallpaper::ShowInPlace() {
  FWindow.Show();
  TDesktopAttach& attach = AttachEngine();
  if (attach.State() != TAttachState::asAttached || attach.EnsureShownInPlace()) return true;
  return Reattach();
}

bool TFormWallpaper::Reattach() {
  if (!AttachEngine().AttachOnce()) return false;
  FollowScreen();
  return true;
}

bool TFormWallpaper::WatchdogTick() {
  if (!FPlaying) return true;
  TDesktopAttach& attach = AttachEngine();
  const bool inPlace = attach.State() != TAttachState::asAttached || attach.EnsureZOrder();
  FollowScreen();
  return inPlace;
}

void TFormWallpaper::FollowScreen() {
  const TScreenRect screen = Screen();
  if (screen.width <= 0 || screen.height <= 0 || screen == FScreen) return;
  Log("screen now " + std::to_string(screen.width) + "x" + std::to_string(screen.height));
  FScreen = screen;
  FWindow.Place(screen);
  // Pending data is fitted when it is delivered.
  if (FPageReady && FDelivered) Deliver();
}

void TFormWallpaper::ResumeBrowser() {
  FBrowserResting = false;
  FWindow.ResumeBrowser();
}

void TFormWallpaper::StopSuspendTimer() {
  if (FSuspendTimer >= 0) FLoop.StopTimer(std::exchange(FSuspendTimer, -1));
}

void TFormWallpaper::Fail(const std::string& why) {
  Log(why);
  if (FOnFailed) FOnFailed();
}

void TFormWallpaper::OnBrowserCreated(bool ok, const std::string& failure) {
  if (!ok) {
    FBrowserFailed = true;
    Log("browser init failed: " + failure);
    if (FPending) {
      FPending = false;
      if (FOnFailed) FOnFailed();
    }
    return;
  }
  FWindow.LockDownBrowser();
  FWindow.Navigate(WallpaperPageAddress());
}

bool TFormWallpaper::AllowNavigation(const std::string& uri) { return IsWallpaperPageOrigin(uri); }

void TFormWallpaper::OnNavigationCompleted(bool success) {
  FPageReady = success;
  if (!success) {
    if (FPending) {
      FPending = false;
      Fail("page failed to load");
    }
    return;
  }
  if (FPending) {
    FPending = false;
    Deliver();
    if (FOnReady) FOnReady();
  } else if (FPlaying && FDelivered) {
    // The page was reloaded (its process ended and came back): play on,
    // asleep again if it was.
    Log("page reloaded, playing again");
    Deliver();
  }
}

void TFormWallpaper::OnPageGone() {
  FPageReady = false;
  if (FPlaying || FPending) Fail("page gone");
}

TWebResponse TFormWallpaper::RouteRequest(const std::string& uri) { return RouteWallpaperRequest(uri); }

void TFormWallpaper::OnPageMessage(const std::string&, const std::optional<std::string>&) {
  // The player page sends nothing; whatever arrives is not ours to act on.
}

bool TFormWallpaper::CloseQuery() {
  // Only the program ends its wallpaper, never a close request on the desktop.
  return false;
}

void TFormWallpaper::OnDestroyed() { FPageReady = false; }
