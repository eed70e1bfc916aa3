#include "wallpaper/WallpaperApp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "shared/KiroFile.h"
#include "shared/LiveHandoff.h"
#include "tests/native/FakeBackdropWindow.h"
#include "tests/native/FakeIpcTransport.h"
#include "tests/native/FakePlatform.h"
#include "wallpaper/DesktopTexts.h"

namespace {

constexpr TNativeWindow kWallpaper = 0x100;

class WallpaperAppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_DATA_HOME");
    FOldDataHome = old ? std::optional<std::string>(old) : std::nullopt;
    setenv("XDG_DATA_HOME", FHome.Path().c_str(), 1);
  }
  void TearDown() override {
    if (FOldDataHome) setenv("XDG_DATA_HOME", FOldDataHome->c_str(), 1);
    else unsetenv("XDG_DATA_HOME");
  }
  static void HandOver(const std::string& data) {
    ASSERT_TRUE(BeginHandoff());
    ASSERT_TRUE(CommitHandoff(data));
  }
  void PageLoads() {
    FForm.OnBrowserCreated(true, {});
    FForm.OnNavigationCompleted(true);
  }
  std::int32_t State() { return FApp.HandleIpc(ikStateQuery); }
  bool WatchdogRuns() const {
    return std::any_of(FLoop.timers.begin(), FLoop.timers.end(),
                       [](const auto& timer) { return timer.second.first == kWatchdogMs; });
  }

  TTempDir FHome;
  std::optional<std::string> FOldDataHome;
  TFakeDesktopStack FStack;
  TFakeBackdropWindow FWindow{FStack, kWallpaper};
  TFakeWindow FLoop;
  TFormWallpaper FForm{FWindow, FStack, FLoop, nullptr};
  int FExits = 0;
  std::vector<std::string> FTold;
  TWallpaperApp FApp{FForm, FLoop, [this] { ++FExits; }, [this](const std::string& text) { FTold.push_back(text); },
                     false, nullptr};
};

TEST_F(WallpaperAppTest, StartPlaysTheActiveHandOverOnly) {
  EXPECT_EQ(State(), scStopped);
  EXPECT_EQ(FApp.HandleIpc(ikStart), 0);  // nothing handed over
  EXPECT_EQ(State(), scStopped);

  HandOver("[1,2]");  // not a play-data object
  EXPECT_EQ(FApp.HandleIpc(ikStart), 0);
  EXPECT_FALSE(FApp.PlayData().has_value());

  HandOver(R"({"motion":"drop","title":"夏"})");
  EXPECT_EQ(FApp.HandleIpc(ikStart), 1);
  EXPECT_EQ((*FApp.PlayData())["title"], "夏");
  EXPECT_EQ(State(), scStarting);  // until the page has the data
  PageLoads();
  EXPECT_EQ(State(), scRunning);
  EXPECT_TRUE(WatchdogRuns());
  EXPECT_EQ(FWindow.TakeCommands(), std::vector<std::string>{"data"});

  // A later hand-over replaces the one on the desktop at once.
  HandOver(R"({"motion":"flutter"})");
  EXPECT_EQ(FApp.HandleIpc(ikStart), 1);
  EXPECT_EQ((*FApp.PlayData())["motion"], "flutter");
  EXPECT_EQ(State(), scRunning);
  const std::vector<TFakeBackdropWindow::TPageEvent> events = FWindow.TakeEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].payload["motion"], "flutter");
}

TEST_F(WallpaperAppTest, StopAndQuit) {
  HandOver(R"({"motion":"drop"})");
  ASSERT_TRUE(FApp.LoadHandoff());
  ASSERT_TRUE(FApp.StartLoaded());
  PageLoads();
  EXPECT_EQ(FApp.HandleIpc(ikStop), 0);
  EXPECT_EQ(State(), scStopped);
  EXPECT_FALSE(FWindow.shown);
  EXPECT_FALSE(WatchdogRuns());
  EXPECT_EQ(FExits, 0);
  ASSERT_TRUE(FApp.StartLoaded());
  EXPECT_EQ(State(), scRunning);
  EXPECT_EQ(FApp.HandleIpc(ikQuit), 0);
  EXPECT_EQ(State(), scStopped);
  EXPECT_EQ(FExits, 1);
}

TEST_F(WallpaperAppTest, PausesFreezeOrRestTheWallpaper) {
  FApp.Start(DemoPlayData());
  FApp.ToggleUserPause();  // while starting: applied once the page plays
  EXPECT_EQ(State(), scStarting);
  PageLoads();
  EXPECT_EQ(State(), scPaused);
  EXPECT_EQ(FWindow.TakeCommands(), (std::vector<std::string>{"data", "sleep"}));
  EXPECT_TRUE(FWindow.shown);  // the user's pause keeps the picture

  FApp.ToggleAutomaticPause();  // an automatic reason on top: hidden, at rest
  EXPECT_EQ(State(), scPaused);
  EXPECT_FALSE(FWindow.shown);
  FApp.ToggleUserPause();
  EXPECT_FALSE(FWindow.shown);
  FApp.ToggleAutomaticPause();
  EXPECT_EQ(State(), scRunning);
  EXPECT_TRUE(FWindow.shown);
  EXPECT_EQ(FWindow.TakeCommands(), (std::vector<std::string>{"sleep", "wake"}));

  FApp.ToggleUserPause();
  EXPECT_EQ(State(), scPaused);
  FApp.Stop();  // a stop forgets the user's pause
  FApp.Start(DemoPlayData());
  EXPECT_EQ(State(), scRunning);
}

