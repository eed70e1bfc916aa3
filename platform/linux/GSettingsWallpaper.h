// The wallpaper of GNOME and the desktops that keep it in GSettings the same
// way (Cinnamon, MATE, and GNOME's own family: Budgie, Pantheon, Unity). One
// setting serves every monitor; the monitors are still listed, by their
// RandR names, so that a backup names what it covered.
#pragma once

#include <gio/gio.h>

#include <string>
#include <vector>

#include "platform/DesktopWallpaperSetting.h"

// Where one desktop keeps its wallpaper.
struct TGSettingsBackground {
  const char* desktop;     // for messages: "GNOME"
  const char* schema;      // "org.gnome.desktop.background"
  const char* pictureKey;  // "picture-uri" or "picture-filename"
  bool pictureIsUri;       // the key holds a file:// URI (else a path)
  const char* darkKey;     // the dark style's picture, or nullptr
};

extern const TGSettingsBackground kGnomeBackground;
extern const TGSettingsBackground kCinnamonBackground;
extern const TGSettingsBackground kMateBackground;

class TGSettingsWallpaper final : public IDesktopWallpaper {
 public:
  // Throws, naming the schema, when it is not installed.
  explicit TGSettingsWallpaper(const TGSettingsBackground& where);
  ~TGSettingsWallpaper() override;
  TGSettingsWallpaper(const TGSettingsWallpaper&) = delete;
  TGSettingsWallpaper& operator=(const TGSettingsWallpaper&) = delete;

  int MonitorCount() override { return static_cast<int>(FMonitors.size()); }
  std::string MonitorId(int index) override { return FMonitors.at(index); }
  std::string Wallpaper(const std::string& monitorId) override;
  std::string DarkWallpaper(const std::string& monitorId) override;
  TWallpaperPosition Position() override;
  void SetPosition(TWallpaperPosition position) override;
  void SetWallpaper(const std::string& monitorId, const std::string& path, const std::string& darkPath) override;

 private:
  bool ShowsPicture();
  std::string PictureFile(const char* key);
  std::string PictureValue(const std::string& path) const;
  void Write(const char* key, const std::string& value);
  void Commit();

  const TGSettingsBackground& FWhere;
  GSettings* FSettings = nullptr;
  bool FHasDarkKey = false;
  std::vector<std::string> FMonitors;
};
