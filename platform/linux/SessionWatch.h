// The session and power events of the live wallpaper on Linux, over D-Bus:
// logind's Lock and Unlock signals and LockedHint on the system bus, the
// screen savers' ActiveChanged on the session bus, logind's PrepareForSleep
// (holding a delay inhibitor until the wallpaper has paused), and UPower's
// OnBattery. Each missing service only takes its own events away. Runs on
// the default main context (the window's thread).
#pragma once

#include <gio/gio.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/PauseSources.h"

// How long after telling the program about a coming sleep the inhibitor is
// let go: the wallpaper hides at once and rests its browser a moment later.
inline constexpr int kSleepReleaseDelayMs = 400;

class TSessionWatch {
 public:
  explicit TSessionWatch(ISessionEvents& events);
  ~TSessionWatch();
  TSessionWatch(const TSessionWatch&) = delete;
  TSessionWatch& operator=(const TSessionWatch&) = delete;

  // True on battery, false on mains; empty without an answer from UPower.
  // Read when UPower says it changed, so that polling it costs nothing.
  std::optional<bool> OnBattery() const { return FOnBattery; }
  bool Locked() const { return FLogindLocked || FSaverActive; }

 private:
  void WatchLogind();
  void WatchScreenSaver();
  void WatchPower();
  void ReadPowerSource();
  void PowerSourceChanged();
  void TakeSleepInhibitor();
  void ReleaseSleepInhibitor();
  void SetLocked(bool logind, bool saver);
  static void OnSignal(GDBusConnection*, const char* sender, const char* path, const char* iface,
                       const char* member, GVariant* parameters, gpointer self);

  ISessionEvents& FEvents;
  GDBusConnection* FSystem = nullptr;
  GDBusConnection* FSession = nullptr;
  std::string FSessionPath;
  std::vector<std::pair<GDBusConnection*, guint>> FSubscriptions;
  std::optional<bool> FOnBattery;
  int FInhibitor = -1;
  guint FReleaseSource = 0;
  bool FLogindLocked = false;
  bool FSaverActive = false;
  bool FReportedLocked = false;
};
