#include "wallpaper/WallpaperForm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "FakeBackdropWindow.h"
#include "FakeDesktopStack.h"
#include "FakePlatform.h"
#include "shared/LiveHandoff.h"
#include "wallpaper/WallpaperRouting.h"

namespace {

constexpr TNativeWindow kWallpaper = 0x100;
constexpr TNativeWindow kIcons = 0x400;
constexpr TNativeWindow kOpaque = 0x500;

TJson Record(int n) { return TJson{{"w", 1280}, {"h", 720}, {"motion", "drop"}, {"n", n}}; }

class WallpaperFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FStack.Add(FStack.DesktopWindow(kIcons, true));
    FForm.SetOnReady([this] { ++FReady; });
    FForm.SetOnFailed([this] { ++FFailed; });
  }

  void LoadPage(bool ok = true) {
    FForm.OnBrowserCreated(true, {});
    FForm.OnNavigationCompleted(ok);
  }
  // The play data the page was given, in order; other events are left out.
  std::vector<TJson> Delivered() {
    std::vector<TJson> data;
    for (const auto& e : FWindow.TakeEvents())
      if (e.event == "wallpaperData") data.push_back(e.payload);
    return data;
  }
  // Runs the pending one-shot timer (the browser's rest after a hide).
  void FireSuspendTimer() {
    ASSERT_EQ(FLoop.timers.size(), 1u);
    EXPECT_EQ(FLoop.timers.begin()->second.first, kSuspendDelayMs);
    const auto tick = FLoop.timers.begin()->second.second;  // the timer removes itself
    tick();
  }
  bool Mapped() { return FStack.Find(kWallpaper) && FStack.Find(kWallpaper)->mapped; }

  TFakeDesktopStack FStack;
  TFakeBackdropWindow FWindow{FStack, kWallpaper};
  TFakeWindow FLoop;
  std::vector<std::string> FLines;
  TFormWallpaper FForm{FWindow, FStack, FLoop, [this](const std::string& line) { FLines.push_back(line); }};
  int FReady = 0;
  int FFailed = 0;
};

TEST_F(WallpaperFormTest, TheFirstStartMakesTheBrowserAndDeliversOnceThePageIsReady) {
  EXPECT_EQ(FWindow.title, "Tessary Live Wallpaper");
  EXPECT_EQ(FWindow.browserStarts, 0);  // nothing before the first start

  ASSERT_TRUE(FForm.StartWallpaper(Record(1)));
  EXPECT_EQ(FWindow.browserStarts, 1);
  EXPECT_EQ(FForm.AttachEngine().State(), TAttachState::asAttached);
  EXPECT_EQ(FStack.Order(), (std::vector<TNativeWindow>{kWallpaper, kIcons}));  // behind the icons
  EXPECT_EQ(FWindow.placed.back(), FStack.desktop.screen);
  EXPECT_TRUE(FWindow.shown);
  EXPECT_TRUE(FWindow.scripts.empty());
  EXPECT_EQ(FReady, 0);

  FForm.OnBrowserCreated(true, {});
  EXPECT_TRUE(FWindow.lockedDown);
  EXPECT_EQ(FWindow.navigations, std::vector<std::string>{"tessary-app://app/wallpaper.html"});
  EXPECT_TRUE(FWindow.scripts.empty());
  FForm.OnNavigationCompleted(true);
  ASSERT_EQ(FWindow.scripts.size(), 1u);
  EXPECT_EQ(FWindow.scripts[0].rfind("window.kobHost && window.kobHost.emit('wallpaperData', {", 0), 0u);
  const std::vector<TJson> data = Delivered();
  ASSERT_EQ(data.size(), 1u);
  // Fitted to the screen the window covers; the creation's size is kept.
  EXPECT_EQ(data[0], (TJson{{"w", 1920}, {"h", 1080}, {"motion", "drop"}, {"n", 1}, {"srcW", 1280}, {"srcH", 720}}));
  EXPECT_EQ(FReady, 1);

  // A second start on a ready page plays the new data at once.
  ASSERT_TRUE(FForm.StartWallpaper(Record(2)));
  const std::vector<TJson> again = Delivered();
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(again[0]["n"], 2);
  EXPECT_EQ(FReady, 2);
  EXPECT_EQ(FWindow.browserStarts, 1);
}

