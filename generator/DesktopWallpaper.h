// The still desktop wallpaper: the finished picture goes into the wallpaper
// folder and onto every monitor, after what the monitors showed was backed
// up; the page asks about the backup and restores from it. One method per
// page command, each answering with the command's events.
//
// Everything runs on the window's thread: the desktop's setting is opened,
// used and released within one command, and a command that found the
// desktop one way never acts on it after another command changed it. The
// slowest desktop, the X root window (decoded and scaled here), takes about
// a second for the largest picture, 8192 × 8192, and a third of that for 8K.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "generator/WallpaperBackup.h"
#include "platform/DesktopWallpaperSetting.h"
#include "platform/HostPlatform.h"
#include "shared/CommandTable.h"
#include "shared/HostBridge.h"
#include "shared/JsonWriter.h"

// The page makes pictures of at most 8192 pixels a side; a larger claim is a
// broken file, which no desktop should be asked to decode.
inline constexpr int kMaxWallpaperSide = 12000;

// What the monitors show now. Complete when there is at least one monitor and
// each shows an existing picture file: only then can a restore bring it back.
struct TWallpaperCapture {
  std::vector<TWallpaperMonitor> monitors;
  bool complete = false;
};
TWallpaperCapture CaptureWallpaper(IDesktopWallpaper& desktop);

// Throws "not a JPEG picture", the codec's message, or
// "unsupported image size (WxH)"; reads the header only.
void CheckWallpaperPicture(IImageCodec& codec, const std::vector<std::uint8_t>& jpeg);

class TDesktopWallpaper {
 public:
  // `wallpaperFolder`: WallpaperFolderPath(pictures); `backupPath`:
  // WallpaperBackupPath(roaming application data). `emit` sends an event
  // without payload when given a null payload (restoreDone).
  TDesktopWallpaper(IDesktopWallpaperProvider& desktop, IImageCodec& codec, THostBridge& bridge, TEmitFn emit,
                    std::string wallpaperFolder, std::string backupPath);

  // setWallpaper, checkWallpaper, checkRestore, restoreWallpaper.
  void Register(TCommandTable& table);

  // setWallpaper, one chunk. A refused chunk answers `wallpaperError`
  // "invalid transfer"; the last one goes on as SetWallpaperPicture.
  void SetWallpaper(const std::string& requestId, const std::string& format, std::int64_t chunkIndex,
                    std::int64_t totalChunks, const std::string& data);
  // The whole picture: `wallpaperDone` (requestId, [backupError], undoCaptured,
  // undoSaved) then `wallpaperBackupState`, or `wallpaperError` (requestId,
  // message) with the desktop, the folder and the backup as they were.
  void SetWallpaperPicture(const std::string& requestId, const std::vector<std::uint8_t>& jpeg);
  // checkWallpaper: `wallpaperCheck` (restorable, hasBackup).
  void CheckWallpaper();
  // checkRestore: `restoreCheck` (hasBackup, missing, matchesLastSet).
  void CheckRestore();
  // restoreWallpaper: `restoreDone` (no payload) then `wallpaperBackupState`,
  // or `restoreError` (message).
  void RestoreWallpaper();
  // `wallpaperBackupState` (hasBackup): the page-ready sequence sends it too.
  void EmitBackupState();

  bool HasBackup() const;

  // For pictures set again and again without the user (a daily batch
  // render): while the desktop still shows one of our own pictures, a set
  // keeps the backup of what the user had before the first of them, so that
  // Undo brings that back rather than the picture of the day before.
  void KeepUsersOwnBackup(bool keep) { FKeepUsersOwn = keep; }

 private:
  // Shows the picture at `path` on every monitor; throws when it could not.
  void Apply(IDesktopWallpaper& desktop, const std::string& path);
  void EmitSetError(const std::string& requestId, const std::string& message);
  void EmitRestoreError(const std::string& message);

  IDesktopWallpaperProvider& FDesktop;
  IImageCodec& FCodec;
  THostBridge& FBridge;
  TEmitFn FEmit;
  std::string FFolder;
  std::string FBackupPath;
  bool FKeepUsersOwn = false;
};
