#include "platform/linux/SessionWatch.h"

#include <gio/gunixfdlist.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "shared/Diagnostics.h"

namespace {

constexpr const char* kLogind = "org.freedesktop.login1";
constexpr const char* kLogindPath = "/org/freedesktop/login1";
constexpr const char* kLogindManager = "org.freedesktop.login1.Manager";
constexpr const char* kLogindSession = "org.freedesktop.login1.Session";
constexpr const char* kUPower = "org.freedesktop.UPower";
constexpr const char* kUPowerPath = "/org/freedesktop/UPower";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";
// Answers on the window's thread must come quickly or not at all.
constexpr int kCallTimeoutMs = 500;

const char* const kScreenSavers[] = {"org.freedesktop.ScreenSaver", "org.gnome.ScreenSaver", "org.mate.ScreenSaver",
                                     "org.cinnamon.ScreenSaver"};

GVariant* CallSync(GDBusConnection* bus, const char* name, const char* path, const char* iface, const char* method,
                   GVariant* args, const char* replyType) {
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_sync(bus, name, path, iface, method, args,
                                                replyType ? G_VARIANT_TYPE(replyType) : nullptr,
                                                G_DBUS_CALL_FLAGS_NO_AUTO_START, kCallTimeoutMs, nullptr, &error);
  if (error) g_error_free(error);
  return reply;
}

std::optional<bool> BoolProperty(GDBusConnection* bus, const char* name, const char* path, const char* iface,
                                 const char* property) {
  GVariant* reply = CallSync(bus, name, path, kProperties, "Get", g_variant_new("(ss)", iface, property), "(v)");
  if (!reply) return std::nullopt;
  GVariant* value = nullptr;
  g_variant_get(reply, "(v)", &value);
  std::optional<bool> result;
  if (g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN)) result = g_variant_get_boolean(value);
  g_variant_unref(value);
  g_variant_unref(reply);
  return result;
}

}  // namespace

TSessionWatch::TSessionWatch(ISessionEvents& events) : FEvents(events) {
  GError* error = nullptr;
  FSystem = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, &error);
  // Without a system bus (a container, say) there are no lock, sleep or
  // battery events: nothing is wrong with the desktop, so nothing is said.
  if (!FSystem) g_clear_error(&error);
  FSession = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (!FSession) g_clear_error(&error);
  if (FSystem) {
    WatchLogind();
    WatchPower();
  }
  if (FSession) WatchScreenSaver();
}

TSessionWatch::~TSessionWatch() {
  for (const auto& [bus, id] : FSubscriptions) g_dbus_connection_signal_unsubscribe(bus, id);
  if (FReleaseSource) g_source_remove(FReleaseSource);
  ReleaseSleepInhibitor();
  if (FSystem) g_object_unref(FSystem);
  if (FSession) g_object_unref(FSession);
}

void TSessionWatch::WatchLogind() {
  // Our own session: the one the session manager named, else the one this
  // process belongs to.
  GVariant* reply = nullptr;
  if (const char* id = std::getenv("XDG_SESSION_ID"); id && *id) {
    reply = CallSync(FSystem, kLogind, kLogindPath, kLogindManager, "GetSession", g_variant_new("(s)", id), "(o)");
  } else {
    reply = CallSync(FSystem, kLogind, kLogindPath, kLogindManager, "GetSessionByPID",
                     g_variant_new("(u)", static_cast<guint32>(getpid())), "(o)");
  }
  if (reply) {
    const char* path = nullptr;
    g_variant_get(reply, "(&o)", &path);
    FSessionPath = path;
    g_variant_unref(reply);
    FSubscriptions.emplace_back(
        FSystem, g_dbus_connection_signal_subscribe(FSystem, kLogind, kLogindSession, nullptr, FSessionPath.c_str(),
                                                    nullptr, G_DBUS_SIGNAL_FLAGS_NONE, OnSignal, this, nullptr));
    FSubscriptions.emplace_back(
        FSystem, g_dbus_connection_signal_subscribe(FSystem, kLogind, kProperties, "PropertiesChanged",
                                                    FSessionPath.c_str(), kLogindSession, G_DBUS_SIGNAL_FLAGS_NONE,
                                                    OnSignal, this, nullptr));
    SetLocked(BoolProperty(FSystem, kLogind, FSessionPath.c_str(), kLogindSession, "LockedHint").value_or(false),
              FSaverActive);
  } else {
    LogDiagnostic("pause", "no logind session found: locking is seen through the screen saver only");
  }
  FSubscriptions.emplace_back(
      FSystem, g_dbus_connection_signal_subscribe(FSystem, kLogind, kLogindManager, "PrepareForSleep", kLogindPath,
                                                  nullptr, G_DBUS_SIGNAL_FLAGS_NONE, OnSignal, this, nullptr));
  TakeSleepInhibitor();
}

void TSessionWatch::WatchScreenSaver() {
  // Every desktop's screen saver says the same thing under its own name.
  FSubscriptions.emplace_back(
      FSession, g_dbus_connection_signal_subscribe(FSession, nullptr, nullptr, "ActiveChanged", nullptr, nullptr,
                                                   G_DBUS_SIGNAL_FLAGS_NONE, OnSignal, this, nullptr));
}

