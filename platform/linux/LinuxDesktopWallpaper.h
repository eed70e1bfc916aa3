// Chooses how this session keeps its wallpaper, from the desktop it names in
// XDG_CURRENT_DESKTOP: GSettings for GNOME and its family, Cinnamon and MATE;
// xfconf for Xfce; the X root window for any other X11 session.
#pragma once

#include <memory>
#include <string>

#include "platform/DesktopWallpaperSetting.h"

// `currentDesktop`: the ":"-separated names of XDG_CURRENT_DESKTOP;
// `sessionType`: XDG_SESSION_TYPE ("x11", "wayland", or "").
std::unique_ptr<IDesktopWallpaper> OpenDesktopWallpaper(const std::string& currentDesktop,
                                                        const std::string& sessionType);

class TLinuxDesktopWallpaperProvider final : public IDesktopWallpaperProvider {
 public:
  // Reads the environment at each call: the desktop is asked afresh for
  // every command.
  std::unique_ptr<IDesktopWallpaper> Open() override;
};
