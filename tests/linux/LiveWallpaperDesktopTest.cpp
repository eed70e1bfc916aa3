// The real TessaryLive on a real desktop (openbox, picom, pcmanfm, our
// see-through icon layer) under Xvfb: it plays the sample pile handed over
// into a private store behind the icons and below normal windows, finds
// its place again when the desktop program restarts, plays on when its
// page's process dies, covers a resized screen, answers the generator's
// messages with its real state, and says once why it cannot play in a
// Wayland session. Pictures of the screen go
// to TESSARY_SHOTS_DIR for a person to look at.
#include "X11DesktopFixture.h"

#include <X11/Xutil.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/linux/GDBusTransport.h"
#include "shared/WallpaperIpc.h"

namespace {

namespace fs = std::filesystem;

const std::string kLiveProgram = std::string(TESSARY_BIN_DIR) + "/TessaryLive";
// TessaryLive and the web process it starts, on a busy machine.
constexpr int kLiveStartMs = 30000;
// The program checks its place every 5 s.
constexpr int kReattachMs = 15000;

class LiveWallpaperDesktop : public TX11DesktopFixture {
 protected:
  void SetUp() override {
    TX11DesktopFixture::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    // Inherited by TessaryLive: no accessibility bus, no desktop file
    // services, and the browser draws in software at full rate under Xvfb
    // whether or not the machine has a GPU.
    ::setenv("NO_AT_BRIDGE", "1", 1);
    ::setenv("GIO_USE_VFS", "local", 1);
    ::setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 1);
    FBus = std::make_unique<TGDBusTransport>(nullptr, TESSARY_BIN_DIR);
  }
  void TearDown() override {
    if (FBus && FLive) {
      SendWallpaperCommand(*FBus, kMsgQuit);
      if (FLive->Wait(5000) != 0) ADD_FAILURE() << "TessaryLive did not end on quit";
      if (HasFailure()) std::printf("TessaryLive's output:\n%s%s", FLiveOutput.c_str(), FLive->Stderr().c_str());
    }
    TX11DesktopFixture::TearDown();
  }

  // The sample pile with its photos, as the generator hands it over.
  void HandOverThePile() {
    std::vector<std::string> argv{TESSARY_HANDOFF_WRITER, "--once",
                                  std::string(TESSARY_SOURCE_DIR) + "/tests/fixtures/live/pile-1920x1080.json"};
    std::set<std::string> photos;
    for (const auto& entry : fs::directory_iterator(std::string(TESSARY_SOURCE_DIR) + "/samples/photos"))
      if (entry.path().extension() == ".jpg") photos.insert(entry.path().string());
    argv.insert(argv.end(), photos.begin(), photos.end());
    TChildProcess writer(argv);
    ASSERT_EQ(writer.Wait(kStartMs), 0) << writer.Stderr();
  }

  TWallpaperStateCode State() { return QueryWallpaperState(*FBus); }

  // Starts TessaryLive and waits until it plays; its window becomes FWallpaper.
  void StartLive() {
    FLive = &Start({kLiveProgram});
    ASSERT_TRUE(WaitUntil([&] { return State() == scRunning; }, kLiveStartMs)) << FLive->Stderr();
    FWallpaper = LiveWindow();
    ASSERT_NE(FWallpaper, 0u) << DumpStack();
  }

  // TessaryLive's window on screen, 0 when none is.
  Window LiveWindow() {
    for (const TStackedWindow& window : FStack->Query().windows) {
      if (!window.mapped) continue;
      char* name = nullptr;
      if (!XFetchName(FDisplay, window.id, &name) || !name) continue;
      const bool ours = std::string(name) == "Tessary Live Wallpaper";
      XFree(name);
      if (ours) return window.id;
    }
    return 0;
  }

