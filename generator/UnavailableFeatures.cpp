#include "generator/UnavailableFeatures.h"

#include <stdexcept>

#include "generator/HostTexts.h"
#include "shared/Diagnostics.h"

namespace {

void Ignore(const TCommand&) {}

}  // namespace

void TUnavailableFeatures::Register(TCommandTable& table) {
  RegisterAlbums(table);
  RegisterLiveWallpaper(table);
}

// The answers are failures with the feature's own text: the table's boundary
// turns each into the command's error event.
void TUnavailableFeatures::RegisterAlbums(TCommandTable& table) {
  const auto unavailable = [this](const TCommand&) {
    throw std::runtime_error(HostText(THostText::htAlbumsUnavailable, FContext.Japanese()));
  };
  for (const char* name : {"albumSaveList", "albumSave", "albumLoad", "albumDelete"})
    table.Add(name, unavailable, ErrorEvent("albumError"));
}

void TUnavailableFeatures::EmitWallpaperStopped() {
  TJson payload = TJson::object();
  payload["state"] = "stopped";
  payload["pauseReasons"] = TJson::array();
  FContext.Emit("wallpaperState", payload);
}

void TUnavailableFeatures::RegisterLiveWallpaper(TCommandTable& table) {
  table.Add("startLiveWallpaper", [this](const TCommand&) {
    // The page leaves its transfer state on the next state report; reporting
    // "stopped" at once keeps it from waiting for a wallpaper that never starts.
    LogDiagnostic("live", HostText(THostText::htLiveUnavailable, FContext.Japanese()));
    EmitWallpaperStopped();
  });
  table.Add("commitLiveHandoff", [this](const TCommand&) {
    throw std::runtime_error(HostText(THostText::htKiroUnavailable, FContext.Japanese()));
  }, TErrorEvent{"kiroExported", "", "error", {{"format", "kiro"}}});
  table.Add("stopLiveWallpaper", [this](const TCommand&) { EmitWallpaperStopped(); });
  // Hand-over sessions and their photos have no answer of their own; the
  // start or commit that ends a session reports the outcome.
  table.Add("beginLiveWallpaper", Ignore);
  table.Add("cancelLiveWallpaper", Ignore);
  table.Add("livePhoto", Ignore);
}
