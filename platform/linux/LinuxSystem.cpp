#include "platform/linux/LinuxSystem.h"

#include <fontconfig/fontconfig.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <memory>
#include <set>

#include "platform/linux/ProgramDir.h"
#include "platform/linux/VideoRemux.h"
#include "platform/linux/XdgAutostart.h"

std::string TLinuxSystem::KnownFolder(TKnownFolder folder) {
  switch (folder) {
    case TKnownFolder::kfRoamingAppData:
      return g_get_user_config_dir();
    case TKnownFolder::kfLocalAppData:
      return g_get_user_data_dir();
    case TKnownFolder::kfPictures: {
      const char* pictures = g_get_user_special_dir(G_USER_DIRECTORY_PICTURES);
      if (pictures && *pictures) return pictures;
      return std::string(g_get_home_dir()) + "/Pictures";
    }
    case TKnownFolder::kfTemp:
      return g_get_tmp_dir();
  }
  return g_get_tmp_dir();
}

std::string TLinuxSystem::ProgramDir() { return OwnProgramDir(); }

bool TLinuxSystem::SetStartAtSignIn(bool enable) {
  return SetXdgAutostart(g_get_user_config_dir(), OwnProgramDir() + "/TessaryMaker", enable);
}

bool TLinuxSystem::UiLanguageIsJapanese() {
  // The first entry is the user's interface language ("ja_JP.UTF-8", "ja", ...).
  const gchar* const* names = g_get_language_names();
  return names && names[0] && g_str_has_prefix(names[0], "ja") &&
         (names[0][2] == '\0' || names[0][2] == '_' || names[0][2] == '.' || names[0][2] == '@');
}

std::vector<std::string> TLinuxSystem::FontFamilies() {
  std::unique_ptr<FcPattern, void (*)(FcPattern*)> pattern(FcPatternCreate(), FcPatternDestroy);
  std::unique_ptr<FcObjectSet, void (*)(FcObjectSet*)> objects(FcObjectSetBuild(FC_FAMILY, nullptr),
                                                               FcObjectSetDestroy);
  std::unique_ptr<FcFontSet, void (*)(FcFontSet*)> fonts(FcFontList(nullptr, pattern.get(), objects.get()),
                                                         FcFontSetDestroy);
  std::set<std::string> families;
  for (int i = 0; fonts && i < fonts->nfont; ++i) {
    FcChar8* family = nullptr;
    if (FcPatternGetString(fonts->fonts[i], FC_FAMILY, 0, &family) == FcResultMatch && family)
      families.insert(reinterpret_cast<const char*>(family));
  }
  return {families.begin(), families.end()};
}

namespace {

GdkMonitor* PrimaryMonitor() {
  GdkDisplay* display = gdk_display_get_default();
  if (!display) return nullptr;
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (!monitor && gdk_display_get_n_monitors(display) > 0) monitor = gdk_display_get_monitor(display, 0);
  return monitor;
}

}  // namespace

TScreenSize TLinuxSystem::PrimaryScreenSize() {
  GdkMonitor* monitor = PrimaryMonitor();
  if (!monitor) return {};
  GdkRectangle area{};
  gdk_monitor_get_geometry(monitor, &area);
  // Device pixels: the wallpaper and the outputs are made for the real screen.
  const int scale = gdk_monitor_get_scale_factor(monitor);
  return {area.width * scale, area.height * scale};
}

std::optional<TWorkRows> TLinuxSystem::PrimaryWorkRows() {
  GdkMonitor* monitor = PrimaryMonitor();
  if (!monitor) return std::nullopt;
  GdkRectangle screen{};
  GdkRectangle work{};
  gdk_monitor_get_geometry(monitor, &screen);
  // The desktop's panels as the window manager announces them; without one,
  // the whole monitor.
  gdk_monitor_get_workarea(monitor, &work);
  const int scale = gdk_monitor_get_scale_factor(monitor);
  return TWorkRows{(work.y - screen.y) * scale, (work.y + work.height - screen.y) * scale};
}

std::vector<std::uint8_t> TLinuxSystem::FinishRecordedVideo(const std::string& format, std::vector<std::uint8_t> bytes) {
  return format == "mp4" ? FinishRecordedMp4(std::move(bytes)) : bytes;
}
