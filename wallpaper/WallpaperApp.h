// The live wallpaper program's start-up logic and program-wide state: its
// options, the play data loaded from the live hand-over, the answers to the
// generator's messages, and the program's own tray items and commands
// around the controller, which runs the wallpaper itself.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/IpcTransport.h"
#include "shared/JsonWriter.h"
#include "shared/WallpaperIpc.h"
#include "wallpaper/LiveMenu.h"
#include "wallpaper/WallpaperController.h"

inline constexpr const char* kMakerProgramFile = "TessaryMaker";

// The one-shot options: each performs one action and ends the program.
enum TLiveOneShot { loNone, loShowMain, loOpenAlbumTest, loImportKiroTest, loPickWallpaperTest };

struct TLiveOptions {
  bool demo = false;                 // --test
  TLiveOneShot oneShot = loNone;
  std::string oneShotValue;          // the path or the creation id after "="
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

// What the program tells its controller about, beyond the controller itself.
struct TLiveAppEnv {
  // Ends the program (after the current message has been answered).
  std::function<void()> exit;
  // Tells the user something once per run (for each kind of message).
  std::function<void(const std::string&)> tell;
  // The saved creations offered under "Choose wallpaper"; none when empty.
  std::function<std::vector<TCreationPick>()> picks;
  // The program file's last change as "mm-dd hh:nn", for the menu's last line.
  std::string buildStamp;
  // Asks for a package file (dialog title, file type name); empty when the
  // user cancelled. Without it "Open from a file (*.kiro)…" is greyed.
  std::function<std::optional<std::string>(const std::string& title, const std::string& typeName)> choosePackage;
  // A warning box (title, text).
  std::function<void(const std::string& title, const std::string& text)> warn;
};

class TWallpaperApp {
 public:
  // `japanese`: the system's interface language, until a hand-over says otherwise.
  TWallpaperApp(TWallpaperController& controller, TFormWallpaper& form, IIpcTransport& transport, TLiveAppEnv env,
                bool japanese);
  ~TWallpaperApp();
  TWallpaperApp(const TWallpaperApp&) = delete;
  TWallpaperApp& operator=(const TWallpaperApp&) = delete;

  // Reads the active hand-over; when its data is a JSON object it becomes the
  // loaded play data (and its `uiJapanese` the language). False (and
  // nothing changes) otherwise.
  bool LoadHandoff();
  // Plays the loaded data; false when none is loaded. Whatever plays is
  // replaced: a new hand-over shows at once.
  bool StartLoaded();
  void Start(const TJson& data);

  TWallpaperStateCode StateCode() const { return StateCodeOf(FController.State()); }
  const std::optional<TJson>& PlayData() const { return FPlayData; }
  bool UiJapanese() const { return FController.UiJapanese(); }

  // The answer to one message of the generator.
  std::int32_t HandleIpc(TIpcKind kind);
  // Shows the generator: the running one, else a new one.
  void ShowMain();
  void Exit();
  // One of the program's own tray items.
  void HostCommand(int id);

 private:
  void OnError();
  void OpenPackage();

  TWallpaperController& FController;
  TFormWallpaper& FForm;
  IIpcTransport& FTransport;
  TLiveAppEnv FEnv;
  std::optional<TJson> FPlayData;
  std::vector<TCreationPick> FPicks;  // as the menu last listed them
  bool FToldNoX11 = false;
};
