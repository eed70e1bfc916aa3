#include "wallpaper/DesktopAttach.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "FakeDesktopStack.h"

namespace {

constexpr TNativeWindow kWallpaper = 0x100;
constexpr TNativeWindow kTerminal = 0x200;
constexpr TNativeWindow kIcons = 0x400;
constexpr TNativeWindow kOpaque = 0x500;
constexpr TNativeWindow kRestarted = 0x501;

using TStructure = TDesktopStructure;

class DesktopAttachTest : public ::testing::Test {
 protected:
  TFakeDesktopStack FStack;
  std::vector<std::string> FLines;
  TDesktopAttach FAttach{FStack, kWallpaper, [this](const std::string& line) { FLines.push_back(line); }};

  // The wallpaper window as the program shows it before attaching: an
  // ordinary window on top, smaller than the screen.
  void AddWallpaperWindow() {
    TStackedWindow window = TFakeDesktopStack::Normal(kWallpaper);
    window.geometry = {0, 0, 800, 600};
    FStack.Add(window);
  }
  int Count(const std::string& text) const {
    return static_cast<int>(std::count_if(FLines.begin(), FLines.end(), [&](const std::string& line) {
      return line.find(text) != std::string::npos;
    }));
  }
};

}  // namespace

TEST_F(DesktopAttachTest, AttachesInEachArrangement) {
  const struct {
    const char* name;
    bool icons, opaque;
    TStructure structure;
    std::vector<TNativeWindow> order;  // bottom to top after attaching
    TIconLayer layer;
  } cases[] = {
      {"no desktop window", false, false, TStructure::dsOwnDesktop, {kWallpaper, kTerminal}, TIconLayer::ilNone},
      {"see-through icon layer", true, false, TStructure::dsBelowIcons, {kWallpaper, kIcons, kTerminal},
       TIconLayer::ilTransparent},
      {"opaque desktop", false, true, TStructure::dsAboveOpaque, {kOpaque, kWallpaper, kTerminal},
       TIconLayer::ilOpaque},
  };
  for (const auto& c : cases) {
    TFakeDesktopStack stack;
    if (c.opaque) stack.Add(stack.DesktopWindow(kOpaque, false));
    if (c.icons) stack.Add(stack.DesktopWindow(kIcons, true));
    stack.Add(TFakeDesktopStack::Normal(kTerminal));
    stack.Add(TFakeDesktopStack::Normal(kWallpaper));
    std::vector<std::string> lines;
    TDesktopAttach attach(stack, kWallpaper, [&](const std::string& line) { lines.push_back(line); });

    EXPECT_TRUE(attach.Attach()) << c.name;
    EXPECT_EQ(attach.State(), TAttachState::asAttached) << c.name;
    EXPECT_EQ(attach.Structure(), c.structure) << c.name;
    EXPECT_EQ(attach.IconLayer(), c.layer) << c.name;
    EXPECT_EQ(stack.Order(), c.order) << c.name;
    EXPECT_TRUE(stack.Find(kWallpaper)->desktopType) << c.name;
    EXPECT_EQ(stack.Find(kWallpaper)->geometry, stack.desktop.screen) << c.name;
    EXPECT_TRUE(attach.VerifyZOrder()) << c.name;
    ASSERT_EQ(lines.size(), 2u) << c.name;
    const std::string head =
        "[DesktopAttach] attach-once structure=" + std::to_string(static_cast<int>(c.structure)) + " ";
    EXPECT_EQ(lines[0].rfind(head, 0), 0u) << lines[0];
    EXPECT_EQ(lines[1], "[DesktopAttach] attached OK");
  }
}

TEST_F(DesktopAttachTest, TheAttemptLineNamesTheWindowsItFound) {
  FStack.Add(FStack.DesktopWindow(kIcons, true));
  AddWallpaperWindow();
  ASSERT_TRUE(FAttach.Attach());
  EXPECT_EQ(FLines[0], "[DesktopAttach] attach-once structure=2 icons=400 opaque=0 desktops=1 compositor=1");
}

TEST_F(DesktopAttachTest, AnUnreadableDesktopFailsThreeTimesQuietlyThenOnce) {
  AddWallpaperWindow();
  FStack.desktop.ok = false;
  EXPECT_FALSE(FAttach.Attach());
  EXPECT_EQ(FAttach.State(), TAttachState::asFailed);
  EXPECT_EQ(FAttach.Failure(), TAttachFailure::afUnsupported);
  EXPECT_EQ(FStack.desktopRequests, 3);
  EXPECT_EQ(Count("attach FAILED (unknown structure) — feature should be disabled"), 1);
  EXPECT_EQ(Count("attach-once structure=0"), 3);
  // Each attempt lets the desktop settle for 100 ms; the failures wait 100, 500, 2000 ms.
  EXPECT_EQ(FStack.waits, (std::vector<int>{100, 100, 100, 500, 100, 2000}));
  // The failed attach is undone: hidden, its role put back.
  EXPECT_FALSE(FStack.Find(kWallpaper)->mapped);
  ASSERT_EQ(FStack.restoredRoles.size(), 1u);
  EXPECT_EQ(FStack.restoredRoles[0].types, std::vector<std::string>{"normal"});
  // Detach after a failure keeps the failure.
  FAttach.Detach();
  EXPECT_EQ(FAttach.State(), TAttachState::asFailed);
}