void TSessionWatch::WatchPower() {
  FSubscriptions.emplace_back(
      FSystem, g_dbus_connection_signal_subscribe(FSystem, kUPower, kProperties, "PropertiesChanged", kUPowerPath,
                                                  kUPower, G_DBUS_SIGNAL_FLAGS_NONE, OnSignal, this, nullptr));
  ReadPowerSource();
  // UPower coming or going changes the answer too.
  FSubscriptions.emplace_back(
      FSystem, g_dbus_connection_signal_subscribe(FSystem, "org.freedesktop.DBus", "org.freedesktop.DBus",
                                                  "NameOwnerChanged", "/org/freedesktop/DBus", kUPower,
                                                  G_DBUS_SIGNAL_FLAGS_NONE, OnSignal, this, nullptr));
}

void TSessionWatch::ReadPowerSource() {
  FOnBattery = FSystem ? BoolProperty(FSystem, kUPower, kUPowerPath, kUPower, "OnBattery") : std::nullopt;
}

void TSessionWatch::PowerSourceChanged() {
  ReadPowerSource();
  FEvents.OnPowerSourceChanged();
}

void TSessionWatch::TakeSleepInhibitor() {
  if (FInhibitor >= 0 || !FSystem) return;
  GError* error = nullptr;
  GUnixFDList* fds = nullptr;
  GVariant* reply = g_dbus_connection_call_with_unix_fd_list_sync(
      FSystem, kLogind, kLogindPath, kLogindManager, "Inhibit",
      g_variant_new("(ssss)", "sleep", "TessaryLive", "Pausing the live wallpaper", "delay"), G_VARIANT_TYPE("(h)"),
      G_DBUS_CALL_FLAGS_NO_AUTO_START, kCallTimeoutMs, nullptr, &fds, nullptr, &error);
  if (!reply) {
    g_clear_error(&error);
    return;
  }
  gint32 index = -1;
  g_variant_get(reply, "(h)", &index);
  if (fds && index >= 0 && index < g_unix_fd_list_get_length(fds)) FInhibitor = g_unix_fd_list_get(fds, index, nullptr);
  if (fds) g_object_unref(fds);
  g_variant_unref(reply);
}

void TSessionWatch::ReleaseSleepInhibitor() {
  if (FInhibitor >= 0) close(FInhibitor);
  FInhibitor = -1;
}

void TSessionWatch::SetLocked(bool logind, bool saver) {
  FLogindLocked = logind;
  FSaverActive = saver;
  if (Locked() == FReportedLocked) return;
  FReportedLocked = Locked();
  FEvents.OnSessionLocked(FReportedLocked);
}

void TSessionWatch::OnSignal(GDBusConnection*, const char*, const char*, const char* iface, const char* member,
                             GVariant* parameters, gpointer data) {
  auto* self = static_cast<TSessionWatch*>(data);
  if (std::strcmp(member, "Lock") == 0 && std::strcmp(iface, kLogindSession) == 0) {
    self->SetLocked(true, self->FSaverActive);
  } else if (std::strcmp(member, "Unlock") == 0 && std::strcmp(iface, kLogindSession) == 0) {
    self->SetLocked(false, self->FSaverActive);
  } else if (std::strcmp(member, "ActiveChanged") == 0) {
    bool known = false;
    for (const char* saver : kScreenSavers) known = known || std::strcmp(iface, saver) == 0;
    if (known && g_variant_is_of_type(parameters, G_VARIANT_TYPE("(b)"))) {
      gboolean active = FALSE;
      g_variant_get(parameters, "(b)", &active);
      self->SetLocked(self->FLogindLocked, active);
    }
  } else if (std::strcmp(member, "PrepareForSleep") == 0 && g_variant_is_of_type(parameters, G_VARIANT_TYPE("(b)"))) {
    gboolean sleeping = FALSE;
    g_variant_get(parameters, "(b)", &sleeping);
    self->FEvents.OnSystemSleeping(sleeping);
    if (sleeping) {
      // The sleep waits for the inhibitor: let it go once the wallpaper rests.
      if (self->FReleaseSource) g_source_remove(self->FReleaseSource);
      self->FReleaseSource = g_timeout_add(
          kSleepReleaseDelayMs,
          [](gpointer data) -> gboolean {
            auto* watch = static_cast<TSessionWatch*>(data);
            watch->FReleaseSource = 0;
            watch->ReleaseSleepInhibitor();
            return G_SOURCE_REMOVE;
          },
          self);
    } else {
      self->TakeSleepInhibitor();
    }
  } else if (std::strcmp(member, "PropertiesChanged") == 0 &&
             g_variant_is_of_type(parameters, G_VARIANT_TYPE("(sa{sv}as)"))) {
    const char* changedIface = nullptr;
    GVariant* changed = nullptr;
    g_variant_get(parameters, "(&s@a{sv}@as)", &changedIface, &changed, nullptr);
    gboolean value = FALSE;
    if (std::strcmp(changedIface, kLogindSession) == 0 && g_variant_lookup(changed, "LockedHint", "b", &value)) {
      self->SetLocked(value, self->FSaverActive);
    } else if (std::strcmp(changedIface, kUPower) == 0) {
      self->PowerSourceChanged();
    }
    g_variant_unref(changed);
  } else if (std::strcmp(member, "NameOwnerChanged") == 0) {
    self->PowerSourceChanged();
  }
}
