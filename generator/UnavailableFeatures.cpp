#include "generator/UnavailableFeatures.h"

#include <stdexcept>

#include "generator/HostTexts.h"
#include "shared/CommandFields.h"
#include "shared/Diagnostics.h"

namespace {

constexpr std::int64_t kMissingInt = -1;

void Ignore(const TCommand&) {}

}  // namespace

void TUnavailableFeatures::Register(TCommandTable& table) {
  RegisterAlbumPdf(table);
  RegisterWallpaper(table);
}

// The answers are failures with the feature's own text: the table's boundary
// turns each into the command's error event.
void TUnavailableFeatures::RegisterAlbumPdf(TCommandTable& table) {
  table.Add("beginAlbumPdf", [this](const TCommand&) {
    throw std::runtime_error(HostText(THostText::htPdfUnavailable, FContext.Japanese()));
  }, ErrorEvent("albumPdfError", "requestId"));
  // Pages, finish and cancel only act on an open PDF writer, and without
  // PDF support none is ever open.
  table.Add("albumPdfPage", Ignore, ErrorEvent("albumPdfError", "requestId"));
  table.Add("finishAlbumPdf", Ignore, ErrorEvent("albumPdfError", "requestId"));
  table.Add("cancelAlbumPdf", Ignore);
}

void TUnavailableFeatures::RegisterWallpaper(TCommandTable& table) {
  table.Add("setWallpaper", [this](const TCommand& c) {
    // One answer per transfer: the first chunk (or a chunk without an index)
    // answers, the rest of the transfer is dropped unread.
    if (FieldInt(c.message, "chunkIndex", kMissingInt) > 0) return;
    throw std::runtime_error(HostText(THostText::htWallpaperUnavailable, FContext.Japanese()));
  }, ErrorEvent("wallpaperError", "requestId"));
  table.Add("checkWallpaper", [this](const TCommand&) {
    TJson payload = TJson::object();
    payload["restorable"] = false;
    payload["hasBackup"] = false;
    FContext.Emit("wallpaperCheck", payload);
  });
  table.Add("checkRestore", [this](const TCommand&) {
    TJson payload = TJson::object();
    payload["hasBackup"] = false;
    payload["missing"] = false;
    payload["matchesLastSet"] = false;
    FContext.Emit("restoreCheck", payload);
  });
  table.Add("restoreWallpaper", [this](const TCommand&) {
    throw std::runtime_error(HostText(THostText::htRestoreUnavailable, FContext.Japanese()));
  }, ErrorEvent("restoreError"));
}
