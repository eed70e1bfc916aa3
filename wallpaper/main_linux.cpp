// Program entry of TessaryLive on Linux: the one-shot options, a package
// opened from the desktop, one instance per session (the program's name on
// the session bus is the lock), the wallpaper window behind the desktop
// icons with its controller and tray icon, the generator's messages, and the
// active hand-over played at start.
#include <glib-unix.h>
#include <gtk/gtk.h>

#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/DesktopNotices.h"
#include "platform/linux/GDBusTransport.h"
#include "platform/linux/GlibMainLoop.h"
#include "platform/linux/GtkBrowserWindow.h"
#include "platform/linux/LinuxSystem.h"
#include "platform/linux/SessionWatch.h"
#include "platform/linux/TrayIndicator.h"
#include "platform/linux/X11DesktopStack.h"
#include "platform/linux/X11ScreenUse.h"
#include "shared/AlbumStore.h"
#include "shared/HostBridge.h"
#include "shared/WallpaperIpc.h"
#include "wallpaper/IconVisibility.h"
#include "wallpaper/WallpaperApp.h"
#include "wallpaper/WallpaperController.h"
#include "wallpaper/WallpaperForm.h"
#include "wallpaper/WallpaperState.h"

namespace {

constexpr const char* kTitleJa = "テッサリー ライブ壁紙";

void LogLine(const std::string& line) {
  std::fprintf(stderr, "TessaryLive %s\n", line.c_str());
  std::fflush(stderr);
}

gboolean QuitMain(gpointer) {
  if (gtk_main_level() > 0) gtk_main_quit();
  return G_SOURCE_REMOVE;
}

// Scripts and benchmarks pause the wallpaper with signals: SIGUSR1 switches
// the user's pause (the last frame stays), SIGUSR2 stands for a locked
// session (hidden, the browser at rest).
gboolean ToggleUserPause(gpointer controller) {
  static_cast<TWallpaperController*>(controller)->ToggleUserPause();
  return G_SOURCE_CONTINUE;
}
gboolean ToggleAutomaticPause(gpointer controller) {
  auto* c = static_cast<TWallpaperController*>(controller);
  c->OnSessionLocked(!HasReason(c->PauseReasons(), prLocked));
  return G_SOURCE_CONTINUE;
}

// The program file's last change, "mm-dd hh:nn" in local time.
std::string BuildStamp() {
  struct stat info {};
  if (stat("/proc/self/exe", &info) != 0) return {};
  std::tm local{};
  if (!localtime_r(&info.st_mtime, &local)) return {};
  char text[16] = "";
  std::strftime(text, sizeof text, "%m-%d %H:%M", &local);
  return text;
}

// The "Open from a file (*.kiro)…" dialog; empty when cancelled.
std::optional<std::string> ChoosePackage(const std::string& title, const std::string& typeName) {
  GtkFileChooserNative* chooser =
      gtk_file_chooser_native_new(title.c_str(), nullptr, GTK_FILE_CHOOSER_ACTION_OPEN, nullptr, nullptr);
  GtkFileFilter* filter = gtk_file_filter_new();
  gtk_file_filter_set_name(filter, (typeName + " (*.kiro)").c_str());
  gtk_file_filter_add_pattern(filter, "*.kiro");
  gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), filter);
  std::optional<std::string> path;
  if (gtk_native_dialog_run(GTK_NATIVE_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
    if (gchar* file = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser))) {
      path = file;
      g_free(file);
    }
  }
  g_object_unref(chooser);
  return path;
}

void Warn(const std::string& title, const std::string& text) {
  GtkWidget* box = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_WARNING, GTK_BUTTONS_OK, "%s",
                                          text.c_str());
  gtk_window_set_title(GTK_WINDOW(box), title.c_str());
  gtk_dialog_run(GTK_DIALOG(box));
  gtk_widget_destroy(box);
}

std::int64_t SteadyMs() { return g_get_monotonic_time() / 1000; }

// The screen from X, the power source from UPower.
class TLinuxPauseProbe final : public IPauseProbe {
 public:
  TScreenUse ScreenUse() override { return FScreen.Read(); }
  std::optional<bool> OnBattery() override { return FWatch ? FWatch->OnBattery() : std::nullopt; }
  void SetWatch(TSessionWatch* watch) { FWatch = watch; }

 private:
  TX11ScreenUse FScreen;
  TSessionWatch* FWatch = nullptr;
};

// The tray's events, passed on to the controller once it exists.
class TTrayEventsRelay final : public ITrayEvents {
 public:
  void OnTrayCommand(int id) override {
    if (FTo) FTo->OnTrayCommand(id);
  }
  void OnTrayActivate() override {
    if (FTo) FTo->OnTrayActivate();
  }
  void OnTrayReappeared() override {
    if (FTo) FTo->OnTrayReappeared();
  }
  void SetTarget(ITrayEvents* to) { FTo = to; }

