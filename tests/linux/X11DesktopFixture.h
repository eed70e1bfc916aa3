// The fixture of the tests against a real X server with real desktop
// pieces (openbox, picom, pcmanfm, the see-through icon layer of our helper
// program): a private home with desktop files and pcmanfm settings, the
// programs started and ended per test, readings of the stacking order from
// the attachment's side and the window manager's, screen pixels and
// pictures of the screen for a person to look at (TESSARY_SHOTS_DIR).
// GoogleTest before Xlib, whose macros (None, Bool) would break its headers.
#pragma once

#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "X11TestWindows.h"
#include "platform/linux/X11DesktopStack.h"
#include "tests/linux/ChildProcess.h"
#include "wallpaper/DesktopAttach.h"

inline void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Generous limits: they cost time only when something is wrong, and a busy
// machine can hold a starting program back for seconds.
constexpr int kStartMs = 15000;
constexpr int kSettleMs = 8000;

inline int RunCommand(const std::string& command) { return std::system(command.c_str()); }

class TX11DesktopFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X server (run under xvfb-run)";
    FHostDisplay = std::getenv("DISPLAY");
    FHome = std::filesystem::temp_directory_path() / ("tessary-x11-" + std::to_string(::getpid()));
    std::filesystem::remove_all(FHome);
    std::filesystem::create_directories(FHome / "Desktop");
    for (const char* name : {"notes.txt", "photos.txt", "todo.txt"}) std::ofstream(FHome / "Desktop" / name) << name;
    std::filesystem::create_directories(FHome / ".config/pcmanfm/default");
    std::ofstream(FHome / ".config/pcmanfm/default/desktop-items-0.conf")
        << "[*]\nwallpaper_mode=color\ndesktop_bg=#2050a0\ndesktop_fg=#ffffff\ndesktop_shadow=#000000\n";
    ::setenv("HOME", FHome.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (FHome / ".config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (FHome / ".local/share").c_str(), 1);
    FShots = TESSARY_SHOTS_DIR;
    std::filesystem::create_directories(FShots);
    ASSERT_NO_FATAL_FAILURE(Connect());
  }

  void TearDown() override {
    if (HasFailure()) {
      for (const std::string& line : FLog) std::printf("%s\n", line.c_str());
      std::printf("%s", DumpStack().c_str());
    }
    if (FDisplay) XCloseDisplay(FDisplay);
    FStack.reset();
    while (!FChildren.empty()) FChildren.pop_back();  // the desktop pieces before the window manager
    if (!FHostDisplay.empty()) ::setenv("DISPLAY", FHostDisplay.c_str(), 1);
    std::error_code ignored;
    std::filesystem::remove_all(FHome, ignored);
  }

  void Connect() {
    errno = 0;
    FDisplay = XOpenDisplay(nullptr);
    ASSERT_NE(FDisplay, nullptr) << "cannot open " << std::getenv("DISPLAY") << ": " << std::strerror(errno);
    FStack = std::make_unique<TX11DesktopStack>();
    ASSERT_EQ(FStack->Session(), TSessionKind::skX11);
  }

  // Xvfb keeps one screen size: the rest of the test runs on a nested
  // Xephyr of 1280 × 800, whose screen RandR ("xrandr -s") can resize.
  void MoveToResizableScreen() {
    TChildProcess& xephyr =
        Start({"/usr/bin/Xephyr", "-displayfd", "1", "-screen", "1280x800", "-resizeable", "-no-host-grab"});
    const std::optional<std::string> number = xephyr.ReadLine(kStartMs);
    ASSERT_TRUE(number);
    const std::string nested = ":" + *number;
    ::setenv("DISPLAY", nested.c_str(), 1);  // put back by TearDown
    XCloseDisplay(FDisplay);
    ASSERT_NO_FATAL_FAILURE(Connect());
  }

  TChildProcess& Start(const std::vector<std::string>& argv) {
    FChildren.push_back(std::make_unique<TChildProcess>(argv));
    return *FChildren.back();
  }
  static void Kill(TChildProcess& child) {
    child.Signal(SIGKILL);
    child.Wait(5000);
  }
  // Openbox claims the screen before it has finished starting, and a window
  // mapped in between can wait until some later event wakes it. So while
  // the tests wait for the window manager, they touch a root property now
  // and then, as any busy desktop would.
  bool WaitForWindowManager(const std::function<bool()>& condition) {
    const Atom nudge = XInternAtom(FDisplay, "_TESSARY_TEST_NUDGE", False);
    const long value = 1;
    return WaitUntil([&] {
      XChangeProperty(FDisplay, DefaultRootWindow(FDisplay), nudge, XA_CARDINAL, 32, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(&value), 1);
      XSync(FDisplay, False);
      return condition();
    }, kStartMs);
  }
  void StartOpenbox() {
    Start({"/usr/bin/openbox", "--sm-disable"});
    ASSERT_TRUE(WaitUntil([&] { return FStack->Query().windowManager; }, kStartMs));
  }
  void StartPicom() {
    Start({"/usr/bin/picom", "--backend", "xrender", "--no-fading-openclose"});
    ASSERT_TRUE(WaitUntil([&] { return FStack->Query().compositor; }, kStartMs));
  }
  TChildProcess& StartIcons() {
    TChildProcess& child = Start({TESSARY_TEST_WINDOW, "icons"});
    EXPECT_TRUE(WaitForWindowManager([&] { return DesktopWindows(true) == 1; })) << DumpStack();
    return child;
  }
  TChildProcess& StartPcmanfm() {
    TChildProcess& child = Start({"/usr/bin/pcmanfm", "--desktop"});
    EXPECT_TRUE(WaitForWindowManager([&] { return DesktopWindows(false) >= 1; })) << DumpStack();
    Sleep(500);  // its icons are drawn a moment after the window
    return child;
  }

  // The mapped windows as the attachment reads them, bottom to top.
  std::string DumpStack() {
    std::string text;
    if (!FStack) return text;
    for (const TStackedWindow& w : FStack->Query().windows) {
      if (!w.mapped && !w.desktopType && w.geometry.width < 100) continue;
      char line[160];
      std::snprintf(line, sizeof line, "  %lx mapped=%d desktop=%d alpha=%d or=%d %dx%d+%d+%d%s\n",
                    static_cast<unsigned long>(w.id), w.mapped, w.desktopType, w.alphaVisual, w.overrideRedirect,
                    w.geometry.width, w.geometry.height, w.geometry.x, w.geometry.y,
                    w.id == FWallpaper ? " (wallpaper)" : "");
      text += line;
    }
    return text;
  }

  int DesktopWindows(bool alpha) {
    int count = 0;
    for (const TStackedWindow& window : FStack->Query().windows) {
      count += window.mapped && window.desktopType && window.alphaVisual == alpha && window.id != FWallpaper;
    }
    return count;
  }

  // The window manager's own record of the stacking order, bottom to top:
  // a reading independent of the attachment's.
  std::vector<Window> ManagedStack() {
    std::vector<Window> windows;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(FDisplay, DefaultRootWindow(FDisplay),
                           XInternAtom(FDisplay, "_NET_CLIENT_LIST_STACKING", False), 0, 1024, False, XA_WINDOW,
                           &type, &format, &count, &after, &data) == Success &&
        data) {
      const auto* ids = reinterpret_cast<const unsigned long*>(data);
      windows.assign(ids, ids + count);
    }
    if (data) XFree(data);
    return windows;
  }
  int StackIndex(Window window) {
    const std::vector<Window> stack = ManagedStack();
    for (std::size_t i = 0; i < stack.size(); ++i) {
      if (stack[i] == window) return static_cast<int>(i);
    }
    return -1;
  }
  Window FirstDesktopWindow(bool alpha) {
    for (const TStackedWindow& window : FStack->Query().windows) {
      if (window.mapped && window.desktopType && window.alphaVisual == alpha && window.id != FWallpaper)
        return window.id;
    }
    return 0;
  }

  void Shot(const std::string& name) {
    XSync(FDisplay, False);
    Sleep(150);  // the compositor paints on its own time
    RunCommand("import -window root '" + (FShots / (name + ".png")).string() + "'");
  }

  // What the controller's watchdog does: repair in place, else attach anew.
  bool WatchdogSettles(TDesktopAttach& attach) {
    return WaitUntil([&] {
      if (!attach.EnsureZOrder()) attach.AttachOnce();
      return attach.VerifyZOrder();
    }, kSettleMs);
  }

  Window NormalWindow() { return CreatePlainWindow(FDisplay, 700, 300, 400, 300, kGreen); }
  bool ShowsWallpaper(int x, int y) { return IsWallpaperColour(ScreenPixel(FDisplay, x, y)); }
  bool Shows(int x, int y, std::uint32_t rgb) { return SameColour(ScreenPixel(FDisplay, x, y), rgb); }
  bool EventuallyShows(int x, int y, std::uint32_t rgb) {
    return WaitUntil([&] { return Shows(x, y, rgb); }, kSettleMs);
  }
  bool EventuallyShowsWallpaper(int x, int y) {
    return WaitUntil([&] { return ShowsWallpaper(x, y); }, kSettleMs);
  }

  static constexpr std::uint32_t kGreen = 0x30C030;
  static constexpr std::uint32_t kDesktopBlue = 0x2050A0;
  static constexpr int kNormalX = 900, kNormalY = 450;  // inside the normal window
  std::filesystem::path FHome, FShots;
  std::string FHostDisplay;
  Display* FDisplay = nullptr;
  std::unique_ptr<TX11DesktopStack> FStack;
  std::vector<std::unique_ptr<TChildProcess>> FChildren;
  std::vector<std::string> FLog;
  Window FWallpaper = 0;
};

inline TLogProc Collect(std::vector<std::string>& lines) {
  return [&lines](const std::string& line) { lines.push_back(line); };
}

