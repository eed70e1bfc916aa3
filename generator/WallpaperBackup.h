// The wallpaper backup record: what each monitor showed just before the
// generator's latest still wallpaper, kept as a small JSON file so that the
// user can go back to it later.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

inline constexpr std::int64_t kFillPosition = 4;

struct TWallpaperMonitor {
  std::string id;                       // the monitor's name on this desktop
  std::string path;                     // the picture file it showed
  std::int64_t position = kFillPosition;  // the desktop's position then (TWallpaperPosition)
  // The dark-style picture, only where the desktop kept one apart that
  // differed from `path`; written after the other members when not empty.
  std::string darkPath;
};

struct TWallpaperBackup {
  bool committed = true;
  bool restored = false;
  std::string lastSet;  // the picture the set applied
  std::vector<TWallpaperMonitor> monitors;
};

// roamingAppData/TessaryMaker/wallpaper-backup.json
std::string WallpaperBackupPath(const std::string& roamingAppData);

// The file's bytes: a UTF-8 byte-order mark and compact ASCII JSON, members
// in the record's order; `restored` moves to the end once it is true.
std::vector<std::uint8_t> WallpaperBackupBytes(const TWallpaperBackup& backup);
// Nothing when the file is missing, unreadable or not a JSON object. Members
// of the wrong type read as absent (a position as fill).
std::optional<TWallpaperBackup> ReadWallpaperBackup(const std::string& path);
// A backup that a restore may use: committed and not yet restored.
bool IsRestorable(const std::optional<TWallpaperBackup>& backup);
// Replaces the file safely (a sibling written, flushed and renamed over it),
// creating its folder; throws with the system's message.
void SaveWallpaperBackup(const std::string& path, const TWallpaperBackup& backup);
// Removes the file; failures are ignored.
void DeleteWallpaperBackup(const std::string& path);
