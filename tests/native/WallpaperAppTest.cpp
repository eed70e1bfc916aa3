#include "wallpaper/WallpaperApp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "FakeTray.h"
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
  TLiveAppEnv Env() {
    TLiveAppEnv env;
    env.exit = [this] { ++FExits; };
    env.tell = [this](const std::string& text) { FTold.push_back(text); };
    env.buildStamp = "08-08 21:05";
    return env;
  }

  TTempDir FHome;
  std::optional<std::string> FOldDataHome;
  TFakeDesktopStack FStack;
  TFakeBackdropWindow FWindow{FStack, kWallpaper};
  TFakeWindow FLoop;
  TFakeProbe FProbe;
  TFakeTray FTray;
  TFakeIpcTransport FBus;
  TWallpaperStateFile FStateFile{TWallpaperStateFile::PathUnder(FHome.Path().string())};
  TFormWallpaper FForm{FWindow, FStack, FLoop, nullptr};
  TWallpaperController FController{FForm, FLoop, FProbe, FTray, FStateFile, [] { return std::int64_t{0}; }, nullptr};
  int FExits = 0;
  std::vector<std::string> FTold;
  TWallpaperApp FApp{FController, FForm, FBus, Env(), false};
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
  EXPECT_EQ(FWindow.TakeCommands(), std::vector<std::string>{"data"});

  // The same hand-over again plays on; a later one replaces it at once.
  EXPECT_EQ(FApp.HandleIpc(ikStart), 1);
  EXPECT_TRUE(FWindow.TakeEvents().empty());
  HandOver(R"({"motion":"sway"})");
  EXPECT_EQ(FApp.HandleIpc(ikStart), 1);
  EXPECT_EQ((*FApp.PlayData())["motion"], "sway");
  EXPECT_EQ(State(), scRunning);
  const std::vector<TFakeBackdropWindow::TPageEvent> events = FWindow.TakeEvents();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back().event, "wallpaperData");
  EXPECT_EQ(events.back().payload["motion"], "sway");
}

TEST_F(WallpaperAppTest, StopAndQuit) {
  HandOver(R"({"motion":"drop"})");
  ASSERT_TRUE(FApp.LoadHandoff());
  ASSERT_TRUE(FApp.StartLoaded());
  PageLoads();
  EXPECT_EQ(FApp.HandleIpc(ikStop), 0);
  EXPECT_EQ(State(), scStopped);
  EXPECT_FALSE(FWindow.shown);
  EXPECT_EQ(FExits, 0);
  ASSERT_TRUE(FApp.StartLoaded());
  EXPECT_EQ(State(), scRunning);
  EXPECT_EQ(FApp.HandleIpc(ikQuit), 0);
  EXPECT_EQ(State(), scStopped);
  EXPECT_FALSE(FTray.shown);
  EXPECT_EQ(FExits, 1);
}

TEST_F(WallpaperAppTest, MotionAndSpeedAreKeptInTheHandOverAndRestartOnlyWhatPlays) {
  HandOver(R"({"motion":"drop","speed":1,"uiJapanese":false})");
  ASSERT_TRUE(FApp.LoadHandoff());
  FController.OnTrayCommand(lmFast);  // stopped: only written
  EXPECT_EQ(State(), scStopped);
  std::string stored;
  ASSERT_TRUE(ReadHandoffData(stored));
  EXPECT_EQ(TJson::parse(stored)["speed"], 1.8);

  FController.OnTrayCommand(lmStart);
  PageLoads();
  FWindow.scripts.clear();
  FController.OnTrayCommand(lmSway);
  EXPECT_EQ(State(), scRunning);
  const auto events = FWindow.TakeEvents();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back().payload["motion"], "sway");
  ASSERT_TRUE(ReadHandoffData(stored));
  EXPECT_EQ(TJson::parse(stored)["motion"], "sway");
}

