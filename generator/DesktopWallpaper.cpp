#include "generator/DesktopWallpaper.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>

#include "generator/WallpaperFolder.h"
#include "shared/Base64.h"
#include "shared/CommandFields.h"
#include "shared/Diagnostics.h"
#include "shared/FileAccess.h"

namespace fs = std::filesystem;

namespace {

// The desktop's answer, or `fallback` when asking failed.
template <typename T, typename F>
T AskOr(T fallback, F&& ask) {
  try {
    return ask();
  } catch (const std::exception&) {
    return fallback;
  }
}

bool IsMissing(const std::string& path) { return path.empty() || !IsRegularFile(path); }

TJson Object() { return TJson::object(); }

// Every monitor shows a picture of ours (the desktop as an earlier set left it).
bool ShowsOnlyOwnPictures(const TWallpaperCapture& capture, const std::string& folder) {
  return !capture.monitors.empty() &&
         std::all_of(capture.monitors.begin(), capture.monitors.end(), [&](const TWallpaperMonitor& m) {
           return IsOwnWallpaperFile(m.path, folder) && (m.darkPath.empty() || IsOwnWallpaperFile(m.darkPath, folder));
         });
}

}  // namespace

TWallpaperCapture CaptureWallpaper(IDesktopWallpaper& desktop) {
  TWallpaperCapture capture;
  const int count = AskOr(0, [&] { return desktop.MonitorCount(); });
  capture.complete = count > 0;
  const std::int64_t position =
      AskOr(kFillPosition, [&] { return static_cast<std::int64_t>(desktop.Position()); });
  for (int index = 0; index < count; ++index) {
    TWallpaperMonitor monitor;
    monitor.id = AskOr(std::string(), [&] { return desktop.MonitorId(index); });
    monitor.path = AskOr(std::string(), [&] { return desktop.Wallpaper(monitor.id); });
    monitor.position = position;
    // A dark-style picture that is gone could only be restored as a blank
    // desktop; without it both styles come back as `path`.
    monitor.darkPath = AskOr(std::string(), [&] { return desktop.DarkWallpaper(monitor.id); });
    if (IsMissing(monitor.darkPath) || monitor.darkPath == monitor.path) monitor.darkPath.clear();
    if (IsMissing(monitor.path)) capture.complete = false;
    capture.monitors.push_back(std::move(monitor));
  }
  return capture;
}

void CheckWallpaperPicture(IImageCodec& codec, const std::vector<std::uint8_t>& jpeg) {
  if (jpeg.size() < 3 || jpeg[0] != 0xFF || jpeg[1] != 0xD8 || jpeg[2] != 0xFF) {
    throw std::runtime_error("not a JPEG picture");
  }
  const TImageSize size = codec.ReadSize(jpeg);
  if (size.width <= 0 || size.height <= 0 || size.width > kMaxWallpaperSide || size.height > kMaxWallpaperSide) {
    throw std::runtime_error("unsupported image size (" + std::to_string(size.width) + "x" +
                             std::to_string(size.height) + ")");
  }
}

TDesktopWallpaper::TDesktopWallpaper(IDesktopWallpaperProvider& desktop, IImageCodec& codec, THostBridge& bridge,
                                     TEmitFn emit, std::string wallpaperFolder, std::string backupPath)
    : FDesktop(desktop),
      FCodec(codec),
      FBridge(bridge),
      FEmit(std::move(emit)),
      FFolder(std::move(wallpaperFolder)),
      FBackupPath(std::move(backupPath)) {}

void TDesktopWallpaper::Register(TCommandTable& table) {
  // The rows answer every failure themselves; the error events catch only
  // what nothing foresaw, so that the page's flow still ends.
  table.Add("setWallpaper", [this](const TCommand& c) {
    SetWallpaper(FieldText(c.message, "requestId"), FieldText(c.message, "format", "jpg"),
                 FieldInt(c.message, "chunkIndex", -1), FieldInt(c.message, "totalChunks", -1),
                 FieldText(c.message, "data"));
  }, ErrorEvent("wallpaperError", "requestId"));
  table.Add("checkWallpaper", [this](const TCommand&) { CheckWallpaper(); });
  table.Add("checkRestore", [this](const TCommand&) { CheckRestore(); }, ErrorEvent("restoreError"));
  table.Add("restoreWallpaper", [this](const TCommand&) { RestoreWallpaper(); }, ErrorEvent("restoreError"));
}

