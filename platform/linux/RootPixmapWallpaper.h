// The wallpaper of an X session without a desktop of its own (a bare window
// manager, or a desktop with no wallpaper setting we know): the picture is
// drawn into a pixmap that becomes the root window's background, announced
// through the _XROOTPMAP_ID / ESETROOT_PMAP_ID properties that compositors,
// panels and terminals read.
//
// X keeps no file name with a pixmap, so the files are recorded beside it
// in the root window's _TESSARY_WALLPAPER property, together with the pixmap
// they belong to: once another program sets the background, the record no
// longer matches and the monitors show "no file".
#pragma once

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/DesktopWallpaperSetting.h"
#include "platform/linux/XMonitors.h"

// A width × height RGB picture of `picture` laid out as `position` puts it
// on a monitor of that size; uncovered parts are black. Span lays out like
// fill: the caller passes the area of all monitors.
GdkPixbuf* LayOutWallpaper(GdkPixbuf* picture, int width, int height, TWallpaperPosition position);

class TRootPixmapWallpaper final : public IDesktopWallpaper {
 public:
  // Throws when there is no X display.
  TRootPixmapWallpaper();
  ~TRootPixmapWallpaper() override = default;

  int MonitorCount() override { return static_cast<int>(FMonitors.size()); }
  std::string MonitorId(int index) override { return FMonitors.at(index).name; }
  std::string Wallpaper(const std::string& monitorId) override;
  TWallpaperPosition Position() override;
  // Takes effect with the next SetWallpaper: X keeps pixels, not a style.
  void SetPosition(TWallpaperPosition position) override { FPosition = position; }
  void SetWallpaper(const std::string& monitorId, const std::string& path, const std::string& darkPath) override;

 private:
  struct TRecord {
    TWallpaperPosition position = TWallpaperPosition::wpFill;
    std::map<std::string, std::string> files;  // monitor → picture
  };
  Pixmap RootPixmap(const char* property);
  // Our record, when it describes the background shown now.
  std::optional<TRecord> ReadRecord();
  void WriteRecord(Pixmap pixmap, const TRecord& record);
  void DrawPicture(Pixmap pixmap, GdkPixbuf* picture, const TXMonitor& area, TWallpaperPosition position);
  void ShowPixmap(Pixmap pixmap);

  TXDisplay FDisplay;
  std::vector<TXMonitor> FMonitors;
  TWallpaperPosition FPosition = TWallpaperPosition::wpFill;
  Pixmap FOwnPixmap = None;  // the last background this connection made
};
