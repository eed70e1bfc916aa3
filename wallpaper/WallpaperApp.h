// The live wallpaper program's start-up logic and program-wide state: its
// options, the play data loaded from the live hand-over, the answers to the
// generator's messages, and the wallpaper window driven through its
// playing states (stopped, starting, running, paused) with a watchdog that
// keeps it behind the desktop icons.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/IpcTransport.h"
#include "platform/MainLoop.h"
#include "shared/JsonWriter.h"
#include "shared/WallpaperIpc.h"
#include "wallpaper/WallpaperForm.h"

// How often a playing wallpaper checks that it is still behind the icons.
inline constexpr int kWatchdogMs = 5000;

// The one-shot options: each performs one action and ends the program.
enum TLiveOneShot { loNone, loShowMain, loOpenAlbumTest };

struct TLiveOptions {
  bool demo = false;                 // --test
  TLiveOneShot oneShot = loNone;
  std::string oneShotValue;          // the path (--show-main=) or the creation id (--open-album-test=)
  std::string package;               // a file given without option: a package opened from the desktop
};

// Option names ignore letter case; the first one-shot option ends the
// argument loop; unknown arguments are ignored.
TLiveOptions ParseLiveOptions(const std::vector<std::string>& args);

// Runs the one-shot option; returns the program's exit code.
int RunLiveOneShot(const TLiveOptions& options, IIpcTransport& transport);

// A package opened from the desktop (a double-click on a ".kiro" file):
// imported into the hand-over store, then played by the instance that runs
// already, or by this one.
enum TPackageOpening { poFailed, poHandedToRunning, poPlayHere };
TPackageOpening OpenPackageArgument(const std::string& path, IIpcTransport& transport);

// The record "--test" plays instead of the hand-over.
TJson DemoPlayData();

class TWallpaperApp {
 public:
  // `onExit` ends the program (the quit message); `tell` shows the user a
  // message of the program's own (once per run for each kind);
  // `japanese`: the system's interface language, until a hand-over says
  // otherwise. `log` may be empty; the lines begin "[Wallpaper] ".
  TWallpaperApp(TFormWallpaper& form, IMainLoop& loop, std::function<void()> onExit,
                std::function<void(const std::string&)> tell, bool japanese, TLogProc log);
  ~TWallpaperApp();
  TWallpaperApp(const TWallpaperApp&) = delete;
  TWallpaperApp& operator=(const TWallpaperApp&) = delete;

  // Reads the active hand-over; when its data is a JSON object it becomes the
  // loaded play data (and its `uiJapanese` the language). False (and
  // nothing changes) otherwise.
  bool LoadHandoff();
  // Plays the loaded data; false when none is loaded.
  bool StartLoaded();
  // Plays the given record from the beginning, also while playing (a new
  // hand-over replaces the one on the desktop).
  void Start(const TJson& data);
  void Stop();
  // The user's own pause (the last frame stays) and an automatic one (the
  // wallpaper hides and its browser rests); each switches on and off.
  void ToggleUserPause();
  void ToggleAutomaticPause();

  TWallpaperStateCode StateCode() const { return FState; }
  const std::optional<TJson>& PlayData() const { return FPlayData; }
  bool UiJapanese() const { return FJapanese; }

  // The answer to one message of the generator.
  std::int32_t HandleIpc(TIpcKind kind);

 private:
  void OnReady();
  void OnFailed();
  void SetState(TWallpaperStateCode state);
  // Brings the window in line with the pauses wished for.
  void ApplyPauses();
  void StartWatchdog();
  void StopWatchdog();
  void Log(const std::string& text) const;

  TFormWallpaper& FForm;
  IMainLoop& FLoop;
  std::function<void()> FOnExit;
  std::function<void(const std::string&)> FTell;
  bool FJapanese;
  TLogProc FLog;
  std::optional<TJson> FPlayData;
  TWallpaperStateCode FState = scStopped;
  bool FUserPause = false;
  bool FAutomaticPause = false;
  bool FFrozen = false;          // the current pause keeps the last frame on screen
  bool FToldNoX11 = false;
  int FWatchdog = -1;
};