bool TDesktopWallpaper::HasBackup() const { return IsRestorable(ReadWallpaperBackup(FBackupPath)); }

void TDesktopWallpaper::EmitBackupState() {
  TJson payload = Object();
  payload["hasBackup"] = HasBackup();
  FEmit("wallpaperBackupState", payload);
}

void TDesktopWallpaper::SetWallpaper(const std::string& requestId, const std::string& format,
                                     std::int64_t chunkIndex, std::int64_t totalChunks, const std::string& data) {
  std::string base64;
  std::string firstFormat;
  bool rejected = false;
  if (!FBridge.AddSaveChunk(requestId, format, chunkIndex, totalChunks, data, base64, firstFormat, rejected)) {
    if (rejected) EmitSetError(requestId, "invalid transfer");
    return;
  }
  std::vector<std::uint8_t> jpeg;
  try {
    jpeg = Base64Decode(base64);
  } catch (const std::exception& error) {
    return EmitSetError(requestId, error.what());
  }
  base64 = std::string();  // the decoded copy is all that is needed from here on
  SetWallpaperPicture(requestId, jpeg);
}

void TDesktopWallpaper::SetWallpaperPicture(const std::string& requestId, const std::vector<std::uint8_t>& jpeg) {
  std::string newPath;
  try {
    // A picture no desktop could show is refused before anything changes.
    CheckWallpaperPicture(FCodec, jpeg);
    // Without the desktop's setting there is nothing to apply to; the
    // message names what this desktop lacks.
    const std::unique_ptr<IDesktopWallpaper> desktop = FDesktop.Open();

    fs::create_directories(FFolder);
    newPath = NextWallpaperPath(FFolder);
    const TWallpaperCapture capture = CaptureWallpaper(*desktop);
    std::optional<TWallpaperBackup> backup =
        FKeepUsersOwn && ShowsOnlyOwnPictures(capture, FFolder) ? ReadWallpaperBackup(FBackupPath) : std::nullopt;
    if (IsRestorable(backup)) {
      backup->lastSet = newPath;
    } else if (capture.complete) {
      backup = TWallpaperBackup{true, false, newPath, capture.monitors};
    } else {
      backup.reset();
    }
    WriteFileReplacing(newPath, jpeg);
    Apply(*desktop, newPath);

    TJson payload = Object();
    payload["requestId"] = requestId;
    bool saved = false;
    if (backup) {
      try {
        SaveWallpaperBackup(FBackupPath, *backup);
        saved = true;
      } catch (const std::exception& error) {
        payload["backupError"] = error.what();
        DeleteWallpaperBackup(FBackupPath);
      }
    } else {
      // An older backup describes a desktop from before the picture that
      // this capture could not record; restoring it would skip that picture.
      DeleteWallpaperBackup(FBackupPath);
    }
    std::vector<std::string> keep{newPath};
    if (backup) {
      for (const TWallpaperMonitor& monitor : backup->monitors) {
        keep.push_back(monitor.path);
        keep.push_back(monitor.darkPath);
      }
    }
    CleanUpWallpaperFolder(FFolder, keep);
    payload["undoCaptured"] = backup.has_value();
    payload["undoSaved"] = saved;
    FEmit("wallpaperDone", payload);
    EmitBackupState();
  } catch (const std::exception& error) {
    if (!newPath.empty()) {
      std::error_code ignored;
      fs::remove(newPath, ignored);
    }
    EmitSetError(requestId, error.what());
  }
}

void TDesktopWallpaper::Apply(IDesktopWallpaper& desktop, const std::string& path) {
  const std::optional<TWallpaperPosition> before =
      AskOr(std::optional<TWallpaperPosition>(), [&] { return std::optional(desktop.Position()); });
  desktop.SetPosition(TWallpaperPosition::wpFill);
  try {
    desktop.SetWallpaper("", path);
  } catch (const std::exception&) {
    // The picture did not change: neither should the way it is scaled.
    if (before) AskOr(false, [&] { return desktop.SetPosition(*before), true; });
    throw;
  }
}