TEST_F(DesktopAttachTest, AWaylandSessionFailsAtOnceWithoutTouchingTheWindow) {
  AddWallpaperWindow();
  FStack.session = TSessionKind::skWayland;
  EXPECT_FALSE(FAttach.Attach());
  EXPECT_EQ(FAttach.State(), TAttachState::asFailed);
  EXPECT_EQ(FAttach.Failure(), TAttachFailure::afNoX11Session);
  EXPECT_EQ(FLines, (std::vector<std::string>{
                        "[DesktopAttach] attach FAILED (Wayland session) — live wallpaper needs an X11 session"}));
  EXPECT_TRUE(FStack.waits.empty());
  EXPECT_EQ(FStack.desktopRequests, 0);
  EXPECT_FALSE(FAttach.AttachOnce());
}

TEST_F(DesktopAttachTest, ASlowWindowManagerIsWaitedForAndASilentOneLogged) {
  FStack.Add(FStack.DesktopWindow(kOpaque, false));
  FStack.Add(TFakeDesktopStack::Normal(kTerminal));
  AddWallpaperWindow();
  FStack.delayRequests = true;
  FStack.windowManagerAnswers = false;
  EXPECT_TRUE(FAttach.Attach());
  EXPECT_EQ(Count("window manager did not take the desktop window within 1000 ms"), 1);
  EXPECT_EQ(FStack.Order(), (std::vector<TNativeWindow>{kOpaque, kWallpaper, kTerminal}));
}

TEST_F(DesktopAttachTest, AnOrderThatNeverTakesEffectFailsVerification) {
  FStack.Add(TFakeDesktopStack::Normal(kTerminal));
  AddWallpaperWindow();
  FStack.ignoreRestack = true;
  EXPECT_FALSE(FAttach.Attach());
  EXPECT_EQ(Count("verify failed after place"), 3);
  EXPECT_EQ(FAttach.State(), TAttachState::asFailed);

  TFakeDesktopStack refusing;
  refusing.Add(refusing.DesktopWindow(kOpaque, false));
  refusing.Add(TFakeDesktopStack::Normal(kWallpaper));
  refusing.refuseRestack = true;
  std::vector<std::string> lines;
  TDesktopAttach attach(refusing, kWallpaper, [&](const std::string& line) { lines.push_back(line); });
  EXPECT_FALSE(attach.AttachOnce());
  EXPECT_EQ(lines.back(), "[DesktopAttach] restack above 500 failed");
  EXPECT_EQ(attach.State(), TAttachState::asDetached);
}

TEST_F(DesktopAttachTest, AWindowThatNeverComesOnScreenIsNotAttached) {
  FStack.Add(TFakeDesktopStack::Normal(kTerminal));
  AddWallpaperWindow();
  FStack.Hide(kWallpaper);
  FStack.windowManagerShows = false;
  EXPECT_FALSE(FAttach.AttachOnce());
  EXPECT_EQ(FLines.back(), "[DesktopAttach] verify failed after place");
  // Once shown it attaches; hidden again later (a pause), it still verifies.
  FStack.windowManagerShows = true;
  ASSERT_TRUE(FAttach.AttachOnce());
  FStack.Hide(kWallpaper);
  EXPECT_TRUE(FAttach.VerifyZOrder());
  // Out of the listing while the window manager takes its frame down: hidden too.
  FStack.Remove(kWallpaper);
  FStack.framed.push_back(kWallpaper);
  EXPECT_TRUE(FAttach.VerifyZOrder());
  FStack.framed.clear();  // destroyed
  EXPECT_FALSE(FAttach.VerifyZOrder());
}

TEST_F(DesktopAttachTest, ASecondAttachWhileTheFirstWaitsReturnsAtOnce) {
  AddWallpaperWindow();
  FStack.desktop.ok = false;
  int nestedCalls = 0;
  FStack.onWait = [&](int) {
    ++nestedCalls;
    EXPECT_FALSE(FAttach.Attach());
    EXPECT_FALSE(FAttach.AttachOnce());
  };
  EXPECT_FALSE(FAttach.Attach());
  EXPECT_GT(nestedCalls, 0);
  EXPECT_EQ(Count("attach FAILED"), 1);
}