  // A grid of screen pixels over the area.
  std::vector<std::uint32_t> Samples(int width, int height) {
    XImage* image = XGetImage(FDisplay, DefaultRootWindow(FDisplay), 0, 0, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    std::vector<std::uint32_t> pixels;
    if (!image) return pixels;
    for (int row = 0; row < 12; ++row)
      for (int column = 0; column < 16; ++column)
        pixels.push_back(static_cast<std::uint32_t>(
                             XGetPixel(image, (2 * column + 1) * width / 32, (2 * row + 1) * height / 24)) &
                         0xFFFFFF);
    XDestroyImage(image);
    return pixels;
  }
  // The pile covers the area where `blank` (the bare root or the desktop's
  // own colour) was: few sample points still show it.
  bool PileCovers(int width, int height, std::uint32_t blank) {
    const std::vector<std::uint32_t> pixels = Samples(width, height);
    const auto bare = std::count_if(pixels.begin(), pixels.end(), [&](std::uint32_t p) { return SameColour(p, blank); });
    return !pixels.empty() && bare * 5 < static_cast<long>(pixels.size());
  }
  bool EventuallyCovers(int width, int height, std::uint32_t blank) {
    return WaitUntil([&] { return PileCovers(width, height, blank); }, kSettleMs);
  }
  // Prints lie on the desk: enough sample points show their white paper.
  bool PrintsShow(int width, int height) {
    return WaitUntil([&] {
      const std::vector<std::uint32_t> pixels = Samples(width, height);
      const auto paper = std::count_if(pixels.begin(), pixels.end(), [](std::uint32_t p) {
        return (p >> 16 & 0xFF) > 225 && (p >> 8 & 0xFF) > 225 && (p & 0xFF) > 215;
      });
      return paper * 20 >= static_cast<long>(pixels.size());
    }, kLiveStartMs);
  }
  // How often TessaryLive has said `text` so far.
  int LiveSaid(const std::string& text) {
    if (FLive) FLiveOutput += FLive->Stderr();
    int count = 0;
    for (std::size_t at = FLiveOutput.find(text); at != std::string::npos; at = FLiveOutput.find(text, at + 1)) ++count;
    return count;
  }
  // The browser's web process started by `program` (directly or inside the
  // engine's sandbox); 0 when there is none.
  static pid_t WebProcessOf(pid_t program) {
    std::map<pid_t, pid_t> parents;
    std::vector<pid_t> pages;
    for (const auto& entry : fs::directory_iterator("/proc")) {
      std::ifstream stat(entry.path() / "stat");
      std::string line;
      if (!std::getline(stat, line) || line.rfind(')') == std::string::npos) continue;
      const pid_t pid = std::atoi(entry.path().filename().c_str());
      std::istringstream rest(line.substr(line.rfind(')') + 2));
      std::string state;
      rest >> state >> parents[pid];
      if (line.find("(WebKitWebProces") != std::string::npos) pages.push_back(pid);
    }
    for (const pid_t page : pages)
      for (pid_t up = parents[page]; up > 1; up = parents[up])
        if (up == program) return page;
    return 0;
  }
  // The picture changes: the pile is falling or leaving with the wind.
  bool PileMoves() {
    const std::vector<std::uint32_t> first = Samples(1280, 800);
    return WaitUntil([&] { return Samples(1280, 800) != first; }, kSettleMs);
  }

  std::unique_ptr<TGDBusTransport> FBus;
  TChildProcess* FLive = nullptr;
  std::string FLiveOutput;
  static constexpr std::uint32_t kBlack = 0x000000;
};

}  // namespace