TEST_F(WallpaperFormTest, OnlyTheLatestStartIsDelivered) {
  ASSERT_TRUE(FForm.StartWallpaper(Record(1)));
  FForm.StopWallpaper();  // before the page has loaded
  EXPECT_FALSE(FWindow.shown);
  EXPECT_EQ(FForm.AttachEngine().State(), TAttachState::asDetached);
  LoadPage();
  EXPECT_TRUE(Delivered().empty());
  EXPECT_EQ(FReady, 0);

  ASSERT_TRUE(FForm.StartWallpaper(Record(2)));
  const std::vector<TJson> data = Delivered();
  ASSERT_EQ(data.size(), 1u);
  EXPECT_EQ(data[0]["n"], 2);
  EXPECT_EQ(FReady, 1);
}

TEST_F(WallpaperFormTest, StopTellsThePageAndTakesTheWindowAway) {
  ASSERT_TRUE(FForm.StartWallpaper(Record(1)));
  LoadPage();
  FWindow.scripts.clear();
  FForm.StopWallpaper();
  EXPECT_EQ(FWindow.TakeCommands(), std::vector<std::string>{"stop"});
  EXPECT_FALSE(FWindow.shown);
  EXPECT_FALSE(Mapped());
  EXPECT_EQ(FForm.AttachEngine().State(), TAttachState::asDetached);
  EXPECT_FALSE(FForm.Playing());
  // Commands of a stopped wallpaper, and of a page that is not ready, go nowhere.
  FForm.SuspendPlayback();
  FForm.FreezePlayback();
  EXPECT_FALSE(FForm.ResumePlayback());
  EXPECT_TRUE(FWindow.scripts.empty());
  FForm.OnNavigationCompleted(false);
  FForm.SendCommand(TPlayerCommand::cmWake);
  EXPECT_TRUE(FWindow.scripts.empty());
}

TEST_F(WallpaperFormTest, AReloadedPagePlaysOnAsItWas) {
  ASSERT_TRUE(FForm.StartWallpaper(Record(1)));
  LoadPage();
  FForm.FreezePlayback();
  EXPECT_EQ(FWindow.TakeCommands(), (std::vector<std::string>{"data", "sleep"}));
  // The page's process crashed and the view loaded the page again.
  FForm.OnNavigationCompleted(true);
  EXPECT_EQ(FWindow.TakeCommands(), (std::vector<std::string>{"data", "sleep"}));
  EXPECT_EQ(FReady, 1);  // nothing new for the controller
  EXPECT_EQ(FFailed, 0);

  // A page that could not be brought back fails the wallpaper.
  FForm.OnPageGone();
  EXPECT_EQ(FFailed, 1);
  EXPECT_FALSE(FForm.PageReady());
}

TEST_F(WallpaperFormTest, ABrowserOrPageThatFailsIsReported) {
  {
    SCOPED_TRACE("page load failed");
    ASSERT_TRUE(FForm.StartWallpaper(Record(1)));
    FForm.OnBrowserCreated(true, {});
    FForm.OnNavigationCompleted(false);
    EXPECT_EQ(FFailed, 1);
    EXPECT_FALSE(FForm.PageReady());
  }
  {
    SCOPED_TRACE("browser not made");
    TFakeDesktopStack stack;
    TFakeBackdropWindow window(stack, kWallpaper);
    TFormWallpaper form(window, stack, FLoop, nullptr);
    int failed = 0;
    form.SetOnFailed([&] { ++failed; });
    ASSERT_TRUE(form.StartWallpaper(Record(1)));
    form.OnBrowserCreated(false, "no profile folder");
    EXPECT_EQ(failed, 1);
    form.StopWallpaper();
    // Later starts fail at once instead of waiting for a page that never comes.
    EXPECT_FALSE(form.StartWallpaper(Record(2)));
    EXPECT_EQ(window.browserStarts, 1);
  }
}

