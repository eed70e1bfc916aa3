// The live wallpaper program's start-up logic and program-wide state: its
// options, the play data loaded from the live hand-over, and the answers to
// the generator's messages. Until the wallpaper window and tray exist, the
// program only keeps whether it was told to play.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/IpcTransport.h"
#include "shared/JsonWriter.h"
#include "shared/WallpaperIpc.h"

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
  // `onExit` ends the program (the quit message).
  explicit TWallpaperApp(std::function<void()> onExit);

  // Reads the active hand-over; when its data is a JSON object it becomes the
  // loaded play data. False (and nothing changes) otherwise.
  bool LoadHandoff();
  // Plays the loaded data; false when none is loaded.
  bool StartLoaded();
  // Plays the given record (the demonstration of "--test").
  void Start(const TJson& data);
  void Stop();
  TWallpaperStateCode StateCode() const { return FPlaying ? scRunning : scStopped; }
  const std::optional<TJson>& PlayData() const { return FPlayData; }

  // The answer to one message of the generator.
  std::int32_t HandleIpc(TIpcKind kind);

 private:
  std::function<void()> FOnExit;
  std::optional<TJson> FPlayData;
  bool FPlaying = false;
};
