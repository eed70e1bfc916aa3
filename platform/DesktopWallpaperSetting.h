// The desktop's own wallpaper setting, as the generator's still-wallpaper
// commands use it: the monitors, the picture each shows, the way pictures
// are scaled, and setting a picture on one monitor or on all of them.
// Every desktop keeps this differently (on Linux: GSettings, xfconf, the X
// root window); the core sees only this interface.
//
// One object serves one command: it is opened, used and released on the
// window's thread. Every failure is thrown as std::runtime_error carrying the
// desktop's own message.
#pragma once

#include <memory>
#include <string>

// How a picture covers its monitor. The numbers are stored in the wallpaper
// backup record, so they never change.
enum class TWallpaperPosition : int {
  wpCenter = 0,
  wpTile = 1,
  wpStretch = 2,
  wpFit = 3,    // whole picture shown, bars where the shapes differ
  wpFill = 4,   // zoomed to cover the monitor, the overhang cropped
  wpSpan = 5,   // one picture over all monitors
};

// A stored number back to a position; anything unknown is fill.
inline TWallpaperPosition WallpaperPositionFromInt(long long value) {
  return value >= 0 && value <= 5 ? static_cast<TWallpaperPosition>(value) : TWallpaperPosition::wpFill;
}

class IDesktopWallpaper {
 public:
  virtual ~IDesktopWallpaper() = default;

  virtual int MonitorCount() = 0;
  // A stable name of the monitor at `index` (0-based, below MonitorCount()).
  virtual std::string MonitorId(int index) = 0;
  // The picture file the monitor shows, as a full path; "" when it shows
  // none: a solid colour, no picture set, or a picture that is not a file.
  virtual std::string Wallpaper(const std::string& monitorId) = 0;
  // The picture the monitor shows while the desktop is in its dark style,
  // when the desktop keeps one apart and it differs from Wallpaper(); else "".
  virtual std::string DarkWallpaper(const std::string& monitorId) {
    (void)monitorId;
    return {};
  }
  // The desktop-wide position; throws when the desktop shows no picture.
  virtual TWallpaperPosition Position() = 0;
  virtual void SetPosition(TWallpaperPosition position) = 0;
  // Shows `path` on the monitor, or on every monitor when `monitorId` is "".
  // `darkPath` (when not "") is kept as the dark-style picture on desktops
  // that have one; otherwise both styles show `path`.
  virtual void SetWallpaper(const std::string& monitorId, const std::string& path,
                            const std::string& darkPath = {}) = 0;
};

class IDesktopWallpaperProvider {
 public:
  virtual ~IDesktopWallpaperProvider() = default;
  // Opens this session's wallpaper setting; throws with a message that names
  // what is missing on this desktop.
  virtual std::unique_ptr<IDesktopWallpaper> Open() = 0;
};