 private:
  ITrayEvents* FTo = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const TLiveOptions options = ParseLiveOptions(args);
  g_set_prgname("TessaryLive");

  TGDBusTransport transport;
  if (options.oneShot != loNone) return RunLiveOneShot(options, transport);
  if (!options.package.empty()) {
    const TPackageOpening opened = OpenPackageArgument(options.package, transport);
    if (opened == poFailed) return EXIT_FAILURE;
    if (opened == poHandedToRunning) return EXIT_SUCCESS;
  }

  // Another instance runs: it is the one that stays, undisturbed (the name
  // is taken for good further down, once we can answer).
  if (transport.NameHasOwner(LiveIpcService().busName)) return EXIT_SUCCESS;

  TLinuxSystem system;
  g_set_application_name(system.UiLanguageIsJapanese() ? kTitleJa : kWallpaperWindowTitle);
  if (!gtk_init_check(&argc, &argv)) {
    LogLine("[startup] no display to show the live wallpaper on");
    return EXIT_FAILURE;
  }

  TGlibMainLoop loop;
  TX11DesktopStack stack;
  TDesktopNotices notices("TessaryLive");
  // Declared before the form, which hides and detaches it as it goes.
  TGtkBrowserWindow window;
  TFormWallpaper form(window, stack, loop, LogLine);
  TWindowOptions windowOptions;
  windowOptions.kind = TWindowKind::wkDesktopBackdrop;
  // The wallpaper's own browser profile, never shared with the generator's.
  const std::string profile =
      THostBridge::UserDataDir(system.KnownFolder(TKnownFolder::kfRoamingAppData)) + "/wallpaper";
  window.Open(form, windowOptions, {profile, "TessaryLive", false});

  const TWallpaperStateFile stateFile(TWallpaperStateFile::PathUnder(system.KnownFolder(TKnownFolder::kfLocalAppData)));
  TLinuxPauseProbe probe;
  TTrayEventsRelay trayEvents;
  TTrayIndicator tray(trayEvents, "tessary-live", "image-x-generic");
  TWallpaperController controller(form, loop, probe, tray, stateFile, SteadyMs, LogLine);
  trayEvents.SetTarget(&controller);
  TSessionWatch sessionWatch(controller);
  probe.SetWatch(&sessionWatch);

  TLiveAppEnv env;
  env.exit = [] { g_idle_add(QuitMain, nullptr); };  // after the answer to the quit message has gone
  env.tell = [&](const std::string& text) {
    notices.Show(controller.UiJapanese() ? kTitleJa : kWallpaperWindowTitle, text);
  };
  env.buildStamp = BuildStamp();
  env.picks = [] { return TAlbumStore(AlbumStoreRoot()).WallpaperPicks(); };
  env.choosePackage = ChoosePackage;
  env.warn = Warn;
  TWallpaperApp wallpaper(controller, form, transport, env, system.UiLanguageIsJapanese());

  // The name is taken only now that every message can be answered at once:
  // the generator sends its start as soon as it sees the name.
  std::unique_ptr<TWallpaperIpcServer> server;
  try {
    server = std::make_unique<TWallpaperIpcServer>(transport,
                                                   [&wallpaper](TIpcKind kind) { return wallpaper.HandleIpc(kind); });
    // The session bus going away means the session is over.
    transport.SetOnClosed([] { QuitMain(nullptr); });
  } catch (const std::exception& e) {
    // Without the session bus the generator could neither find nor steer us,
    // and a second instance could not tell that we run.
    LogLine(std::string("[ipc] cannot use the session bus: ") + e.what());
    return EXIT_FAILURE;
  }
  // Started meanwhile after all: the other one stays, its icons and tray untouched.
  if (!server->Started()) return EXIT_SUCCESS;
  // Icons an earlier run left hidden come back before anything else (no
  // message is handled before the main loop runs).
  {
    TNoWallpaperLayer noWallpaper;
    TIconVisibility::RecoverPending(noWallpaper, stateFile);
  }
  tray.Release();
  g_unix_signal_add(SIGTERM, QuitMain, nullptr);
  g_unix_signal_add(SIGINT, QuitMain, nullptr);
  g_unix_signal_add(SIGUSR1, ToggleUserPause, &controller);
  g_unix_signal_add(SIGUSR2, ToggleAutomaticPause, &controller);

  // Played from the main loop: messages that came meanwhile are answered
  // first, and none waits while the window is being attached.
  struct TFirstStart {
    TWallpaperApp& app;
    bool demo;
  } first{wallpaper, options.demo};
  g_idle_add(
      [](gpointer data) -> gboolean {
        const auto* start = static_cast<TFirstStart*>(data);
        if (start->demo) {
          start->app.Start(DemoPlayData());
        } else if (start->app.LoadHandoff()) {
          start->app.StartLoaded();
        }
        return G_SOURCE_REMOVE;
      },
      &first);
  gtk_main();
  controller.Stop();
  controller.RemoveTrayIcon();
  return EXIT_SUCCESS;
}
