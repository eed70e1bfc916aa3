// Program entry of TessaryLive on Linux: the one-shot options, a package
// opened from the desktop, one instance per session (the program's name on
// the session bus is the lock), the generator's messages, and the active
// hand-over played at start.
#include <glib-unix.h>
#include <glib.h>

#include <csignal>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "platform/linux/GDBusTransport.h"
#include "shared/Diagnostics.h"
#include "shared/WallpaperIpc.h"
#include "wallpaper/WallpaperApp.h"

namespace {

gboolean QuitLoop(gpointer loop) {
  g_main_loop_quit(static_cast<GMainLoop*>(loop));
  return G_SOURCE_REMOVE;
}

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

  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  TWallpaperApp app([loop] {
    // After the answer to the quit message has been sent.
    g_idle_add(QuitLoop, loop);
  });
  int exitCode = EXIT_SUCCESS;
  try {
    TWallpaperIpcServer server(transport, [&app](TIpcKind kind) { return app.HandleIpc(kind); });
    // Another instance owns the name: it is the one that runs, undisturbed.
    if (!server.Started()) {
      g_main_loop_unref(loop);
      return EXIT_SUCCESS;
    }
    // The session bus going away means the session is over.
    transport.SetOnClosed([loop] { g_main_loop_quit(loop); });
    g_unix_signal_add(SIGTERM, QuitLoop, loop);
    g_unix_signal_add(SIGINT, QuitLoop, loop);

    if (options.demo) {
      app.Start(DemoPlayData());
    } else if (app.LoadHandoff()) {
      app.StartLoaded();
    }
    g_main_loop_run(loop);
  } catch (const std::exception& e) {
    // Without the session bus the generator could neither find nor steer us,
    // and a second instance could not tell that we run.
    LogDiagnostic("ipc", std::string("cannot use the session bus: ") + e.what());
    exitCode = EXIT_FAILURE;
  }
  g_main_loop_unref(loop);
  return exitCode;
}
