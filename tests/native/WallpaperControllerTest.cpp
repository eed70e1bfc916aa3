#include "wallpaper/WallpaperController.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "FakeBackdropWindow.h"
#include "FakeDesktopStack.h"
#include "FakePlatform.h"
#include "FakeTray.h"

namespace {

constexpr TNativeWindow kWallpaper = 0x100;
constexpr TNativeWindow kIcons = 0x400;
constexpr TNativeWindow kOpaque = 0x500;

class WallpaperControllerTest : public ::testing::Test {
 public:
  void SetUp() override {
    FStack.Add(FStack.DesktopWindow(kIcons, true));
    FTray.Remove();  // shown again by the controller
    FController = std::make_unique<TWallpaperController>(
        FForm, FLoop, FProbe, FTray, FStateFile, [this] { return FNow; },
        [this](const std::string& line) { FLines.push_back(line); });
    TControllerHooks hooks;
    hooks.onState = [this](TWallpaperState s, TPauseReasons) { FStates.push_back(s); };
    hooks.onError = [this] { ++FErrors; };
    FController->SetHooks(hooks);
  }
  void StartPlaying() {
    FController->Start(TJson{{"motion", "drop"}});
    FForm.OnBrowserCreated(true, {});
    FForm.OnNavigationCompleted(true);
    ASSERT_EQ(FController->State(), wsRunning);
    for (const auto& [id, timer] : FLoop.timers)
      if (timer.first == kPollTimerMs) FPollTimerId = id;
    FStates.clear();
    FWindow.scripts.clear();
  }
  // Runs the timers of one interval, as the clock moves on by it.
  void Tick(int intervalMs) {
    FNow += intervalMs;
    std::vector<std::function<void()>> due;
    for (const auto& [id, timer] : FLoop.timers)
      if (timer.first == intervalMs) due.push_back(timer.second);
    for (const auto& run : due) run();
  }
  bool HasTimer(int intervalMs) const {
    return std::any_of(FLoop.timers.begin(), FLoop.timers.end(),
                       [&](const auto& t) { return t.second.first == intervalMs; });
  }
  int Lines(const std::string& text) const {
    return static_cast<int>(std::count(FLines.begin(), FLines.end(), "[Controller] " + text));
  }
  void StartOnly() { FController->Start(TJson::object()); }
  void UserPauseWithIconsHidden() {
    FController->SetHideIcons(true);
    FController->ToggleUserPause();
  }
  void Unplug() {
    FProbe.battery = true;
    FController->OnPowerSourceChanged();
  }
  void ClassicDesktop() {
    FStack.Remove(kIcons);
    FStack.Add(FStack.DesktopWindow(kOpaque, false));
  }
  void CoverWithWindows() {
    FProbe.screen.covered = true;
    Tick(kPollTimerMs);
  }
  // Runs the pending re-attach (the one-shot timer beside the poll's of the
  // same interval), two seconds on; false when none is pending.
  bool FireReattach() {
    for (const auto& [id, timer] : FLoop.timers) {
      if (timer.first != kReattachDelayMs || id == FPollTimerId) continue;
      FNow += kReattachDelayMs;
      const auto run = timer.second;
      run();
      return true;
    }
    return false;
  }
  // Breaks the placement so that re-attaching fails until `Heal`.
  void BreakDesktop() {
    FStack.Remove(kIcons);
    FStack.Add(FStack.DesktopWindow(kOpaque, false));
    FStack.refuseRestack = true;
  }

