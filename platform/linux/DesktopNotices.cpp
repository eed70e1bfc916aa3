#include "platform/linux/DesktopNotices.h"

#include <gio/gio.h>

#include <utility>

#include "shared/Diagnostics.h"

TDesktopNotices::TDesktopNotices(std::string appName) : FAppName(std::move(appName)) {}

void TDesktopNotices::Show(const std::string& title, const std::string& text) {
  LogDiagnostic("notice", title + ": " + text);
  GError* error = nullptr;
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (!bus) {
    LogDiagnostic("notice", std::string("no session bus: ") + (error ? error->message : "?"));
    g_clear_error(&error);
    return;
  }
  GVariantBuilder actions;
  g_variant_builder_init(&actions, G_VARIANT_TYPE("as"));
  GVariantBuilder hints;
  g_variant_builder_init(&hints, G_VARIANT_TYPE("a{sv}"));
  // The notification's id, no icon, and the server's own time-out (-1).
  g_dbus_connection_call(
      bus, "org.freedesktop.Notifications", "/org/freedesktop/Notifications", "org.freedesktop.Notifications",
      "Notify",
      g_variant_new("(susssasa{sv}i)", FAppName.c_str(), 0u, "", title.c_str(), text.c_str(), &actions, &hints, -1),
      G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr,
      [](GObject* source, GAsyncResult* result, gpointer) {
        GError* failure = nullptr;
        GVariant* answer = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &failure);
        if (answer) {
          g_variant_unref(answer);
        } else {
          LogDiagnostic("notice", std::string("not shown: ") + (failure ? failure->message : "?"));
          g_clear_error(&failure);
        }
      },
      nullptr);
  g_object_unref(bus);
}