TEST_F(DesktopAttachTest, AWindowStackedBelowIsRepairedOnceInPlace) {
  FStack.Add(FStack.DesktopWindow(kIcons, true));
  FStack.Add(TFakeDesktopStack::Normal(kTerminal));
  AddWallpaperWindow();
  ASSERT_TRUE(FAttach.Attach());
  FLines.clear();
  // Another program lowers a window under the wallpaper.
  ASSERT_TRUE(FStack.Restack(kTerminal, 0, false));
  EXPECT_FALSE(FAttach.VerifyZOrder());
  EXPECT_TRUE(FAttach.EnsureZOrder());
  EXPECT_EQ(FLines, (std::vector<std::string>{"[DesktopAttach] Z-order broken — reasserting"}));
  EXPECT_EQ(FStack.Order(), (std::vector<TNativeWindow>{kWallpaper, kTerminal, kIcons}));
  EXPECT_TRUE(FAttach.VerifyZOrder());
  EXPECT_TRUE(FAttach.EnsureZOrder());
  EXPECT_EQ(FLines.size(), 1u);
}

TEST_F(DesktopAttachTest, ARestartedDesktopProgramIsRepairedAndANewArrangementNeedsAReattach) {
  FStack.Add(FStack.DesktopWindow(kOpaque, false));
  FStack.Add(TFakeDesktopStack::Normal(kTerminal));
  AddWallpaperWindow();
  ASSERT_TRUE(FAttach.Attach());

  // The desktop program restarts: its new window comes up above the wallpaper.
  FStack.Remove(kOpaque);
  FStack.Add(FStack.DesktopWindow(kRestarted, false));
  ASSERT_TRUE(FStack.Restack(kRestarted, kWallpaper, true));
  EXPECT_FALSE(FAttach.VerifyZOrder());
  EXPECT_TRUE(FAttach.EnsureZOrder());
  EXPECT_EQ(FStack.Order(), (std::vector<TNativeWindow>{kRestarted, kWallpaper, kTerminal}));

  // It quits: the wallpaper must become the desktop itself, which takes a re-attach.
  FStack.Remove(kRestarted);
  EXPECT_FALSE(FAttach.VerifyZOrder());
  EXPECT_FALSE(FAttach.EnsureZOrder());
  EXPECT_EQ(FAttach.State(), TAttachState::asAttached);
  EXPECT_TRUE(FAttach.AttachOnce());
  EXPECT_EQ(FAttach.Structure(), TStructure::dsOwnDesktop);

  // An icon layer appears on top of the wallpaper.
  FStack.Add(FStack.DesktopWindow(kIcons, true));
  ASSERT_TRUE(FStack.Restack(kIcons, kWallpaper, true));
  EXPECT_FALSE(FAttach.EnsureZOrder());
  EXPECT_TRUE(FAttach.AttachOnce());
  EXPECT_EQ(FAttach.Structure(), TStructure::dsBelowIcons);
  EXPECT_EQ(FStack.Order(), (std::vector<TNativeWindow>{kWallpaper, kIcons, kTerminal}));
}

TEST_F(DesktopAttachTest, ANewScreenSizeIsCoveredByTheRepair) {
  FStack.Add(TFakeDesktopStack::Normal(kTerminal));
  AddWallpaperWindow();
  ASSERT_TRUE(FAttach.Attach());
  FStack.desktop.screen = {0, 0, 3200, 1200};
  EXPECT_FALSE(FAttach.VerifyZOrder());
  EXPECT_TRUE(FAttach.EnsureZOrder());
  EXPECT_EQ(FStack.Find(kWallpaper)->geometry, (TScreenRect{0, 0, 3200, 1200}));
}

TEST_F(DesktopAttachTest, AHiddenWallpaperIsLeftAloneUntilShown) {
  FStack.Add(TFakeDesktopStack::Normal(kTerminal));
  AddWallpaperWindow();
  ASSERT_TRUE(FAttach.Attach());
  FStack.Hide(kWallpaper);
  FStack.Add(FStack.DesktopWindow(kOpaque, false));
  EXPECT_TRUE(FAttach.VerifyZOrder());
  EXPECT_TRUE(FAttach.EnsureZOrder());
  EXPECT_FALSE(FStack.Find(kWallpaper)->mapped);
}