TEST_F(WallpaperFormTest, AStartThatCannotAttachStopsWhatPlayedBefore) {
  ASSERT_TRUE(FForm.StartWallpaper(Record(1)));
  LoadPage();
  FWindow.scripts.clear();
  FStack.desktop.ok = false;  // the desktop can no longer be read
  EXPECT_FALSE(FForm.StartWallpaper(Record(2)));
  EXPECT_EQ(FWindow.TakeCommands(), std::vector<std::string>{"stop"});
  EXPECT_FALSE(FWindow.shown);
  EXPECT_FALSE(FForm.Playing());
  EXPECT_EQ(FForm.AttachEngine().State(), TAttachState::asFailed);
}

TEST_F(WallpaperFormTest, AWaylandSessionFailsWithoutShowingTheWindow) {
  FStack.session = TSessionKind::skWayland;
  EXPECT_FALSE(FForm.StartWallpaper(Record(1)));
  EXPECT_EQ(FForm.AttachEngine().Failure(), TAttachFailure::afNoX11Session);
  EXPECT_TRUE(FWindow.placed.empty());
  EXPECT_FALSE(Mapped());
  EXPECT_EQ(FWindow.browserStarts, 0);
  EXPECT_FALSE(FForm.Playing());
}

// Pause decisions and the browser's rest: whatever completes late never
// undoes a newer decision.
TEST_F(WallpaperFormTest, SuspendRestsTheBrowserOnlyWhileThePauseLasts) {
  ASSERT_TRUE(FForm.StartWallpaper(Record(1)));
  LoadPage();
  FWindow.scripts.clear();
  const int resumesAtStart = FWindow.resumes;

  {
    SCOPED_TRACE("resumed within the delay");
    FForm.SuspendPlayback();
    EXPECT_EQ(FWindow.TakeCommands(), std::vector<std::string>{"sleep"});
    EXPECT_FALSE(FWindow.shown);
    EXPECT_TRUE(FForm.ResumePlayback());
    EXPECT_TRUE(FLoop.timers.empty());
    EXPECT_TRUE(FWindow.suspendRequests.empty());  // never asked
    EXPECT_TRUE(FWindow.shown);
    EXPECT_EQ(FWindow.TakeCommands(), std::vector<std::string>{"wake"});
  }
  {
    SCOPED_TRACE("a lasting pause");
    FForm.SuspendPlayback();
    FireSuspendTimer();
    ASSERT_EQ(FWindow.suspendRequests.size(), 1u);
    FWindow.CompleteSuspend();
    EXPECT_TRUE(FWindow.resting);
    EXPECT_TRUE(FForm.BrowserResting());
    // The user's pause while resting: the picture comes back, frozen.
    FForm.FreezePlayback();
    EXPECT_FALSE(FWindow.resting);
    EXPECT_TRUE(FWindow.shown);
    EXPECT_EQ(FWindow.TakeCommands(), (std::vector<std::string>{"sleep", "sleep"}));
  }
  {
    SCOPED_TRACE("resumed while the rest was under way");
    FForm.SuspendPlayback();
    FireSuspendTimer();
    EXPECT_TRUE(FWindow.resting);
    EXPECT_TRUE(FForm.ResumePlayback());
    const int resumes = FWindow.resumes;
    FWindow.CompleteSuspend();  // belongs to the earlier decision
    EXPECT_FALSE(FWindow.resting);
    EXPECT_EQ(FWindow.resumes, resumes + 1);
    EXPECT_FALSE(FForm.BrowserResting());
  }
  {
    SCOPED_TRACE("suspended twice: the first completion is outdated");
    FForm.SuspendPlayback();
    FireSuspendTimer();
    FForm.SuspendPlayback();
    FireSuspendTimer();
    FWindow.CompleteSuspend();  // the first decision's: the second one's request is under way
    EXPECT_TRUE(FWindow.resting);
    EXPECT_FALSE(FForm.BrowserResting());
    FWindow.CompleteSuspend();
    EXPECT_TRUE(FWindow.resting);
    EXPECT_TRUE(FForm.BrowserResting());
    const int resumes = FWindow.resumes;
    FWindow.TakeCommands();
    // A start (new data) always begins awake.
    ASSERT_TRUE(FForm.StartWallpaper(Record(2)));
    EXPECT_EQ(FWindow.TakeCommands(), (std::vector<std::string>{"wake", "data"}));
    EXPECT_GT(FWindow.resumes, resumes);
  }
  EXPECT_GT(FWindow.resumes, resumesAtStart);
}

