// Helper program of the X11 desktop tests, so that the windows live in
// processes of their own that can be killed and restarted:
//   icons               a see-through icon layer, until killed
//   wallpaper STATEFILE attaches a wallpaper window, then hides and shows the
//                       icons over and over, so that a kill lands in every
//                       phase (writing the record, restacking, hidden)
//   recover STATEFILE   what the live wallpaper does first at start
#include <X11/Xlib.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "X11TestWindows.h"
#include "platform/linux/X11DesktopStack.h"
#include "wallpaper/DesktopAttach.h"
#include "wallpaper/IconVisibility.h"

namespace {

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

Display* Open() {
  Display* display = XOpenDisplay(nullptr);
  if (!display) std::fprintf(stderr, "cannot open display %s\n", XDisplayName(nullptr));
  return display;
}

int RunIcons() {
  Display* display = Open();
  if (!display) return 2;
  CreateIconLayerWindow(display);
  std::puts("icons: ready");
  std::fflush(stdout);
  for (;;) {
    XEvent event;
    XNextEvent(display, &event);
  }
}

int RunWallpaper(const std::string& statePath) {
  Display* display = Open();
  if (!display) return 2;
  const Window window = CreateWallpaperWindow(display);
  TX11DesktopStack stack;
  TDesktopAttach attach(stack, window, [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); });
  if (!attach.Attach()) return 3;
  TWallpaperStateFile stateFile(statePath);
  TIconVisibility icons(attach, stateFile);
  icons.SaveOriginal();
  for (;;) {
    if (!icons.SetVisible(false)) return 4;
    Sleep(60);
    attach.EnsureZOrder();
    if (!icons.SetVisible(true)) return 5;
    Sleep(15);
  }
}

int RunRecover(const std::string& statePath) {
  TNoWallpaperLayer layer;
  TWallpaperStateFile stateFile(statePath);
  TIconVisibility::RecoverPending(layer, stateFile);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "icons") return RunIcons();
  if (mode == "wallpaper" && argc > 2) return RunWallpaper(argv[2]);
  if (mode == "recover" && argc > 2) return RunRecover(argv[2]);
  std::fprintf(stderr, "usage: %s icons | wallpaper STATEFILE | recover STATEFILE\n", argv[0]);
  return 1;
}
