#include "platform/linux/LinuxDesktopWallpaper.h"

#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "platform/linux/GSettingsWallpaper.h"
#include "platform/linux/RootPixmapWallpaper.h"
#include "platform/linux/XfconfWallpaper.h"
#include "shared/TextUtil.h"

namespace {

std::vector<std::string> DesktopNames(const std::string& currentDesktop) {
  std::vector<std::string> names;
  std::istringstream in(currentDesktop);
  for (std::string name; std::getline(in, name, ':');) {
    if (!name.empty()) names.push_back(ToUpperAscii(name));
  }
  return names;
}

bool Names(const std::vector<std::string>& names, std::initializer_list<const char*> wanted) {
  for (const std::string& name : names) {
    for (const char* one : wanted) {
      if (name == one) return true;
    }
  }
  return false;
}

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

std::unique_ptr<IDesktopWallpaper> OpenDesktopWallpaper(const std::string& currentDesktop,
                                                        const std::string& sessionType) {
  const std::vector<std::string> names = DesktopNames(currentDesktop);
  // Checked in this order: Cinnamon and MATE sessions may name GNOME too.
  if (Names(names, {"X-CINNAMON", "CINNAMON"})) return std::make_unique<TGSettingsWallpaper>(kCinnamonBackground);
  if (Names(names, {"MATE"})) return std::make_unique<TGSettingsWallpaper>(kMateBackground);
  if (Names(names, {"XFCE"})) return std::make_unique<TXfconfWallpaper>();
  if (Names(names, {"GNOME", "GNOME-FLASHBACK", "GNOME-CLASSIC", "UNITY", "BUDGIE", "PANTHEON"}))
    return std::make_unique<TGSettingsWallpaper>(kGnomeBackground);
  const std::string shown = currentDesktop.empty() ? "this desktop" : currentDesktop;
  if (Names(names, {"KDE"})) throw std::runtime_error("setting the wallpaper of KDE Plasma is not supported");
  // On Wayland the root window of the X compatibility server is never seen.
  if (sessionType == "wayland") {
    throw std::runtime_error("the wallpaper of " + shown + " on Wayland cannot be set: it has no wallpaper setting Tessary knows");
  }
  return std::make_unique<TRootPixmapWallpaper>();
}

std::unique_ptr<IDesktopWallpaper> TLinuxDesktopWallpaperProvider::Open() {
  return OpenDesktopWallpaper(Env("XDG_CURRENT_DESKTOP"), Env("XDG_SESSION_TYPE"));
}