TEST_F(WallpaperFormTest, ACompletionAfterTheWindowIsGoneReachesNothing) {
  std::function<void(bool)> late;
  {
    TFakeDesktopStack stack;
    TFakeBackdropWindow window(stack, kWallpaper);
    TFakeWindow loop;
    TFormWallpaper form(window, stack, loop, nullptr);
    ASSERT_TRUE(form.StartWallpaper(Record(1)));
    form.SuspendPlayback();
    const auto tick = loop.timers.begin()->second.second;
    tick();
    late = window.suspendRequests.front();
  }
  late(true);  // the gate was detached: no use of the destroyed window
}

TEST_F(WallpaperFormTest, TheWatchdogAsksForAReattachAndFollowsTheScreen) {
  ASSERT_TRUE(FForm.StartWallpaper(Record(1)));
  LoadPage();
  FWindow.scripts.clear();

  // The icon program quit and a classic desktop took its place.
  FStack.Remove(kIcons);
  FStack.Add(FStack.DesktopWindow(kOpaque, false));
  EXPECT_FALSE(FForm.WatchdogTick());  // the controller decides when to re-attach
  EXPECT_TRUE(FForm.Reattach());
  EXPECT_EQ(FForm.AttachEngine().Structure(), TDesktopStructure::dsAboveOpaque);
  EXPECT_EQ(FStack.Order(), (std::vector<TNativeWindow>{kOpaque, kWallpaper}));
  EXPECT_TRUE(Delivered().empty());  // same screen: the page plays on

  // The screen grew: the window covers it and the page starts over at that size.
  FStack.desktop.screen = {0, 0, 3840, 2160};
  FStack.Find(kOpaque)->geometry = FStack.desktop.screen;
  FForm.FreezePlayback();
  FWindow.scripts.clear();
  FWindow.screenChanged();
  EXPECT_EQ(FWindow.placed.back(), FStack.desktop.screen);
  EXPECT_EQ(FStack.Find(kWallpaper)->geometry, FStack.desktop.screen);
  const std::vector<TJson> data = Delivered();
  ASSERT_EQ(data.size(), 1u);
  EXPECT_EQ(data[0]["w"], 3840);
  EXPECT_EQ(data[0]["srcW"], 1280);
  EXPECT_EQ(FWindow.TakeCommands(), std::vector<std::string>{});
  EXPECT_TRUE(FForm.WatchdogTick());  // nothing new
  EXPECT_TRUE(FWindow.scripts.empty());
}

TEST_F(WallpaperFormTest, AResumeThatCannotGetBackBehindTheIconsKeepsThePageAsleep) {
  ASSERT_TRUE(FForm.StartWallpaper(Record(1)));
  LoadPage();
  FForm.SuspendPlayback();
  FWindow.scripts.clear();
  // Meanwhile the icon program gave way to a classic desktop, and the window
  // manager refuses every restack.
  FStack.Remove(kIcons);
  FStack.Add(FStack.DesktopWindow(kOpaque, false));
  FStack.refuseRestack = true;
  EXPECT_FALSE(FForm.ResumePlayback());
  EXPECT_TRUE(FWindow.scripts.empty());
  FStack.refuseRestack = false;
  EXPECT_TRUE(FForm.ResumePlayback());
  EXPECT_EQ(FWindow.TakeCommands(), std::vector<std::string>{"wake"});
}

