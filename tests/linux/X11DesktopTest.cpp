// The desktop attachment on a real X server with real desktop pieces: the
// openbox window manager, the picom compositor, pcmanfm drawing a classic
// desktop with icons, and a see-through icon layer of our own helper
// program. Run under xvfb-run (see CMakeLists); pictures of each
// arrangement go to TESSARY_SHOTS_DIR for a person to look at.
// GoogleTest before Xlib, whose macros (None, Bool) would break its headers.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "X11TestWindows.h"
#include "platform/linux/X11DesktopStack.h"
#include "tests/linux/ChildProcess.h"
#include "wallpaper/DesktopAttach.h"
#include "wallpaper/DesktopTexts.h"
#include "wallpaper/IconVisibility.h"

namespace fs = std::filesystem;

namespace {

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Generous limits: they cost time only when something is wrong, and a busy
// machine can hold a starting program back for seconds.
constexpr int kStartMs = 15000;
constexpr int kSettleMs = 8000;

int RunCommand(const std::string& command) { return std::system(command.c_str()); }

class X11Desktop : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X server (run under xvfb-run)";
    FHostDisplay = std::getenv("DISPLAY");
    FHome = fs::temp_directory_path() / ("tessary-x11-" + std::to_string(::getpid()));
    fs::remove_all(FHome);
    fs::create_directories(FHome / "Desktop");
    for (const char* name : {"notes.txt", "photos.txt", "todo.txt"}) std::ofstream(FHome / "Desktop" / name) << name;
    fs::create_directories(FHome / ".config/pcmanfm/default");
    std::ofstream(FHome / ".config/pcmanfm/default/desktop-items-0.conf")
        << "[*]\nwallpaper_mode=color\ndesktop_bg=#2050a0\ndesktop_fg=#ffffff\ndesktop_shadow=#000000\n";
    ::setenv("HOME", FHome.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (FHome / ".config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (FHome / ".local/share").c_str(), 1);
    FShots = TESSARY_SHOTS_DIR;
    fs::create_directories(FShots);
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
    fs::remove_all(FHome, ignored);
  }

  void Connect() {
    errno = 0;
    FDisplay = XOpenDisplay(nullptr);
    ASSERT_NE(FDisplay, nullptr) << "cannot open " << std::getenv("DISPLAY") << ": " << std::strerror(errno);
    FStack = std::make_unique<TX11DesktopStack>();
    ASSERT_EQ(FStack->Session(), TSessionKind::skX11);
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
  fs::path FHome, FShots;
  std::string FHostDisplay;
  Display* FDisplay = nullptr;
  std::unique_ptr<TX11DesktopStack> FStack;
  std::vector<std::unique_ptr<TChildProcess>> FChildren;
  std::vector<std::string> FLog;
  Window FWallpaper = 0;
};

TLogProc Collect(std::vector<std::string>& lines) {
  return [&lines](const std::string& line) { lines.push_back(line); };
}

}  // namespace

TEST_F(X11Desktop, WithoutAWindowManagerTheWallpaperIsTheLowestWindow) {
  const Window normal = NormalWindow();
  FWallpaper = CreateWallpaperWindow(FDisplay);
  TDesktopAttach attach(*FStack, FWallpaper, Collect(FLog));
  ASSERT_TRUE(attach.Attach());
  EXPECT_EQ(attach.Structure(), TDesktopStructure::dsOwnDesktop);
  // Without a window manager the root's children are the windows themselves.
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  ASSERT_TRUE(XQueryTree(FDisplay, DefaultRootWindow(FDisplay), &root, &parent, &children, &count));
  std::vector<Window> order(children, children + count);
  XFree(children);
  const auto at = [&](Window w) { return std::find(order.begin(), order.end(), w) - order.begin(); };
  EXPECT_LT(at(FWallpaper), at(normal));
  EXPECT_TRUE(EventuallyShowsWallpaper(100, 700));
  EXPECT_TRUE(Shows(kNormalX, kNormalY, kGreen));
  attach.Detach();
  EXPECT_TRUE(WaitUntil([&] { return !ShowsWallpaper(100, 700); }, kSettleMs));
}

TEST_F(X11Desktop, UnderAWindowManagerWithoutDesktopTheWallpaperBecomesTheDesktop) {
  StartOpenbox();
  const Window normal = NormalWindow();
  FWallpaper = CreateWallpaperWindow(FDisplay);
  TDesktopAttach attach(*FStack, FWallpaper, Collect(FLog));
  ASSERT_TRUE(attach.Attach());
  EXPECT_EQ(attach.Structure(), TDesktopStructure::dsOwnDesktop);
  EXPECT_EQ(attach.IconLayer(), TIconLayer::ilNone);
  ASSERT_TRUE(WaitUntil([&] { return StackIndex(FWallpaper) == 0; }, kSettleMs));
  EXPECT_GT(StackIndex(normal), 0);
  EXPECT_TRUE(EventuallyShowsWallpaper(100, 700));
  EXPECT_TRUE(Shows(kNormalX, kNormalY, kGreen));
  Shot("own-desktop");

  // Raising the wallpaper as another program might: the window manager
  // keeps a desktop window below, and the order still verifies.
  XRaiseWindow(FDisplay, FWallpaper);
  XSync(FDisplay, False);
  Sleep(100);
  EXPECT_TRUE(attach.VerifyZOrder());
  EXPECT_TRUE(Shows(kNormalX, kNormalY, kGreen));

  attach.Detach();
  EXPECT_EQ(attach.State(), TAttachState::asDetached);
  EXPECT_TRUE(WaitUntil([&] { return StackIndex(FWallpaper) < 0; }, kSettleMs));
  // Its own role is back: no longer a desktop window.
  EXPECT_EQ(FStack->ReadRole(FWallpaper).types, std::vector<std::string>{});
}

TEST_F(X11Desktop, BehindASeeThroughIconLayerTheIconsShowAndCanBeHidden) {
  StartOpenbox();
  StartPicom();
  StartIcons();
  const Window icons = FirstDesktopWindow(true);
  const Window normal = NormalWindow();
  FWallpaper = CreateWallpaperWindow(FDisplay);
  TDesktopAttach attach(*FStack, FWallpaper, Collect(FLog));
  ASSERT_TRUE(attach.Attach());
  EXPECT_EQ(attach.Structure(), TDesktopStructure::dsBelowIcons);
  EXPECT_EQ(attach.IconLayer(), TIconLayer::ilTransparent);
  ASSERT_TRUE(WaitUntil([&] { return StackIndex(FWallpaper) >= 0; }, kSettleMs));
  EXPECT_LT(StackIndex(FWallpaper), StackIndex(icons));
  EXPECT_LT(StackIndex(icons), StackIndex(normal));
  EXPECT_TRUE(EventuallyShows(IconCentre(1), IconCentre(2), kIconYellow));
  EXPECT_TRUE(EventuallyShowsWallpaper(IconCentre(1) + 50, IconCentre(2)));  // between the icons
  EXPECT_TRUE(Shows(kNormalX, kNormalY, kGreen));
  Shot("below-icons");

  const TWallpaperStateFile stateFile(TWallpaperStateFile::PathUnder((FHome / ".local/share").string()));
  TIconVisibility visibility(attach, stateFile);
  visibility.SaveOriginal();
  ASSERT_TRUE(visibility.SetVisible(false));
  EXPECT_TRUE(fs::exists(stateFile.Path()));
  EXPECT_GT(StackIndex(FWallpaper), StackIndex(icons));
  EXPECT_LT(StackIndex(FWallpaper), StackIndex(normal));
  EXPECT_TRUE(EventuallyShowsWallpaper(IconCentre(1), IconCentre(2)));
  EXPECT_TRUE(Shows(kNormalX, kNormalY, kGreen));
  Shot("icons-hidden");
  ASSERT_TRUE(visibility.SetVisible(true));
  EXPECT_FALSE(fs::exists(stateFile.Path()));
  EXPECT_TRUE(EventuallyShows(IconCentre(1), IconCentre(2), kIconYellow));
}

TEST_F(X11Desktop, TheWallpaperFollowsTheIconProgramThroughARestart) {
  StartOpenbox();
  StartPicom();
  TChildProcess& icons = StartIcons();
  FWallpaper = CreateWallpaperWindow(FDisplay);
  TDesktopAttach attach(*FStack, FWallpaper, Collect(FLog));
  ASSERT_TRUE(attach.Attach());

  Kill(icons);
  EXPECT_TRUE(WaitUntil([&] { return !attach.VerifyZOrder(); }, kSettleMs));
  EXPECT_TRUE(WatchdogSettles(attach));
  EXPECT_EQ(attach.Structure(), TDesktopStructure::dsOwnDesktop);
  EXPECT_TRUE(EventuallyShowsWallpaper(IconCentre(1), IconCentre(2)));

  StartIcons();
  const Window restarted = FirstDesktopWindow(true);
  EXPECT_TRUE(WatchdogSettles(attach));
  EXPECT_EQ(attach.Structure(), TDesktopStructure::dsBelowIcons);
  EXPECT_LT(StackIndex(FWallpaper), StackIndex(restarted));
  EXPECT_TRUE(EventuallyShows(IconCentre(1), IconCentre(2), kIconYellow));
  EXPECT_TRUE(EventuallyShowsWallpaper(IconCentre(1) + 50, IconCentre(2)));
  Shot("icons-restarted");
}

TEST_F(X11Desktop, OverAClassicDesktopProgramTheWallpaperCoversItsBackground) {
  StartOpenbox();
  StartPicom();
  TChildProcess& pcmanfm = StartPcmanfm();
  const Window desktop = FirstDesktopWindow(false);
  const Window normal = NormalWindow();
  EXPECT_TRUE(EventuallyShows(640, 700, kDesktopBlue));
  Shot("classic-desktop-before");
  FWallpaper = CreateWallpaperWindow(FDisplay);
  TDesktopAttach attach(*FStack, FWallpaper, Collect(FLog));
  ASSERT_TRUE(attach.Attach());
  EXPECT_EQ(attach.Structure(), TDesktopStructure::dsAboveOpaque);
  EXPECT_EQ(attach.IconLayer(), TIconLayer::ilOpaque);
  EXPECT_FALSE(IconToggleReason(attach.IconLayer(), false).empty());
  EXPECT_FALSE(attach.CoverIcons(true));
  EXPECT_LT(StackIndex(desktop), StackIndex(FWallpaper));
  EXPECT_LT(StackIndex(FWallpaper), StackIndex(normal));
  EXPECT_TRUE(EventuallyShowsWallpaper(640, 700));
  EXPECT_TRUE(Shows(kNormalX, kNormalY, kGreen));
  Shot("above-classic-desktop");

  // The desktop program quits, then starts again with a new window on top
  // of ours: the watchdog finds the wallpaper its place each time.
  Kill(pcmanfm);
  EXPECT_TRUE(WatchdogSettles(attach));
  EXPECT_EQ(attach.Structure(), TDesktopStructure::dsOwnDesktop);
  StartPcmanfm();
  EXPECT_TRUE(WatchdogSettles(attach));
  EXPECT_EQ(attach.Structure(), TDesktopStructure::dsAboveOpaque);
  EXPECT_TRUE(EventuallyShowsWallpaper(640, 700));
  EXPECT_TRUE(Shows(kNormalX, kNormalY, kGreen));
  Shot("classic-desktop-restarted");
}

// With the icons hidden, kill the live wallpaper at random moments: its
// window goes with it, so the icons are back at once, and the next start
// removes the recovery record.
TEST_F(X11Desktop, AKilledWallpaperNeverLeavesTheIconsHidden) {
  StartOpenbox();
  StartPicom();
  StartIcons();
  const std::string statePath = TWallpaperStateFile::PathUnder((FHome / ".local/share").string());
  std::mt19937 random(20260808);
  std::uniform_int_distribution<int> moment(50, 900);
  int killedWithRecord = 0, killedHidden = 0;
  for (int round = 0; round < 20; ++round) {
    TChildProcess& wallpaper = Start({TESSARY_TEST_WINDOW, "wallpaper", statePath});
    Sleep(moment(random));
    killedHidden += ShowsWallpaper(IconCentre(1), IconCentre(2));
    Kill(wallpaper);
    killedWithRecord += fs::exists(statePath);
    EXPECT_TRUE(EventuallyShows(IconCentre(1), IconCentre(2), kIconYellow)) << "round " << round;
    EXPECT_EQ(DesktopWindows(false), 0) << "round " << round;  // no wallpaper window left
    ASSERT_EQ(RunCommand(std::string(TESSARY_TEST_WINDOW) + " recover '" + statePath + "'"), 0);
    // Neither the record nor a temporary sibling of it is left.
    std::error_code noFolder;
    const auto left = fs::directory_iterator(fs::path(statePath).parent_path(), noFolder);
    EXPECT_EQ(std::distance(fs::begin(left), fs::end(left)), 0) << "round " << round;
    FChildren.pop_back();
  }
  std::printf("20 kills: %d with the icons hidden on screen, %d with a recovery record left\n", killedHidden,
              killedWithRecord);
  EXPECT_GT(killedWithRecord, 0);
  EXPECT_GT(killedHidden, 0);
}

TEST_F(X11Desktop, AWaylandSessionIsRefusedAtOnceWithAMessage) {
  ::setenv("WAYLAND_DISPLAY", "wayland-0", 1);
  TX11DesktopStack wayland;
  ::unsetenv("WAYLAND_DISPLAY");
  EXPECT_EQ(wayland.Session(), TSessionKind::skWayland);
  FWallpaper = CreateWallpaperWindow(FDisplay);
  TDesktopAttach attach(wayland, FWallpaper, Collect(FLog));
  const auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(attach.Attach());
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(100));
  EXPECT_EQ(attach.Failure(), TAttachFailure::afNoX11Session);
  EXPECT_EQ(FLog.size(), 1u);
  EXPECT_NE(AttachFailureText(attach.Failure(), false).find("X11"), std::string::npos);
  EXPECT_NE(AttachFailureText(attach.Failure(), true).find("X11"), std::string::npos);
}