// A pause ends: the window manager maps the window again where it likes,
// and only once its turn comes.
TEST_F(DesktopAttachTest, AWindowShownAgainIsWaitedForAndPutBackBehindTheIcons) {
  FStack.Add(FStack.DesktopWindow(kIcons, true));
  AddWallpaperWindow();
  ASSERT_TRUE(FAttach.Attach());
  const auto showOnTop = [this] {
    TStackedWindow window = *FStack.Find(kWallpaper);
    FStack.Remove(kWallpaper);
    window.mapped = true;
    FStack.Add(window);
  };
  FStack.Hide(kWallpaper);
  int waits = 0;
  FStack.onWait = [&](int) {
    if (++waits == 3) showOnTop();
  };
  EXPECT_TRUE(FAttach.EnsureShownInPlace());
  EXPECT_EQ(FStack.Order(), (std::vector<TNativeWindow>{kWallpaper, kIcons}));
  EXPECT_EQ(Count("reasserting"), 1);

  // It never comes on screen: a re-attach has to bring it.
  FStack.onWait = nullptr;
  FStack.Hide(kWallpaper);
  EXPECT_FALSE(FAttach.EnsureShownInPlace());
  FAttach.Detach();
  showOnTop();
  EXPECT_FALSE(FAttach.EnsureShownInPlace());  // not attached
}

TEST_F(DesktopAttachTest, FailedQuickAttemptsKeepTheStateAndDetachUndoesTheRole) {
  FStack.Add(TFakeDesktopStack::Normal(kTerminal));
  AddWallpaperWindow();
  FStack.desktop.ok = false;
  EXPECT_FALSE(FAttach.AttachOnce());
  EXPECT_EQ(FAttach.State(), TAttachState::asDetached);
  FStack.desktop.ok = true;
  ASSERT_TRUE(FAttach.AttachOnce());
  FStack.desktop.ok = false;
  EXPECT_FALSE(FAttach.AttachOnce());
  EXPECT_EQ(FAttach.State(), TAttachState::asAttached);
  FStack.desktop.ok = true;

  FAttach.Detach();
  EXPECT_EQ(FAttach.State(), TAttachState::asDetached);
  EXPECT_FALSE(FStack.Find(kWallpaper)->mapped);
  EXPECT_FALSE(FStack.Find(kWallpaper)->desktopType);
  EXPECT_FALSE(FAttach.VerifyZOrder());
  EXPECT_EQ(FAttach.IconLayer(), TIconLayer::ilNone);
  // A new attach saves the role again and detaches as cleanly.
  ASSERT_TRUE(FAttach.Attach());
  FAttach.Detach();
  EXPECT_EQ(FStack.restoredRoles.size(), 2u);
  EXPECT_EQ(FStack.restoredRoles[1].types, std::vector<std::string>{"normal"});
}

TEST_F(DesktopAttachTest, TheIconsAreCoveredOnlyOnASeeThroughLayerAndStayCoveredThroughRepairs) {
  FStack.Add(FStack.DesktopWindow(kIcons, true));
  FStack.Add(TFakeDesktopStack::Normal(kTerminal));
  AddWallpaperWindow();
  ASSERT_TRUE(FAttach.Attach());
  EXPECT_TRUE(FAttach.CoverIcons(true));
  EXPECT_TRUE(FAttach.IconsCovered());
  EXPECT_EQ(FStack.Order(), (std::vector<TNativeWindow>{kIcons, kWallpaper, kTerminal}));
  EXPECT_TRUE(FAttach.VerifyZOrder());

  // The icon program restarts while its icons are hidden: they stay hidden.
  FStack.Remove(kIcons);
  FStack.Add(FStack.DesktopWindow(kRestarted, true));
  ASSERT_TRUE(FStack.Restack(kRestarted, kWallpaper, true));
  EXPECT_TRUE(FAttach.EnsureZOrder());
  EXPECT_EQ(FStack.Order(), (std::vector<TNativeWindow>{kRestarted, kWallpaper, kTerminal}));

  EXPECT_TRUE(FAttach.CoverIcons(false));
  EXPECT_FALSE(FAttach.IconsCovered());
  EXPECT_EQ(FStack.Order(), (std::vector<TNativeWindow>{kWallpaper, kRestarted, kTerminal}));

  // A cover that never takes effect is reported and taken back.
  FStack.ignoreRestack = true;
  EXPECT_FALSE(FAttach.CoverIcons(true));
  EXPECT_FALSE(FAttach.IconsCovered());
  EXPECT_EQ(FLines.back(), "[DesktopAttach] hiding the icons failed");
  FStack.ignoreRestack = false;

  ASSERT_TRUE(FAttach.CoverIcons(true));
  FAttach.Detach();
  EXPECT_FALSE(FAttach.IconsCovered());

  TFakeDesktopStack opaque;
  opaque.Add(opaque.DesktopWindow(kOpaque, false));
  opaque.Add(TFakeDesktopStack::Normal(kWallpaper));
  TDesktopAttach onOpaque(opaque, kWallpaper, nullptr);
  ASSERT_TRUE(onOpaque.Attach());
  EXPECT_FALSE(onOpaque.CoverIcons(true));
  EXPECT_FALSE(onOpaque.IconsCovered());
}
