#include "platform/linux/GSettingsWallpaper.h"

#include <memory>
#include <stdexcept>

#include "platform/linux/XMonitors.h"

const TGSettingsBackground kGnomeBackground{"GNOME", "org.gnome.desktop.background", "picture-uri", true,
                                            "picture-uri-dark"};
const TGSettingsBackground kCinnamonBackground{"Cinnamon", "org.cinnamon.desktop.background", "picture-uri", true,
                                               nullptr};
const TGSettingsBackground kMateBackground{"MATE", "org.mate.background", "picture-filename", false, nullptr};

namespace {

constexpr const char* kOptionsKey = "picture-options";

// The three schemas share these names for the ways a picture is scaled;
// "none" (GNOME, Cinnamon) shows the background colour alone.
struct TOptionName {
  TWallpaperPosition position;
  const char* nick;
};
constexpr TOptionName kOptionNames[] = {
    {TWallpaperPosition::wpCenter, "centered"}, {TWallpaperPosition::wpTile, "wallpaper"},
    {TWallpaperPosition::wpStretch, "stretched"}, {TWallpaperPosition::wpFit, "scaled"},
    {TWallpaperPosition::wpFill, "zoom"},       {TWallpaperPosition::wpSpan, "spanned"},
};

std::string TakeString(gchar* text) {
  std::string value = text ? text : "";
  g_free(text);
  return value;
}

// The monitors by their RandR names. Without an X display (a Wayland-only
// session) the one setting still serves the screen: one monitor, unnamed.
std::vector<std::string> MonitorNames() {
  std::vector<std::string> names;
  try {
    const TXDisplay display;
    for (const TXMonitor& monitor : ListXMonitors(display)) names.push_back(monitor.name);
  } catch (const std::exception&) {
    names.push_back("");
  }
  return names;
}

}  // namespace

TGSettingsWallpaper::TGSettingsWallpaper(const TGSettingsBackground& where) : FWhere(where) {
  GSettingsSchemaSource* source = g_settings_schema_source_get_default();
  GSettingsSchema* schema = source ? g_settings_schema_source_lookup(source, where.schema, TRUE) : nullptr;
  if (!schema || !g_settings_schema_has_key(schema, where.pictureKey) || !g_settings_schema_has_key(schema, kOptionsKey)) {
    if (schema) g_settings_schema_unref(schema);
    throw std::runtime_error(std::string("the ") + where.desktop + " background settings (" + where.schema +
                             ") are not installed");
  }
  FHasDarkKey = where.darkKey && g_settings_schema_has_key(schema, where.darkKey);
  FSettings = g_settings_new_full(schema, nullptr, nullptr);
  g_settings_schema_unref(schema);
  FMonitors = MonitorNames();
}

TGSettingsWallpaper::~TGSettingsWallpaper() { g_object_unref(FSettings); }

bool TGSettingsWallpaper::ShowsPicture() {
  return TakeString(g_settings_get_string(FSettings, kOptionsKey)) != "none";
}

// The key's picture as a path; "" when it is empty or not a local file.
std::string TGSettingsWallpaper::PictureFile(const char* key) {
  const std::string value = TakeString(g_settings_get_string(FSettings, key));
  if (value.empty()) return {};
  if (!FWhere.pictureIsUri) return value;
  return TakeString(g_filename_from_uri(value.c_str(), nullptr, nullptr));
}

std::string TGSettingsWallpaper::PictureValue(const std::string& path) const {
  if (!FWhere.pictureIsUri) return path;
  GError* error = nullptr;
  gchar* uri = g_filename_to_uri(path.c_str(), nullptr, &error);
  if (!uri) {
    const std::string message = error ? error->message : "not a full path";
    g_clear_error(&error);
    throw std::runtime_error(path + ": " + message);
  }
  return TakeString(uri);
}

std::string TGSettingsWallpaper::Wallpaper(const std::string&) {
  return ShowsPicture() ? PictureFile(FWhere.pictureKey) : std::string();
}

std::string TGSettingsWallpaper::DarkWallpaper(const std::string& monitorId) {
  if (!FHasDarkKey || !ShowsPicture()) return {};
  const std::string dark = PictureFile(FWhere.darkKey);
  return dark == Wallpaper(monitorId) ? std::string() : dark;
}

TWallpaperPosition TGSettingsWallpaper::Position() {
  const std::string nick = TakeString(g_settings_get_string(FSettings, kOptionsKey));
  for (const TOptionName& name : kOptionNames) {
    if (nick == name.nick) return name.position;
  }
  throw std::runtime_error(std::string(FWhere.desktop) + " shows no picture (" + kOptionsKey + " is " + nick + ")");
}

void TGSettingsWallpaper::SetPosition(TWallpaperPosition position) {
  for (const TOptionName& name : kOptionNames) {
    if (name.position == position) Write(kOptionsKey, name.nick);
  }
  Commit();
}

void TGSettingsWallpaper::SetWallpaper(const std::string&, const std::string& path, const std::string& darkPath) {
  // Both styles change in one step, so the desktop never shows a mix.
  g_settings_delay(FSettings);
  try {
    Write(FWhere.pictureKey, PictureValue(path));
    if (FHasDarkKey) Write(FWhere.darkKey, PictureValue(darkPath.empty() ? path : darkPath));
  } catch (const std::exception&) {
    g_settings_revert(FSettings);
    throw;
  }
  g_settings_apply(FSettings);
  Commit();
}

void TGSettingsWallpaper::Write(const char* key, const std::string& value) {
  if (!g_settings_set_string(FSettings, key, value.c_str())) {
    throw std::runtime_error(std::string("the setting ") + FWhere.schema + " " + key + " cannot be changed");
  }
}

// The desktop reads the stored value; wait until it is written.
void TGSettingsWallpaper::Commit() { g_settings_sync(); }