TEST_F(LiveWallpaperDesktop, PlaysBehindTheIconsAndFindsItsPlaceWhenTheIconProgramRestarts) {
  StartOpenbox();
  StartPicom();
  TChildProcess& icons = StartIcons();
  const Window iconLayer = FirstDesktopWindow(true);
  const Window normal = NormalWindow();
  ASSERT_NO_FATAL_FAILURE(HandOverThePile());
  ASSERT_NO_FATAL_FAILURE(StartLive());

  ASSERT_TRUE(WaitUntil([&] { return StackIndex(FWallpaper) >= 0; }, kSettleMs));
  EXPECT_LT(StackIndex(FWallpaper), StackIndex(iconLayer));
  EXPECT_LT(StackIndex(iconLayer), StackIndex(normal));
  XWindowAttributes attributes;
  ASSERT_TRUE(XGetWindowAttributes(FDisplay, FWallpaper, &attributes));
  EXPECT_EQ(attributes.width, 1280);
  EXPECT_EQ(attributes.height, 800);
  EXPECT_TRUE(EventuallyCovers(1280, 800, kBlack));
  EXPECT_TRUE(Shows(IconCentre(1), IconCentre(2), kIconYellow));  // the icons on top
  EXPECT_TRUE(Shows(kNormalX, kNormalY, kGreen));                  // windows above
  EXPECT_TRUE(PileMoves());
  EXPECT_TRUE(PrintsShow(1280, 800));
  EXPECT_TRUE(Shows(IconCentre(1), IconCentre(2), kIconYellow));
  Shot("live-below-icons");

  // The icon program dies: the wallpaper becomes the desktop; it comes back
  // with a new window: the wallpaper goes behind that one.
  const auto placements = [&](int structure) {
    return LiveSaid("attach-once structure=" + std::to_string(structure));
  };
  ASSERT_EQ(placements(2), 1);
  Kill(icons);
  EXPECT_TRUE(WaitUntil([&] { return placements(1) == 1; }, kReattachMs)) << FLiveOutput;
  EXPECT_EQ(StackIndex(FWallpaper), 0);
  StartIcons();
  const Window restarted = FirstDesktopWindow(true);
  EXPECT_TRUE(WaitUntil([&] { return placements(2) == 2; }, kReattachMs)) << FLiveOutput;
  EXPECT_LT(StackIndex(FWallpaper), StackIndex(restarted));
  EXPECT_TRUE(EventuallyShows(IconCentre(1), IconCentre(2), kIconYellow));
  EXPECT_TRUE(EventuallyCovers(1280, 800, kBlack));
  Shot("live-icons-restarted");

  // The generator's messages, with the state they report.
  EXPECT_TRUE(SendWallpaperCommand(*FBus, kMsgStop));
  EXPECT_EQ(State(), scStopped);
  EXPECT_TRUE(WaitUntil([&] { return StackIndex(FWallpaper) < 0; }, kSettleMs));
  EXPECT_TRUE(SendWallpaperCommand(*FBus, kMsgStart));
  EXPECT_TRUE(WaitUntil([&] { return State() == scRunning; }, kSettleMs));
  EXPECT_TRUE(WaitUntil([&] { return StackIndex(FWallpaper) >= 0 && StackIndex(FWallpaper) < StackIndex(restarted); },
                        kSettleMs));
}

TEST_F(LiveWallpaperDesktop, CoversAClassicDesktopThroughRestartsOfTheDesktopProgramAndOfItsPage) {
  StartOpenbox();
  StartPicom();
  TChildProcess& pcmanfm = StartPcmanfm();
  const Window desktop = FirstDesktopWindow(false);
  const Window normal = NormalWindow();
  EXPECT_TRUE(EventuallyShows(640, 700, kDesktopBlue));
  ASSERT_NO_FATAL_FAILURE(HandOverThePile());
  ASSERT_NO_FATAL_FAILURE(StartLive());

  ASSERT_TRUE(WaitUntil([&] { return StackIndex(FWallpaper) >= 0; }, kSettleMs));
  EXPECT_LT(StackIndex(desktop), StackIndex(FWallpaper));
  EXPECT_LT(StackIndex(FWallpaper), StackIndex(normal));
  EXPECT_TRUE(EventuallyCovers(1280, 800, kDesktopBlue));
  EXPECT_TRUE(Shows(kNormalX, kNormalY, kGreen));
  EXPECT_TRUE(PrintsShow(1280, 800));
  Shot("live-over-classic-desktop");

  // The desktop program quits: the wallpaper becomes the desktop; it
  // starts again: the wallpaper is placed above its new window.
  Kill(pcmanfm);
  EXPECT_TRUE(WaitUntil([&] { return LiveSaid("attach-once structure=1") == 1; }, kReattachMs)) << FLiveOutput;
  StartPcmanfm();
  const Window again = FirstDesktopWindow(false);
  EXPECT_TRUE(WaitUntil([&] { return LiveSaid("attach-once structure=3") == 2; }, kReattachMs)) << FLiveOutput;
  EXPECT_LT(StackIndex(again), StackIndex(FWallpaper));
  EXPECT_TRUE(EventuallyCovers(1280, 800, kDesktopBlue));
  EXPECT_TRUE(Shows(kNormalX, kNormalY, kGreen));
  Shot("live-classic-desktop-restarted");

  // The page's process dies: the browser loads the page again and the
  // wallpaper plays on.
  const pid_t page = WebProcessOf(FLive->Pid());
  ASSERT_GT(page, 0);
  ::kill(page, SIGKILL);
  EXPECT_TRUE(WaitUntil([&] { return LiveSaid("page reloaded, playing again") == 1; }, kLiveStartMs)) << FLiveOutput;
  EXPECT_EQ(State(), scRunning);
  EXPECT_TRUE(PileMoves());
  EXPECT_TRUE(PrintsShow(1280, 800));
}