TEST_F(WallpaperAppTest, TheProgramsItemsFollowTheLoadedData) {
  const auto lines = [this] { return FTray.Lines(); };
  EXPECT_EQ(lines(), (std::vector<std::string>{
                         "Choose wallpaper", "  ((No saved creations))", "  -", "  (Open from a file (*.kiro)…)", "-",
                         "(Motion)", "  (Drop)", "  (Sway)", "(Speed)", "  (Slow)", "  (Normal)", "  (Fast)", "-",
                         "(Build 08-08 21:05)", "-", "Open Tessary", "Exit Live Wallpaper"}));
  HandOver(R"({"motion":"sway","speed":0.5,"albumId":"20260808-abc","uiJapanese":true})");
  ASSERT_TRUE(FApp.LoadHandoff());
  EXPECT_EQ(lines(), (std::vector<std::string>{
                         "ライブ壁紙を開始", "-", "この壁紙をテッサリーで開く", "-", "壁紙を選ぶ",
                         "  (（保存した作品がありません）)", "  -", "  (ファイルから開く（*.kiro）…)", "-", "動き",
                         "  落とす", "  [x] 舞う", "速さ", "  [x] ゆっくり", "  ふつう", "  はやい", "-",
                         "(ビルド 08-08 21:05)", "-", "テッサリーを開く", "ライブ壁紙を終了"}));
  // Opening the creation: the running generator is asked first, else started with it.
  FController.OnTrayCommand(lmOpenInMaker);
  ASSERT_EQ(FBus.started.size(), 1u);
  EXPECT_EQ(FBus.started[0].second, std::vector<std::string>{"--open-album=20260808-abc"});
}

TEST_F(WallpaperAppTest, APackageFromTheMenuReplacesWhatPlaysOrIsRefusedWithTheImportsText) {
  HandOver(R"({"motion":"drop"})");
  ASSERT_TRUE(FApp.LoadHandoff());
  ASSERT_TRUE(FApp.StartLoaded());
  PageLoads();
  std::vector<std::string> warnings;
  std::optional<std::string> answer;
  TLiveAppEnv env = Env();
  env.choosePackage = [&](const std::string& title, const std::string& type) {
    warnings.push_back(title + " / " + type);
    return answer;
  };
  env.warn = [&](const std::string& title, const std::string& text) { warnings.push_back(title + ": " + text); };
  TWallpaperApp app(FController, FForm, FBus, env, false);
  EXPECT_EQ(FTray.Lines()[9], "  Open from a file (*.kiro)…");  // no longer greyed

  FController.OnTrayCommand(lmOpenPackage);  // cancelled
  EXPECT_EQ(warnings, std::vector<std::string>{"Open a live wallpaper file / Live wallpaper"});
  answer = FHome.Write("bad.kiro", "not a package").string();
  FController.OnTrayCommand(lmOpenPackage);
  ASSERT_EQ(warnings.size(), 3u);
  EXPECT_EQ(warnings[2].rfind("Tessary: Could not open this file: ", 0), 0u) << warnings[2];
  EXPECT_EQ(State(), scRunning);  // what played plays on

  answer = (FHome.Path() / "wall.kiro").string();
  ASSERT_TRUE(WriteKiro(*answer, R"({"motion":"sway"})", {{0, "", Bytes("photo")}}).ok);
  FWindow.scripts.clear();
  FController.OnTrayCommand(lmOpenPackage);
  EXPECT_EQ(warnings.size(), 4u);
  EXPECT_EQ(State(), scRunning);
  EXPECT_EQ(FWindow.TakeEvents().back().payload["motion"], "sway");
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
      {{"--IMPORT-KIRO-TEST=/tmp/a.kiro", "--show-main=x"}, false, loImportKiroTest, "/tmp/a.kiro"},
      {{"--pick-wallpaper-test=20260808-abc"}, false, loPickWallpaperTest, "20260808-abc"},
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

TEST(LiveOptions, PickWallpaperTestStartsTheGeneratorWithTheId) {
  TFakeIpcTransport bus;
  TLiveOptions options;
  options.oneShot = loPickWallpaperTest;
  options.oneShotValue = "20260808-abc";
  EXPECT_EQ(RunLiveOneShot(options, bus), 0);
  ASSERT_EQ(bus.started.size(), 1u);
  EXPECT_EQ(bus.started[0].first, "TessaryMaker");
  EXPECT_EQ(bus.started[0].second, std::vector<std::string>{"--set-wallpaper=20260808-abc"});
}

TEST_F(WallpaperAppTest, ImportKiroTestMakesThePackageTheHandOver) {
  TLiveOptions options;
  options.oneShot = loImportKiroTest;
  options.oneShotValue = (FHome.Path() / "missing.kiro").string();
  EXPECT_EQ(RunLiveOneShot(options, FBus), 1);
  options.oneShotValue = (FHome.Path() / "wall.kiro").string();
  ASSERT_TRUE(WriteKiro(options.oneShotValue, R"({"motion":"sway"})", {{0, "", Bytes("photo")}}).ok);
  EXPECT_EQ(RunLiveOneShot(options, FBus), 0);
  ASSERT_TRUE(FApp.LoadHandoff());
  EXPECT_EQ((*FApp.PlayData())["motion"], "sway");
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