TEST(FitPlayDataToScreen, TheScreenBecomesTheCanvasAndTheCreationSizeIsKept) {
  const TScreenRect screen{0, 0, 2560, 1440};
  const struct {
    const char* record;
    const char* fitted;
  } cases[] = {
      {R"({"w":1920,"h":1080,"srcW":1600,"srcH":900})", R"({"w":2560,"h":1440,"srcW":1600,"srcH":900})"},
      {R"({"w":1280,"h":720})", R"({"w":2560,"h":1440,"srcW":1280,"srcH":720})"},
      {R"({"w":1280,"h":720,"srcW":0,"srcH":"x"})", R"({"w":2560,"h":1440,"srcW":1280,"srcH":720})"},
      {R"({"drawList":[]})", R"({"drawList":[],"srcW":2560,"srcH":1440,"w":2560,"h":1440})"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FitPlayDataToScreen(TJson::parse(c.record), screen), TJson::parse(c.fitted)) << c.record;
  }
  EXPECT_EQ(FitPlayDataToScreen(TJson::parse(R"({"w":1})"), {}), TJson::parse(R"({"w":1})"));
}

// What the wallpaper's browser may load: its own page and the active
// hand-over's photos, nothing else.
TEST(WallpaperRouting, ServesThePageAndTheHandedOverPhotosOnly) {
  TTempDir home;
  const char* old = std::getenv("XDG_DATA_HOME");
  const std::optional<std::string> oldHome = old ? std::optional<std::string>(old) : std::nullopt;
  setenv("XDG_DATA_HOME", home.Path().c_str(), 1);
  ASSERT_TRUE(BeginHandoff());
  ASSERT_TRUE(WriteHandoffPhoto(7, Bytes("jpeg seven")));
  ASSERT_TRUE(CommitHandoff("{}"));

  const auto status = [](TWebResponse answer) {
    if (answer.makeLater) answer = answer.makeLater();
    return answer.status;
  };
  const struct {
    const char* uri;
    int status;
  } cases[] = {
      {"tessary-app://app/wallpaper.html", 200},
      {"tessary-app://app/JS/WALLPAPER.JS?v=1", 200},
      {"tessary-live://live/7?t=3", 200},
      {"tessary-live://live/7#top", 200},
      {"tessary-live://live/8", 404},
      {"tessary-live://live/seven", 404},
      {"tessary-live://live/../7", 404},
      {"tessary-photo://photo/a.jpg", 403},
      {"tessary-album://album/a.jpg", 403},
      {"https://example.com/", 403},
  };
  for (const auto& c : cases) EXPECT_EQ(status(RouteWallpaperRequest(c.uri)), c.status) << c.uri;
  TWebResponse photo = RouteWallpaperRequest("tessary-live://live/7");
  ASSERT_TRUE(photo.makeLater);  // read off the window's thread
  photo = photo.makeLater();
  EXPECT_EQ(photo.body, Bytes("jpeg seven"));
  EXPECT_EQ(photo.HeaderText(), "Content-Type: image/jpeg\r\nAccess-Control-Allow-Origin: *\r\nCache-Control: no-store");

  for (const char* uri : {"tessary-app://app/wallpaper.html", "TESSARY-APP://app/index.html"})
    EXPECT_TRUE(IsWallpaperPageOrigin(uri)) << uri;
  for (const char* uri : {"tessary-live://live/1", "https://app/", "tessary-app://application/", "about:blank"})
    EXPECT_FALSE(IsWallpaperPageOrigin(uri)) << uri;

  ClearHandoff();
  if (oldHome) setenv("XDG_DATA_HOME", oldHome->c_str(), 1);
  else unsetenv("XDG_DATA_HOME");
}

}  // namespace