// The program's window is a GTK window: attached by its X window id, hidden
// and shown again by GTK while paused, and put back in place by the repair.
TEST_F(X11Desktop, AGtkWindowKeepsItsPlaceThroughHideAndShow) {
  ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
  const auto pumpUntil = [](const std::function<bool()>& condition) {
    return WaitUntil([&] {
      while (gtk_events_pending()) gtk_main_iteration();
      return condition();
    }, kSettleMs);
  };
  StartOpenbox();
  StartPicom();
  StartIcons();
  const Window icons = FirstDesktopWindow(true);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_decorated(GTK_WINDOW(window), FALSE);
  gtk_window_set_default_size(GTK_WINDOW(window), 640, 400);
  GtkCssProvider* css = gtk_css_provider_new();
  gtk_css_provider_load_from_data(css, "window { background-color: #ff00ff; }", -1, nullptr);
  gtk_style_context_add_provider(gtk_widget_get_style_context(window), GTK_STYLE_PROVIDER(css),
                                 GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(css);
  gtk_widget_show_all(window);
  ASSERT_TRUE(pumpUntil([&] { return gtk_widget_get_mapped(window); }));
  FWallpaper = gdk_x11_window_get_xid(gtk_widget_get_window(window));
  TDesktopAttach attach(*FStack, FWallpaper, Collect(FLog));
  ASSERT_TRUE(attach.Attach());
  const int betweenX = IconCentre(1) + 50, betweenY = IconCentre(2);
  EXPECT_TRUE(pumpUntil([&] { return ShowsWallpaper(betweenX, betweenY); }));
  EXPECT_TRUE(Shows(IconCentre(1), IconCentre(2), kIconYellow));

  gtk_widget_hide(window);
  ASSERT_TRUE(pumpUntil([&] { return !gtk_widget_get_mapped(window); }));
  EXPECT_TRUE(attach.VerifyZOrder());  // hidden: nothing to keep in place
  gtk_widget_show(window);
  gdk_display_flush(gdk_display_get_default());
  EXPECT_TRUE(attach.EnsureShownInPlace());
  EXPECT_LT(StackIndex(FWallpaper), StackIndex(icons));
  EXPECT_TRUE(pumpUntil([&] { return Shows(IconCentre(1), IconCentre(2), kIconYellow); }));
  EXPECT_TRUE(pumpUntil([&] { return ShowsWallpaper(betweenX, betweenY); }));  // once GTK has painted
  Shot("gtk-window-below-icons");

  attach.Detach();
  gtk_widget_destroy(window);
  pumpUntil([] { return true; });
}

// Xvfb keeps one screen size, so the change of monitors is played on a
// nested Xephyr, whose screen RandR can resize.
TEST_F(X11Desktop, TheWallpaperFollowsAScreenSizeChange) {
  TChildProcess& xephyr =
      Start({"/usr/bin/Xephyr", "-displayfd", "1", "-screen", "1280x800", "-resizeable", "-no-host-grab"});
  const std::optional<std::string> number = xephyr.ReadLine(kStartMs);
  ASSERT_TRUE(number);
  const std::string nested = ":" + *number;
  ::setenv("DISPLAY", nested.c_str(), 1);  // put back by TearDown
  XCloseDisplay(FDisplay);
  Connect();
  StartOpenbox();
  FWallpaper = CreateWallpaperWindow(FDisplay);
  TDesktopAttach attach(*FStack, FWallpaper, Collect(FLog));
  ASSERT_TRUE(attach.Attach());

  ASSERT_EQ(RunCommand("xrandr -s 1600x1200"), 0);
  EXPECT_TRUE(WaitUntil([&] { return !attach.VerifyZOrder(); }, kSettleMs));
  EXPECT_TRUE(attach.EnsureZOrder());
  EXPECT_TRUE(EventuallyShowsWallpaper(1590, 1190));
  Shot("randr-1600x1200");
  ASSERT_EQ(RunCommand("xrandr -s 1024x768"), 0);
  EXPECT_TRUE(WatchdogSettles(attach));
  XWindowAttributes attributes;
  ASSERT_TRUE(XGetWindowAttributes(FDisplay, FWallpaper, &attributes));
  EXPECT_EQ(attributes.width, 1024);
  EXPECT_EQ(attributes.height, 768);
}