void TDesktopWallpaper::CheckWallpaper() {
  const bool restorable = AskOr(false, [&] { return CaptureWallpaper(*FDesktop.Open()).complete; });
  TJson payload = Object();
  payload["restorable"] = restorable;
  payload["hasBackup"] = HasBackup();
  FEmit("wallpaperCheck", payload);
}

void TDesktopWallpaper::CheckRestore() {
  const std::optional<TWallpaperBackup> backup = ReadWallpaperBackup(FBackupPath);
  const bool hasBackup = IsRestorable(backup);
  bool missing = false;
  bool matchesLastSet = false;
  if (hasBackup) {
    missing = backup->monitors.empty();
    for (const TWallpaperMonitor& monitor : backup->monitors) missing = missing || IsMissing(monitor.path);
    matchesLastSet = AskOr(false, [&] {
      const std::unique_ptr<IDesktopWallpaper> desktop = FDesktop.Open();
      const int count = desktop->MonitorCount();
      bool matches = count > 0;
      for (int index = 0; matches && index < count; ++index) {
        const std::string id = desktop->MonitorId(index);
        const std::string dark = desktop->DarkWallpaper(id);
        matches = desktop->Wallpaper(id) == backup->lastSet && (dark.empty() || dark == backup->lastSet);
      }
      return matches;
    });
  }
  TJson payload = Object();
  payload["hasBackup"] = hasBackup;
  payload["missing"] = missing;
  payload["matchesLastSet"] = matchesLastSet;
  FEmit("restoreCheck", payload);
}

void TDesktopWallpaper::RestoreWallpaper() {
  std::optional<TWallpaperBackup> backup = ReadWallpaperBackup(FBackupPath);
  if (!IsRestorable(backup)) return EmitRestoreError("no restorable backup");
  bool missing = backup->monitors.empty();
  for (const TWallpaperMonitor& monitor : backup->monitors) missing = missing || IsMissing(monitor.path);
  if (missing) return EmitRestoreError("original wallpaper file is missing");

  std::unique_ptr<IDesktopWallpaper> desktop;
  try {
    desktop = FDesktop.Open();
  } catch (const std::exception& error) {
    return EmitRestoreError(error.what());
  }
  bool failed = false;
  for (const TWallpaperMonitor& monitor : backup->monitors) {
    AskOr(false, [&] { return desktop->SetPosition(WallpaperPositionFromInt(monitor.position)), true; });
    try {
      // A dark-style picture deleted since is left out: both styles show `path`.
      desktop->SetWallpaper(monitor.id, monitor.path, IsMissing(monitor.darkPath) ? std::string() : monitor.darkPath);
    } catch (const std::exception& error) {
      LogDiagnostic("wallpaper", "restoring " + monitor.id + ": " + error.what());
      failed = true;
    }
  }
  if (failed) return EmitRestoreError("failed to apply original wallpaper");

  std::vector<std::string> keep;
  for (const TWallpaperMonitor& monitor : backup->monitors) {
    keep.push_back(monitor.path);
    keep.push_back(monitor.darkPath);
  }
  CleanUpWallpaperFolder(FFolder, keep);
  backup->restored = true;
  try {
    SaveWallpaperBackup(FBackupPath, *backup);
  } catch (const std::exception& error) {
    return EmitRestoreError(error.what());
  }
  FEmit("restoreDone", TJson());
  EmitBackupState();
}

void TDesktopWallpaper::EmitSetError(const std::string& requestId, const std::string& message) {
  LogDiagnostic("wallpaper", requestId + ": " + message);
  TJson payload = Object();
  payload["requestId"] = requestId;
  payload["message"] = message;
  FEmit("wallpaperError", payload);
}

void TDesktopWallpaper::EmitRestoreError(const std::string& message) {
  LogDiagnostic("wallpaper", "restore: " + message);
  TJson payload = Object();
  payload["message"] = message;
  FEmit("restoreError", payload);
}
