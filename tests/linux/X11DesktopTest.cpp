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

#include "X11DesktopFixture.h"
#include "X11TestWindows.h"
#include "platform/linux/X11DesktopStack.h"
#include "tests/linux/ChildProcess.h"
#include "wallpaper/DesktopAttach.h"
#include "wallpaper/DesktopTexts.h"
#include "wallpaper/IconVisibility.h"

namespace fs = std::filesystem;

namespace {

class X11Desktop : public TX11DesktopFixture {};

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
  ASSERT_NO_FATAL_FAILURE(MoveToResizableScreen());
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
