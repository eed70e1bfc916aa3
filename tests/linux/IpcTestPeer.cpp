// Test-only stand-in for either program on the session bus:
//   tessary_ipc_test_peer --serve=live [--state=N] [--start=N]
//   tessary_ipc_test_peer --serve=maker
// Prints "ready" once it owns the name (or "taken" and exits with 3), then
// one line per message received: "state", "stop", "quit", "start", "show",
// "open <id>". Ends after "quit". A test hangs it with SIGSTOP.
#include <glib.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/linux/GDBusTransport.h"
#include "shared/WallpaperIpc.h"

namespace {

gboolean QuitLoop(gpointer loop) {
  g_main_loop_quit(static_cast<GMainLoop*>(loop));
  return G_SOURCE_REMOVE;
}

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

int Value(int argc, char** argv, const std::string& option, int fallback) {
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]).rfind(option, 0) == 0) return std::atoi(argv[i] + option.size());
  return fallback;
}

}  // namespace

int main(int argc, char** argv) {
  const bool live = argc > 1 && std::string(argv[1]) == "--serve=live";
  const int state = Value(argc, argv, "--state=", 1);
  const int start = Value(argc, argv, "--start=", 1);
  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  TGDBusTransport transport;
  std::unique_ptr<TWallpaperIpcServer> liveServer;
  std::unique_ptr<TMainIpcServer> mainServer;
  bool started = false;
  if (live) {
    const char* names[] = {"state", "stop", "quit", "start"};
    liveServer = std::make_unique<TWallpaperIpcServer>(transport, [&](TIpcKind kind) {
      Say(names[kind]);
      if (kind == ikQuit) g_idle_add(QuitLoop, loop);
      return kind == ikStateQuery ? state : kind == ikStart ? start : 0;
    });
    started = liveServer->Started();
  } else {
    mainServer = std::make_unique<TMainIpcServer>(
        transport, [] { Say("show"); }, [](const std::string& id) { Say("open " + id); });
    started = mainServer->Started();
  }
  if (!started) {
    Say("taken");
    return 3;
  }
  Say("ready");
  g_main_loop_run(loop);
  liveServer.reset();
  mainServer.reset();
  g_main_loop_unref(loop);
  return 0;
}