TEST_F(WallpaperAppTest, APageThatFailsStopsTheWallpaper) {
  FApp.Start(DemoPlayData());
  FForm.OnBrowserCreated(true, {});
  FForm.OnNavigationCompleted(false);
  EXPECT_EQ(State(), scStopped);
  EXPECT_FALSE(FWindow.shown);
  EXPECT_TRUE(FTold.empty());
}

TEST_F(WallpaperAppTest, AWaylandSessionIsExplainedOnceInTheUsersLanguage) {
  FStack.session = TSessionKind::skWayland;
  HandOver(R"({"motion":"drop","uiJapanese":true})");
  EXPECT_EQ(FApp.HandleIpc(ikStart), 1);  // loaded and started, though it could not play
  EXPECT_EQ(State(), scStopped);
  EXPECT_EQ(FApp.HandleIpc(ikStart), 1);
  ASSERT_EQ(FTold.size(), 1u);
  EXPECT_EQ(FTold[0], AttachFailureText(TAttachFailure::afNoX11Session, true));
  EXPECT_NE(FTold[0].find("X11"), std::string::npos);
}

TEST(LiveOptions, OneShotOptionsEndTheArgumentLoop) {
  struct TCase {
    std::vector<std::string> args;
    bool demo;
    TLiveOneShot oneShot;
    std::string value;
  };
  const TCase cases[] = {
      {{}, false, loNone, ""},
      {{"--TEST", "--other"}, true, loNone, ""},
      {{"--Show-Main=/tmp/a b.json", "--open-album-test=x"}, false, loShowMain, "/tmp/a b.json"},
      {{"--open-album-test=20240101-abc", "--test"}, false, loOpenAlbumTest, "20240101-abc"},
      {{"--test", "--show-main="}, true, loShowMain, ""},
  };
  for (const TCase& c : cases) {
    const TLiveOptions options = ParseLiveOptions(c.args);
    EXPECT_EQ(options.demo, c.demo);
    EXPECT_EQ(options.oneShot, c.oneShot);
    EXPECT_EQ(options.oneShotValue, c.value);
  }
}

TEST(LiveOptions, ShowMainWritesWhetherTheGeneratorGotIt) {
  TTempDir dir;
  const std::string path = (dir.Path() / "sent.json").string();
  TLiveOptions options;
  options.oneShot = loShowMain;
  options.oneShotValue = path;

  TFakeIpcTransport bus;
  EXPECT_EQ(RunLiveOneShot(options, bus), 0);
  EXPECT_EQ(ReadText(path), "\xEF\xBB\xBF{\"sent\":false}");

  int shown = 0;
  TMainIpcServer generator(bus, [&] { ++shown; }, nullptr);
  EXPECT_EQ(RunLiveOneShot(options, bus), 0);
  EXPECT_EQ(ReadText(path), "\xEF\xBB\xBF{\"sent\":true}");
  EXPECT_EQ(shown, 1);

  options.oneShotValue = (dir.Path() / "missing" / "sent.json").string();
  EXPECT_EQ(RunLiveOneShot(options, bus), 1);
}

TEST(LiveOptions, OpenAlbumTestSendsTheId) {
  TFakeIpcTransport bus;
  std::vector<std::string> opened;
  TMainIpcServer generator(bus, nullptr, [&](const std::string& id) { opened.push_back(id); });
  TLiveOptions options;
  options.oneShot = loOpenAlbumTest;
  options.oneShotValue = "20240101-abc";
  EXPECT_EQ(RunLiveOneShot(options, bus), 0);
  EXPECT_EQ(opened, (std::vector<std::string>{"20240101-abc"}));
}

}  // namespace

namespace {

TEST_F(WallpaperAppTest, APackageOpenedFromTheDesktopPlaysHereOrInTheRunningInstance) {
  EXPECT_EQ(ParseLiveOptions({"--test", "/home/u/wall.kiro", "other.kiro"}).package, "/home/u/wall.kiro");
  EXPECT_EQ(ParseLiveOptions({"--show-main=/tmp/x"}).package, "");

  const std::string package = (FHome.Path() / "wall.kiro").string();
  ASSERT_TRUE(WriteKiro(package, R"({"motion":"sway"})", {{4, "", Bytes("photo")}}).ok);
  TFakeIpcTransport alone;
  EXPECT_EQ(OpenPackageArgument(package, alone), poPlayHere);
  ASSERT_TRUE(FApp.LoadHandoff());
  EXPECT_EQ((*FApp.PlayData())["motion"], "sway");

  TFakeIpcTransport running;
  running.others["org.tessary.Live"]["Start"] = 1;
  EXPECT_EQ(OpenPackageArgument(package, running), poHandedToRunning);
  EXPECT_EQ(running.Methods().back(), "Start");

  const std::string active = ActiveGenerationDir();
  TFakeIpcTransport untouched;
  EXPECT_EQ(OpenPackageArgument(FHome.Write("bad.kiro", "not a package").string(), untouched), poFailed);
  EXPECT_TRUE(untouched.calls.empty());
  EXPECT_EQ(ActiveGenerationDir(), active);
}

}  // namespace
