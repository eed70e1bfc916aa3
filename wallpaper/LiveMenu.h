// The live wallpaper program's own items in the tray menu, built from the
// loaded play data: start, open the creation in the generator, choose a
// saved creation, motion and speed, and the build stamp. The motion and
// speed items change the play data they were built from.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/TrayIcon.h"
#include "shared/AlbumStore.h"
#include "shared/JsonWriter.h"

enum TLiveMenuCommand : int {
  lmDrop = 200,
  lmSway = 201,
  lmSlow = 210,
  lmNormal = 211,
  lmFast = 212,
  lmStart = 220,
  lmOpenInMaker = 221,
  lmOpenPackage = 222,
  lmFirstPick = 300,
};
inline constexpr int kMaxPicks = 20;


struct TLiveMenuInput {
  const std::optional<TJson>* data = nullptr;  // the loaded play data
  bool stopped = true;
  bool japanese = false;
  std::vector<TCreationPick> picks;  // the saved piles offered under "Choose wallpaper"
  bool canOpenPackages = false;
  std::string buildStamp;  // "mm-dd hh:nn"; no line when empty
};

std::vector<TMenuItem> BuildLiveMenu(const TLiveMenuInput& input);

// The play data after a motion or speed item; empty for any other id.
std::optional<TJson> ApplyMotionOrSpeed(const TJson& data, int id);
