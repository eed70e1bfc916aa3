// The wallpaper of Xfce: the desktop keeps a picture and a style for each
// monitor and workspace in the xfconf channel "xfce4-desktop", reached over
// the session bus through the xfconf daemon.
#pragma once

#include <gio/gio.h>

#include <map>
#include <string>
#include <vector>

#include "platform/DesktopWallpaperSetting.h"
#include "platform/linux/XMonitors.h"

class TXfconfWallpaper final : public IDesktopWallpaper {
 public:
  // Throws when the daemon does not answer on the session bus or there is
  // no X display to name the monitors.
  TXfconfWallpaper();
  ~TXfconfWallpaper() override;
  TXfconfWallpaper(const TXfconfWallpaper&) = delete;
  TXfconfWallpaper& operator=(const TXfconfWallpaper&) = delete;

  int MonitorCount() override { return static_cast<int>(FMonitors.size()); }
  std::string MonitorId(int index) override { return FMonitors.at(index); }
  std::string Wallpaper(const std::string& monitorId) override;
  TWallpaperPosition Position() override;
  void SetPosition(TWallpaperPosition position) override;
  void SetWallpaper(const std::string& monitorId, const std::string& path, const std::string& darkPath) override;

 private:
  // "/backdrop/screen0/monitor<id>/workspace<n>/"
  std::string WorkspaceBase(const std::string& monitorId, int workspace) const;
  bool SingleWorkspaceMode() const;
  // The workspace whose picture the monitor shows: the one shared by all
  // workspaces in single-workspace mode (the desktop's default), else the first.
  int ShownWorkspace() const;
  // The workspaces a change must reach to show on every workspace.
  std::vector<int> WorkspacesToChange(const std::string& monitorId) const;
  int StyleOf(const std::string& monitorId) const;
  void ReadAll();
  void SetProperty(const std::string& property, GVariant* value);

  GDBusConnection* FBus = nullptr;
  std::vector<std::string> FMonitors;
  int FScreen = 0;
  int FDesktopCount = 1;
  std::map<std::string, GVariant*> FProperties;  // "/backdrop/..." → value (owned)
};
