// A desktop wallpaper setting in memory, for the still-wallpaper tests.
#pragma once

#include <algorithm>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/DesktopWallpaperSetting.h"

// What a fake desktop shows; it outlives the objects opened on it, as a
// real desktop's setting outlives a command.
struct TFakeDesktopState {
  struct TMonitor {
    std::string id;
    std::string wallpaper;
    std::string dark;
  };
  std::vector<TMonitor> monitors;
  std::optional<TWallpaperPosition> position = TWallpaperPosition::wpStretch;
  std::string openError;          // Open() throws this when not empty
  std::string setError;           // SetWallpaper throws this when not empty
  std::vector<std::string> failingMonitors;  // SetWallpaper throws for these ids
  std::vector<std::string> calls;

  TMonitor* Find(const std::string& id) {
    for (TMonitor& monitor : monitors) {
      if (monitor.id == id) return &monitor;
    }
    throw std::runtime_error("no monitor " + id);
  }
};

class TFakeDesktop : public IDesktopWallpaper {
 public:
  explicit TFakeDesktop(TFakeDesktopState& state) : S(state) {}
  int MonitorCount() override { return static_cast<int>(S.monitors.size()); }
  std::string MonitorId(int index) override { return S.monitors.at(index).id; }
  std::string Wallpaper(const std::string& id) override { return S.Find(id)->wallpaper; }
  std::string DarkWallpaper(const std::string& id) override { return S.Find(id)->dark; }
  TWallpaperPosition Position() override {
    if (!S.position) throw std::runtime_error("no picture shown");
    return *S.position;
  }
  void SetPosition(TWallpaperPosition position) override {
    S.calls.push_back("position " + std::to_string(static_cast<int>(position)));
    S.position = position;
  }
  void SetWallpaper(const std::string& id, const std::string& path, const std::string& dark) override {
    S.calls.push_back("set " + id + " " + path + (dark.empty() ? "" : " dark " + dark));
    if (!S.setError.empty()) throw std::runtime_error(S.setError);
    for (TFakeDesktopState::TMonitor& monitor : S.monitors) {
      if (!id.empty() && monitor.id != id) continue;
      if (std::find(S.failingMonitors.begin(), S.failingMonitors.end(), monitor.id) != S.failingMonitors.end())
        throw std::runtime_error("monitor " + monitor.id + " refused");
      monitor.wallpaper = path;
      monitor.dark = dark == path ? "" : dark;
    }
  }

 private:
  TFakeDesktopState& S;
};

class TFakeDesktopProvider : public IDesktopWallpaperProvider {
 public:
  explicit TFakeDesktopProvider(TFakeDesktopState& state) : S(state) {}
  std::unique_ptr<IDesktopWallpaper> Open() override {
    if (!S.openError.empty()) throw std::runtime_error(S.openError);
    return std::make_unique<TFakeDesktop>(S);
  }

 private:
  TFakeDesktopState& S;
};