  TTempDir FHome;
  TWallpaperStateFile FStateFile{TWallpaperStateFile::PathUnder(FHome.Path().string())};
  TFakeDesktopStack FStack;
  TFakeBackdropWindow FWindow{FStack, kWallpaper};
  TFakeWindow FLoop;
  TFakeProbe FProbe;
  TFakeTray FTray;
  std::int64_t FNow = 1'000'000;
  std::vector<std::string> FLines;
  std::vector<TWallpaperState> FStates;
  int FErrors = 0;
  int FPollTimerId = -1;
  TFormWallpaper FForm{FWindow, FStack, FLoop, nullptr};
  std::unique_ptr<TWallpaperController> FController;
};

TEST_F(WallpaperControllerTest, LockingSuspendsAndUnlockingResumes) {
  EXPECT_TRUE(FTray.shown);
  StartPlaying();
  EXPECT_TRUE(HasTimer(kZOrderTimerMs));
  EXPECT_TRUE(HasTimer(kPollTimerMs));

  FController->OnSessionLocked(true);
  EXPECT_EQ(FStates, (std::vector<TWallpaperState>{wsPausing, wsPaused}));
  EXPECT_FALSE(FWindow.shown);
  EXPECT_EQ(FWindow.TakeCommands(), std::vector<std::string>{"sleep"});
  Tick(kSuspendDelayMs);
  EXPECT_TRUE(FWindow.resting);

  FStates.clear();
  FController->OnSessionLocked(false);
  EXPECT_EQ(FStates, (std::vector<TWallpaperState>{wsResuming, wsRunning}));
  EXPECT_TRUE(FWindow.shown);
  EXPECT_FALSE(FWindow.resting);
  EXPECT_EQ(FWindow.TakeCommands(), std::vector<std::string>{"wake"});
  EXPECT_EQ(Lines("state=4"), 1);
}

TEST_F(WallpaperControllerTest, TheUsersPauseFreezesAndAnAutomaticReasonOnTopSuspends) {
  StartPlaying();
  FController->OnTrayCommand(ccTogglePause);
  EXPECT_EQ(FController->State(), wsPaused);
  EXPECT_TRUE(FWindow.shown);  // the last frame stays on the desktop
  EXPECT_EQ(FWindow.TakeCommands(), std::vector<std::string>{"sleep"});

  FController->OnSystemSleeping(true);  // freeze → suspend
  EXPECT_FALSE(FWindow.shown);
  FController->OnSystemSleeping(false);  // back to a freeze
  EXPECT_TRUE(FWindow.shown);
  EXPECT_EQ(FController->State(), wsPaused);

  FController->OnTrayCommand(ccTogglePause);  // "Resume"
  EXPECT_EQ(FController->State(), wsRunning);
  EXPECT_EQ(FWindow.TakeCommands(), (std::vector<std::string>{"sleep", "sleep", "wake"}));
}

TEST_F(WallpaperControllerTest, PolledReasonsPauseWithinOnePoll) {
  StartPlaying();
  FProbe.screen.covered = true;
  Tick(kPollTimerMs);
  EXPECT_EQ(FController->State(), wsPaused);
  EXPECT_FALSE(FWindow.shown);
  FProbe.screen.covered = false;
  FProbe.battery = true;
  Tick(kPollTimerMs);
  EXPECT_EQ(FController->State(), wsPaused);
  EXPECT_EQ(FController->PauseReasons(), ReasonBit(prOnBattery));
  FProbe.battery = std::nullopt;  // the power service went away
  FController->OnPowerSourceChanged();
  EXPECT_EQ(FController->State(), wsRunning);
}

TEST_F(WallpaperControllerTest, AStopClearsOnlyTheUsersPause) {
  StartPlaying();
  FController->ToggleUserPause();
  FController->OnSessionLocked(true);
  FController->Stop();
  EXPECT_EQ(FController->State(), wsStopped);
  EXPECT_EQ(FController->PauseReasons(), ReasonBit(prLocked));
  EXPECT_FALSE(HasTimer(kPollTimerMs));
  // Started again while still locked: it pauses as soon as it plays.
  FController->Start(TJson{{"motion", "drop"}});
  EXPECT_EQ(FController->State(), wsPaused);
  FController->OnSessionLocked(false);
  EXPECT_EQ(FController->State(), wsRunning);
}

TEST_F(WallpaperControllerTest, ReattachesEveryTwoSecondsAndGivesUpAfterFiveFailuresInThirtySeconds) {
  StartPlaying();
  BreakDesktop();
  Tick(kZOrderTimerMs);  // out of place: a re-attach is scheduled
  for (int i = 1; i <= 4; ++i) {
    ASSERT_TRUE(FireReattach());
    EXPECT_EQ(Lines("reattach failed (" + std::to_string(i) + "/5 in window)"), 1);
  }
  // More than 30 s after the first failure: a new window, counting from 1.
  FNow += 25'000;
  ASSERT_TRUE(FireReattach());
  EXPECT_EQ(Lines("reattach failed (1/5 in window)"), 2);
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(FireReattach());
  EXPECT_EQ(Lines("reattach failed (5/5 in window)"), 1);
  EXPECT_EQ(Lines("reattach failed repeatedly — stopping wallpaper"), 1);
  EXPECT_EQ(FController->State(), wsStopped);
  ASSERT_EQ(FTray.notes.size(), 1u);
  EXPECT_EQ(FTray.notes[0].second, "Stopped after repeated failures to reattach to the desktop");
  EXPECT_TRUE(FLoop.timers.empty());
}

TEST_F(WallpaperControllerTest, ASuccessfulReattachEndsTheRetries) {
  StartPlaying();
  BreakDesktop();
  Tick(kZOrderTimerMs);
  ASSERT_TRUE(FireReattach());
  FStack.refuseRestack = false;
  ASSERT_TRUE(FireReattach());
  EXPECT_FALSE(FireReattach());  // none pending
  EXPECT_EQ(FController->State(), wsRunning);
  EXPECT_EQ(FForm.AttachEngine().Structure(), TDesktopStructure::dsAboveOpaque);
}

TEST_F(WallpaperControllerTest, APausedWallpaperThatCannotGetBackStaysPausedUntilAReattachWorks) {
  StartPlaying();
  FController->OnSessionLocked(true);
  BreakDesktop();
  FController->OnSessionLocked(false);
  EXPECT_EQ(FController->State(), wsPaused);
  EXPECT_EQ(FController->PauseReasons(), 0);
  FStack.refuseRestack = false;
  Tick(kReattachDelayMs);
  EXPECT_EQ(FController->State(), wsRunning);
}

TEST_F(WallpaperControllerTest, APageThatFailsStopsWithABalloonAndTheIconsBack) {
  FController->SetHideIcons(true);
  FController->Start(TJson::object());
  FForm.OnBrowserCreated(true, {});
  FForm.OnNavigationCompleted(false);
  EXPECT_EQ(FController->State(), wsStopped);
  EXPECT_EQ(FErrors, 1);
  EXPECT_FALSE(FController->HideIcons());
  ASSERT_EQ(FTray.notes.size(), 1u);
  EXPECT_EQ(FTray.notes[0], std::make_pair(std::string("Tessary"), std::string("Could not start the live wallpaper")));
}

TEST_F(WallpaperControllerTest, HidingTheIconsKeepsTheRecoveryFileUntilTheyAreBack) {
  StartPlaying();
  FController->OnTrayCommand(ccShowIcons);
  EXPECT_TRUE(FController->HideIcons());
  EXPECT_TRUE(FStateFile.Read().pending);
  EXPECT_EQ(FStack.Order().back(), kWallpaper);  // above the icon layer
  FController->Stop();
  EXPECT_FALSE(std::filesystem::exists(FStateFile.Path()));
  EXPECT_TRUE(FController->HideIcons());  // the choice holds for the next start
  FController->Start(TJson::object());
  EXPECT_TRUE(FStateFile.Read().pending);
  FController->OnTrayCommand(ccShowIcons);
  EXPECT_FALSE(std::filesystem::exists(FStateFile.Path()));
}

// The menu of each state, in English and Japanese.
struct TMenuCase {
  const char* name;
  std::function<void(WallpaperControllerTest&)> steps;
  std::vector<std::string> en;
  std::vector<std::string> ja;
};

class WallpaperControllerMenuTest : public WallpaperControllerTest, public ::testing::WithParamInterface<TMenuCase> {
 public:
};

TEST_P(WallpaperControllerMenuTest, ItemsAndGreying) {
  GetParam().steps(*this);
  FController->SetUiJapanese(false);
  EXPECT_EQ(FTray.Lines(), GetParam().en);
  FController->SetUiJapanese(true);
  EXPECT_EQ(FTray.Lines(), GetParam().ja);
}

INSTANTIATE_TEST_SUITE_P(
    States, WallpaperControllerMenuTest,
    ::testing::Values(
        TMenuCase{"stopped", [](WallpaperControllerTest&) {}, {"Open Tessary", "Exit Live Wallpaper"},
                  {"テッサリーを開く", "ライブ壁紙を終了"}},
        TMenuCase{"starting",
                  [](WallpaperControllerTest& t) { t.StartOnly(); },
                  {"(Pause)", "(Stop Live Wallpaper)", "-", "([x] Show desktop icons)", "-", "Open Tessary",
                   "(Exit Live Wallpaper)"},
                  {"(一時停止)", "(ライブ壁紙を停止)", "-", "([x] デスクトップアイコンを表示)", "-", "テッサリーを開く",
                   "(ライブ壁紙を終了)"}},
        TMenuCase{"running", [](WallpaperControllerTest& t) { t.StartPlaying(); },
                  {"Pause", "Stop Live Wallpaper", "-", "[x] Show desktop icons", "-", "Open Tessary",
                   "Exit Live Wallpaper"},
                  {"一時停止", "ライブ壁紙を停止", "-", "[x] デスクトップアイコンを表示", "-", "テッサリーを開く",
                   "ライブ壁紙を終了"}},
        TMenuCase{"paused by the user",
                  [](WallpaperControllerTest& t) {
                    t.StartPlaying();
                    t.UserPauseWithIconsHidden();
                  },
                  {"Resume", "Stop Live Wallpaper", "-", "Show desktop icons", "-", "Open Tessary",
                   "Exit Live Wallpaper"},
                  {"再開", "ライブ壁紙を停止", "-", "デスクトップアイコンを表示", "-", "テッサリーを開く",
                   "ライブ壁紙を終了"}},
        TMenuCase{"paused on battery",
                  [](WallpaperControllerTest& t) {
                    t.StartPlaying();
                    t.Unplug();
                  },
                  {"(Auto-paused (onBattery))", "Stop Live Wallpaper", "-", "[x] Show desktop icons", "-",
                   "Open Tessary", "Exit Live Wallpaper"},
                  {"(自動一時停止（バッテリー）)", "ライブ壁紙を停止", "-", "[x] デスクトップアイコンを表示", "-",
                   "テッサリーを開く", "ライブ壁紙を終了"}},
        TMenuCase{"covered, on a classic desktop",
                  [](WallpaperControllerTest& t) {
                    t.ClassicDesktop();
                    t.StartPlaying();
                    t.CoverWithWindows();
                  },
                  {"(Auto-paused (covered))", "Stop Live Wallpaper", "-", "(Show desktop icons)",
                   "(On this desktop the icons are covered while the wallpaper plays)", "-", "Open Tessary",
                   "Exit Live Wallpaper"},
                  {"(自動一時停止（ウィンドウの下）)", "ライブ壁紙を停止", "-", "(デスクトップアイコンを表示)",
                   "(このデスクトップでは壁紙の再生中はアイコンが隠れます)", "-", "テッサリーを開く",
                   "ライブ壁紙を終了"}}),
    [](const ::testing::TestParamInfo<TMenuCase>& info) {
      std::string name;
      for (const char* c = info.param.name; *c; ++c)
        if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
      return name;
    });

TEST_F(WallpaperControllerTest, CommandsReachTheirHooksAndGreyedItemsDoNothing) {
  std::vector<std::string> calls;
  TControllerHooks hooks;
  hooks.onOpenRequest = [&] { calls.push_back("open"); };
  hooks.onExitRequest = [&] { calls.push_back("exit"); };
  hooks.onToggleRequest = [&] { calls.push_back("toggle"); };
  hooks.onBuildHostMenu = [] { return std::vector<TMenuItem>{TMenuItem::Item(220, "Start Live Wallpaper")}; };
  hooks.onHostCommand = [&](int id) { calls.push_back(std::to_string(id)); };
  FController->SetHooks(hooks);
  FController->OnTrayCommand(ccOpenMain);
  FController->OnTrayActivate();
  FController->OnTrayCommand(220);
  FController->OnTrayCommand(212);          // not in the menu
  FController->OnTrayCommand(ccTogglePause);  // not offered while stopped
  FController->Start(TJson::object());
  FController->OnTrayCommand(ccExit);  // greyed while starting
  FController->OnTrayCommand(ccStop);
  EXPECT_EQ(FController->State(), wsStarting);
  FController->OnTrayReappeared();
  EXPECT_TRUE(FTray.shown);
  EXPECT_EQ(calls, (std::vector<std::string>{"open", "toggle", "220"}));
  EXPECT_EQ(FTray.Lines()[5], "Start Live Wallpaper");
}

}  // namespace