TEST_F(LiveWallpaperDesktop, CoversTheScreenAtItsNewSize) {
  ASSERT_NO_FATAL_FAILURE(MoveToResizableScreen());
  StartOpenbox();
  ASSERT_NO_FATAL_FAILURE(HandOverThePile());
  ASSERT_NO_FATAL_FAILURE(StartLive());
  EXPECT_TRUE(EventuallyCovers(1280, 800, kBlack));

  ASSERT_EQ(RunCommand("xrandr -s 1600x1200"), 0);
  EXPECT_TRUE(WaitUntil([&] {
    XWindowAttributes attributes;
    return XGetWindowAttributes(FDisplay, FWallpaper, &attributes) && attributes.width == 1600 &&
           attributes.height == 1200;
  }, kReattachMs));
  EXPECT_TRUE(EventuallyCovers(1600, 1200, kBlack));
  EXPECT_TRUE(PrintsShow(1600, 1200));  // played anew at that size
  EXPECT_EQ(LiveSaid("screen now 1600x1200"), 1);
  Shot("live-randr-1600x1200");
}

TEST_F(LiveWallpaperDesktop, AWaylandSessionIsExplainedOnce) {
  // The desktop's notification service, recording what it is asked to show.
  TChildProcess& notices =
      Start({"/usr/bin/python3", "-m", "dbusmock", "--template", "notification_daemon"});
  ASSERT_TRUE(WaitUntil([&] { return FBus->NameHasOwner("org.freedesktop.Notifications"); }, kStartMs))
      << notices.Stderr();
  ::setenv("WAYLAND_DISPLAY", "tessary-no-such-display", 1);
  ASSERT_NO_FATAL_FAILURE(HandOverThePile());
  FLive = &Start({kLiveProgram});
  ::unsetenv("WAYLAND_DISPLAY");
  ASSERT_TRUE(WaitUntil([&] { return FindWallpaperIpc(*FBus); }, kLiveStartMs)) << FLive->Stderr();
  EXPECT_TRUE(SendWallpaperCommand(*FBus, kMsgStart));  // the generator asks again
  EXPECT_EQ(State(), scStopped);
  EXPECT_EQ(LiveWindow(), 0u);  // never on screen
  SendWallpaperCommand(*FBus, kMsgQuit);
  ASSERT_EQ(FLive->Wait(5000), 0);
  FLive = nullptr;

  TChildProcess calls({"/usr/bin/gdbus", "call", "--session", "--dest", "org.freedesktop.Notifications",
                       "--object-path", "/org/freedesktop/Notifications", "--method",
                       "org.freedesktop.DBus.Mock.GetCalls"});
  ASSERT_EQ(calls.Wait(5000), 0) << calls.Stderr();
  const std::string shown = calls.RestOfStdout();
  const auto count = [&](const std::string& text) {
    int n = 0;
    for (std::size_t at = shown.find(text); at != std::string::npos; at = shown.find(text, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("'Notify'"), 1) << shown;
  EXPECT_EQ(count("Live wallpapers need an X11 session."), 1) << shown;
  EXPECT_EQ(count("'Tessary Live Wallpaper'"), 1) << shown;
}
