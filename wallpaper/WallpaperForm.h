// The live wallpaper's window, portable part: a desktop backdrop whose
// browser shows the player page, put behind the desktop icons by the
// attachment. It delivers the play data once the page is ready (again after
// the page was reloaded), forwards the pause commands, rests and wakes the
// browser, and answers the browser's requests. Generation counters take the
// place of locks: a navigation or a suspension that completes after a newer
// decision is ignored or undone. The controller owns one such window and
// decides when to start, stop, pause and reattach it. Main thread only.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/BackdropWindow.h"
#include "platform/BrowserEvents.h"
#include "platform/DesktopStack.h"
#include "platform/MainLoop.h"
#include "shared/JsonWriter.h"
#include "wallpaper/DesktopAttach.h"

inline constexpr const char* kWallpaperWindowTitle = "Tessary Live Wallpaper";
// How long a hidden wallpaper waits before its browser is put to rest: a
// pause that ends sooner never disturbs the browser.
inline constexpr int kSuspendDelayMs = 150;

// The commands the player page understands (its "wallpaperCmd" words).
enum class TPlayerCommand { cmStop, cmSleep, cmWake, cmPause, cmResume };

// The play data as this screen shows it: `w`, `h` become the size the
// window covers (all monitors), while `srcW`, `srcH` keep the creation's
// size (the record's `w`, `h` when it has none), so that the page can fit
// the pile to the screen. Unchanged when the screen's size is unknown.
TJson FitPlayDataToScreen(TJson data, const TScreenRect& screen);

class TFormWallpaper;

// Hands a browser's suspension to the window while the window exists: the
// window detaches it when it goes, so a late completion reaches nothing.
class TWallpaperGate {
 public:
  explicit TWallpaperGate(TFormWallpaper& form) : FForm(&form) {}
  void SuspendCompleted(int generation);
  void Detach() { FForm = nullptr; }

 private:
  TFormWallpaper* FForm;
};

class TFormWallpaper final : public IBrowserEvents {
 public:
  // `log` may be empty; the window's lines begin "[Wallpaper] ", the
  // attachment's "[DesktopAttach] ". The browser starts at the first start.
  TFormWallpaper(IBackdropWindow& window, IDesktopStack& stack, IMainLoop& loop, TLogProc log);
  ~TFormWallpaper() override;
  TFormWallpaper(const TFormWallpaper&) = delete;
  TFormWallpaper& operator=(const TFormWallpaper&) = delete;

  // ---- what the controller decides

  // Shows the window over the screen, attaches it behind the icons and plays
  // `data` (a play-data object) from the beginning, at once when the page is
  // ready, else once it is (then OnReady). False when the window could not
  // be attached (AttachEngine().Failure() says why) or the browser could
  // not be made; the window is hidden then.
  bool StartWallpaper(const TJson& data);
  // Stops the page, detaches and hides the window; the page stays loaded.
  void StopWallpaper();
  // To a ready page only; dropped otherwise.
  void SendCommand(TPlayerCommand command);
  // An automatic pause: the page sleeps, the window hides and, unless the
  // pause ends within kSuspendDelayMs, the browser is put to rest.
  void SuspendPlayback();
  // The user's pause: the last frame stays on the desktop while the page sleeps.
  void FreezePlayback();
  // Ends either pause: the window shows again, in place (re-attached when
  // needed), and the page wakes. False when it could not be put back behind
  // the icons; the page then stays asleep.
  bool ResumePlayback();
  // One quick attachment attempt; on success the window covers the screen again.
  bool Reattach();
  // The regular check while playing: keeps the window in place and plays
  // the data anew, fitted, when the screen's size has changed. False when
  // the window could not be kept in place: a re-attach is needed.
  bool WatchdogTick();

  void SetOnReady(std::function<void()> onReady) { FOnReady = std::move(onReady); }
  void SetOnFailed(std::function<void()> onFailed) { FOnFailed = std::move(onFailed); }

  // ---- state
  bool PageReady() const { return FPageReady; }
  // Between a successful start and the next stop.
  bool Playing() const { return FPlaying; }
  // The browser went to rest for the current pause and has not been woken.
  bool BrowserResting() const { return FBrowserResting; }
  TDesktopAttach& AttachEngine();

  // ---- IBrowserEvents
  void OnBrowserCreated(bool ok, const std::string& failure) override;
  bool AllowNavigation(const std::string& uri) override;
  void OnNavigationCompleted(bool success) override;
  void OnPageGone() override;
  TWebResponse RouteRequest(const std::string& uri) override;
  void OnPageMessage(const std::string& sourceUri, const std::optional<std::string>& text) override;
  bool CloseQuery() override;
  void OnDestroyed() override;

 private:
  friend class TWallpaperGate;
  void SuspendCompleted(int generation);
  void Deliver();
  void Emit(const std::string& event, const std::string& json);
  void Fail(const std::string& why);
  void ResumeBrowser();
  // Shows the window again behind the icons, re-attaching when needed;
  // false when it could not be put back there.
  bool ShowInPlace();
  void StopSuspendTimer();
  TScreenRect Screen();
  // Follows a new screen size: the window covers it and the page plays the
  // data fitted to it.
  void FollowScreen();
  void Log(const std::string& text) const;

  IBackdropWindow& FWindow;
  IDesktopStack& FStack;
  IMainLoop& FLoop;
  TLogProc FLog;
  std::unique_ptr<TDesktopAttach> FAttach;  // made for the window at the first start
  bool FPageReady = false;
  bool FWebViewStarted = false;
  bool FBrowserFailed = false;
  // The play data of the current start, as handed over, and whether it
  // waits for the page or has been delivered. A stop drops pending data, so
  // what waits always belongs to the current start.
  TJson FData;
  bool FPending = false;
  bool FDelivered = false;
  bool FPlaying = false;
  TScreenRect FScreen;          // the area the window covers and the data is fitted to
  bool FAsleep = false;         // the page was told to sleep and not woken since
  bool FWantSuspended = false;
  int FSuspendGen = 0;
  int FSuspendTimer = -1;
  bool FBrowserResting = false;
  std::shared_ptr<TWallpaperGate> FGate;
  std::function<void()> FOnReady;
  std::function<void()> FOnFailed;
};
