// The generator's live wallpaper commands through the command table, with a
// fake bus for the live wallpaper program and a private hand-over store.
#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "generator/LiveWallpaper.h"
#include "shared/Base64.h"
#include "shared/KiroFile.h"
#include "shared/LiveHandoff.h"
#include "tests/native/KiroTestSink.h"
#include "tests/native/MainFormFixture.h"

namespace {

namespace fs = std::filesystem;

const char* const kLive = "org.tessary.Live";

class LiveTest : public MainFormTest {
 protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_DATA_HOME");
    FOldDataHome = old ? std::optional<std::string>(old) : std::nullopt;
    setenv("XDG_DATA_HOME", (root.Path() / "data").c_str(), 1);
    Start(StartArgs());
  }
  virtual std::vector<std::string> StartArgs() const { return {}; }
  void TearDown() override {
    if (FOldDataHome) setenv("XDG_DATA_HOME", FOldDataHome->c_str(), 1);
    else unsetenv("XDG_DATA_HOME");
  }

  int Epoch() const { return form.LiveEpoch(); }
  void Begin(int session, int epoch = -2) {
    PostJson({{"cmd", "beginLiveWallpaper"}, {"epoch", epoch == -2 ? Epoch() : epoch}, {"session", session}});
  }
  void Chunk(int session, int index, int chunkIndex, int total, const std::string& data, int epoch = -2) {
    PostJson({{"cmd", "livePhoto"}, {"epoch", epoch == -2 ? Epoch() : epoch}, {"session", session}, {"index", index},
              {"chunkIndex", chunkIndex}, {"totalChunks", total}, {"data", data}});
  }
  // A whole photo in one chunk.
  void Photo(int session, int index, const std::string& bytes, int epoch = -2) {
    Chunk(session, index, 0, 1, Base64Encode(Bytes(bytes)), epoch);
  }
  void Send(const char* cmd, int session, TJson data = TJson::object(), int epoch = -2) {
    TJson message{{"cmd", cmd}, {"epoch", epoch == -2 ? Epoch() : epoch}, {"session", session}};
    if (!data.is_null()) message["data"] = std::move(data);
    PostJson(message);
  }
  std::string Held(int index) {
    const std::vector<std::uint8_t>* photo = form.LiveWallpaper().HeldPhoto(index);
    return photo ? std::string(photo->begin(), photo->end()) : "(none)";
  }
  // The live wallpaper program runs and answers the state query with `state`.
  void LiveRuns(int state) { ipc.others[kLive] = {{"State", state}, {"Start", 1}, {"Stop", 0}, {"Quit", 0}}; }

  std::optional<std::string> FOldDataHome;
};

TEST_F(LiveTest, SessionsOfAnOlderAttemptOrPageAreRefused) {
  Begin(1, Epoch() - 1);  // before the page's reload
  Photo(1, 0, "a");
  EXPECT_FALSE(form.LiveWallpaper().SessionOpen());
  EXPECT_EQ(Held(0), "(none)");

  Begin(2);
  Photo(2, 0, "first");
  Photo(2, 1, "x", Epoch() - 1);  // right session, old epoch
  Photo(1, 2, "x");               // old session
  Begin(2);                       // not higher: ignored, the photos stay
  Begin(1);
  EXPECT_EQ(Held(0), "first");
  EXPECT_EQ(Held(1), "(none)");
  EXPECT_EQ(Held(2), "(none)");

  // The same index again keeps the second photo and counts it once.
  Photo(2, 0, "second!");
  EXPECT_EQ(Held(0), "second!");
  EXPECT_EQ(form.LiveWallpaper().StoredBytes(), 7u);

  Send("cancelLiveWallpaper", 1);  // not the open session
  EXPECT_EQ(Held(0), "second!");
  Send("cancelLiveWallpaper", 2);
  EXPECT_EQ(Held(0), "(none)");
  Photo(2, 0, "late");
  EXPECT_EQ(Held(0), "(none)");

  // A reload makes every transfer of the earlier page stale.
  Begin(3);
  const int before = Epoch();
  form.OnNavigationCompleted(true);
  EXPECT_EQ(Epoch(), before + 1);
  Photo(3, 0, "stale", before);
  Send("startLiveWallpaper", 3, TJson::object(), before);
  EXPECT_EQ(Held(0), "(none)");
  EXPECT_FALSE(IsHandoffReady());
  Begin(1);  // sessions count again from 0 on a new page
  EXPECT_TRUE(form.LiveWallpaper().SessionOpen());
}

TEST_F(LiveTest, PhotoChunksOutsideTheLimitsAreDroppedSilently) {
  Begin(1);
  const std::string b64 = Base64Encode(Bytes("0123456789ab"));  // 16 characters
  struct TCase {
    const char* what;
    std::vector<std::tuple<int, int, int, std::string>> chunks;  // index, chunkIndex, totalChunks, data
    std::string held;
  };
  const TCase cases[] = {
      {"two chunks in order", {{5, 0, 2, b64.substr(0, 8)}, {5, 1, 2, b64.substr(8)}}, "0123456789ab"},
      {"index below 0", {{-1, 0, 1, b64}}, "(none)"},
      {"index 1000", {{1000, 0, 1, b64}}, "(none)"},
      {"no chunks", {{5, 0, 0, b64}}, "(none)"},
      {"17 chunks, then its next chunk", {{5, 0, 17, b64}, {5, 1, 17, b64}}, "(none)"},
      {"a chunk of 1,052,673 characters", {{5, 0, 1, std::string(1052673, 'A')}}, "(none)"},
      {"a gap", {{5, 0, 3, b64.substr(0, 4)}, {5, 2, 3, b64.substr(4, 4)}, {5, 1, 3, b64.substr(8)}}, "(none)"},
      {"a changed count", {{5, 0, 2, b64.substr(0, 8)}, {5, 1, 3, b64.substr(8)}}, "(none)"},
      {"not base64", {{5, 0, 1, "@@@@"}}, "(none)"},
      {"nothing in it", {{5, 0, 1, ""}}, "(none)"},
  };
  int session = 1;
  for (const TCase& c : cases) {
    Begin(++session);  // a new session starts empty
    for (const auto& [index, chunk, total, data] : c.chunks) Chunk(session, index, chunk, total, data);
    EXPECT_EQ(Held(5), c.held) << c.what;
    EXPECT_EQ(form.LiveWallpaper().PendingBytes(), 0u) << c.what;
  }
  EXPECT_TRUE(window.scripts.empty());  // no chunk is answered
}

TEST_F(LiveTest, TextInTransferIsBoundedAt64MiB) {
  Begin(1);
  const std::string chunk(1052672, 'A');  // 2,105,344 bytes counted
  // Two photos of 16 chunks, 15 of each sent: 63,160,320 bytes in transfer.
  for (int index : {0, 1})
    for (int i = 0; i < 15; ++i) Chunk(1, index, i, 16, chunk);
  EXPECT_EQ(form.LiveWallpaper().PendingBytes(), 63160320u);
  Chunk(1, 2, 0, 2, chunk);  // 65,265,664: still within
  Chunk(1, 2, 1, 2, chunk);  // 67,371,008: over, photo 2 is dropped
  EXPECT_EQ(form.LiveWallpaper().PendingBytes(), 63160320u);
  EXPECT_EQ(Held(2), "(none)");
  Chunk(1, 0, 15, 16, chunk);  // completes within the bound
  EXPECT_EQ(form.LiveWallpaper().PendingBytes(), 31580160u);
  EXPECT_EQ(form.LiveWallpaper().HeldPhotoCount(), 1u);
}

TEST_F(LiveTest, StartWritesTheHandOverLaunchesTheProgramAndReportsItRunning) {
  Post(R"({"cmd":"setLanguage","lang":"ja"})");
  system.workRows = TWorkRows{0, 1400};  // a panel of 40 rows at the bottom
  ipc.appearsAfterSleeps = 2;
  ipc.appearingAnswers = {{"Start", 1}, {"State", 1}};
  Begin(1);
  Photo(1, 0, "photo zero");
  Photo(1, 7, "photo seven");
  const TJson data = {{"motion", "drop"}, {"w", 1920}, {"h", 1080}, {"uiJapanese", false}, {"drawList", TJson::array()},
                      {"photoUrls", {{"0", "tessary-live://live/0"}}}};
  Send("startLiveWallpaper", 1, data);
  EXPECT_EQ(OnlyEvent().payload.dump(), R"({"state":"running","pauseReasons":[]})");
  ASSERT_EQ(ipc.started.size(), 1u);
  EXPECT_EQ(ipc.started[0].first, "TessaryLive");
  EXPECT_TRUE(ipc.started[0].second.empty());

  std::string stored;
  ASSERT_TRUE(ReadHandoffData(stored));
  EXPECT_EQ(stored,
            R"({"motion":"drop","drawList":[],"photoUrls":{"0":"tessary-live://live/0"},"w":2560,"h":1440,)"
            R"("srcW":1920,"srcH":1080,"workTopFrac":0.0,"workBottomFrac":0.9722222222222222,"uiJapanese":true})");
  std::vector<std::uint8_t> photo;
  ASSERT_TRUE(ReadHandoffPhoto(7, photo));
  EXPECT_EQ(std::string(photo.begin(), photo.end()), "photo seven");
  EXPECT_FALSE(ReadHandoffPhoto(1, photo));

  // The photos stay held for the live photo origin; a session takes one commit.
  const TWebResponse served = form.RouteRequest("tessary-live://live/7?v=2");
  EXPECT_EQ(served.status, 200);
  EXPECT_EQ(std::string(served.body.begin(), served.body.end()), "photo seven");
  EXPECT_EQ(form.RouteRequest("tessary-live://live/3").status, 404);
  const std::string generation = ActiveGenerationDir();
  Send("startLiveWallpaper", 1, data);
  EXPECT_TRUE(window.scripts.empty());
  EXPECT_EQ(ActiveGenerationDir(), generation);
}

TEST_F(LiveTest, AHandOverThatCannotStartSaysWhyAndKeepsThePreviousOne) {
  ASSERT_TRUE(BeginHandoff());
  ASSERT_TRUE(CommitHandoff(R"({"previous":true})"));
  // The pointer cannot be replaced: a folder lies where its temporary file goes.
  const fs::path blocker = fs::path(HandoffRoot()) / "active.txt.tmp";
  fs::create_directories(blocker / "x");
  Begin(1);
  Photo(1, 0, "p");
  Send("startLiveWallpaper", 1);
  fs::remove_all(blocker);
  TEmitted e = OnlyEvent();
  EXPECT_EQ(e.event, "liveWallpaperError");
  EXPECT_EQ(e.payload["epoch"], Epoch());
  EXPECT_EQ(e.payload["session"], 1);
  EXPECT_EQ(e.payload["message"],
            "The pictures for the live wallpaper could not be stored. Check the free disk space and try again.");
  std::string stored;
  ASSERT_TRUE(ReadHandoffData(stored));
  EXPECT_EQ(stored, R"({"previous":true})");
  EXPECT_TRUE(ipc.started.empty());

  // Stored, but the program never shows up within 5 s.
  Begin(2);
  Send("startLiveWallpaper", 2);
  e = OnlyEvent();
  EXPECT_EQ(e.event, "liveWallpaperError");
  EXPECT_EQ(e.payload["message"], "The live wallpaper program did not start.");
  EXPECT_EQ(ipc.sleptMs, 5000);
  ASSERT_TRUE(ReadHandoffData(stored));
  EXPECT_NE(stored.find(R"("srcW":2560)"), std::string::npos);  // the page's size defaults to the screen's
}

TEST_F(LiveTest, StateChangesAreReportedOnceAndStoppedClosesTheSession) {
  struct TStep {
    int answer;  // -1: the program is not running
    const char* reported;  // nullptr: nothing
  };
  const TStep steps[] = {{2, "paused"}, {2, nullptr}, {3, "starting"}, {7, "stopped"}, {-1, nullptr}, {1, "running"}};
  auto tick = [&] {
    const auto poll = std::find_if(window.timers.begin(), window.timers.end(),
                                   [](const auto& timer) { return timer.second.first == 1000; });
    ASSERT_NE(poll, window.timers.end());
    poll->second.second();
  };
  for (const TStep& step : steps) {
    if (step.answer < 0) {
      ipc.others.erase(kLive);
    } else {
      LiveRuns(step.answer);
    }
    tick();
    const auto events = window.TakeEvents();
    if (!step.reported) {
      EXPECT_TRUE(events.empty()) << step.answer;
    } else {
      ASSERT_EQ(events.size(), 1u) << step.answer;
      EXPECT_EQ(events[0].payload["state"], step.reported);
    }
  }

  // "stopped" ends an open session and drops its photos.
  Begin(1);
  Photo(1, 0, "p");
  LiveRuns(0);
  tick();
  EXPECT_EQ(OnlyEvent().payload["state"], "stopped");
  EXPECT_FALSE(form.LiveWallpaper().SessionOpen());
  EXPECT_EQ(Held(0), "(none)");

  // One question at a time: a tick while one waits asks nothing.
  window.deferBackground = true;
  ipc.calls.clear();
  tick();
  tick();
  EXPECT_EQ(window.background.size(), 1u);
  window.RunBackground();
  EXPECT_EQ(ipc.Methods(), (std::vector<std::string>{"State"}));
}

TEST_F(LiveTest, StopAsksTheProgramAndReportsItsState) {
  LiveRuns(1);
  form.OnNavigationCompleted(true);
  // A new page hears of a wallpaper that runs already.
  auto events = window.TakeEvents();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[2].payload["state"], "running");
  ipc.calls.clear();
  ipc.others[kLive]["State"] = 0;
  Post(R"({"cmd":"stopLiveWallpaper"})");
  EXPECT_EQ(ipc.Methods(), (std::vector<std::string>{"Stop", "State"}));
  EXPECT_EQ(OnlyEvent().payload["state"], "stopped");
}

// "--kiro-out=" answers the save dialog with a package at once.
class LivePackageTest : public LiveTest {
 protected:
  fs::path Package() const { return root.Path() / "out" / "mine.kiro"; }
  std::vector<std::string> StartArgs() const override { return {"--kiro-out=" + Package().string()}; }
  void ChoosePackage() {
    Post(R"({"cmd":"chooseImageSave","requestId":"k"})");
    EXPECT_EQ(OnlyEvent().payload["format"], "kiro");
  }
};

TEST_F(LivePackageTest, APackageIsPackedOffTheWindowThreadFromWhatThePageSent) {
  // A live wallpaper plays its own hand-over meanwhile.
  LiveRuns(1);
  ASSERT_TRUE(BeginHandoff());
  ASSERT_TRUE(CommitHandoff(R"({"playing":true})"));
  const std::string playing = ActiveGenerationDir();
  fs::create_directories(Package().parent_path());
  ChoosePackage();
  Begin(1);
  Photo(1, 0, "photo zero");
  Photo(1, 7, "photo seven");
  Send("commitLiveHandoff", 1, {{"motion", "drop"}, {"w", 1920}, {"h", 1080}}, Epoch() - 1);  // stale: ignored
  EXPECT_TRUE(window.scripts.empty());
  EXPECT_TRUE(form.LiveWallpaper().SessionOpen());

  window.deferBackground = true;
  Send("commitLiveHandoff", 1, {{"motion", "drop"}, {"w", 1920}, {"h", 1080}});
  EXPECT_TRUE(window.scripts.empty());
  EXPECT_FALSE(form.LiveWallpaper().SessionOpen());
  EXPECT_EQ(form.SaveFlow().ChosenKiroPath(), "");
  ASSERT_EQ(window.background.size(), 1u);
  window.RunBackground();
  EXPECT_EQ(OnlyEvent().payload.dump(), R"({"format":"kiro","path":")" + Package().string() + R"("})");

  TMemoryKiroSink sink;
  const TKiroResult read = ImportKiro(Package().string(), sink);
  ASSERT_TRUE(read.ok) << read.error;
  EXPECT_EQ(sink.data, R"({"motion":"drop","w":2560,"h":1440,"srcW":1920,"srcH":1080,"workTopFrac":0.0,)"
                       R"("workBottomFrac":1.0,"uiJapanese":false})");
  EXPECT_EQ(sink.photos.at(0), Bytes("photo zero"));
  EXPECT_EQ(sink.photos.at(7), Bytes("photo seven"));
  EXPECT_EQ(sink.photos.size(), 2u);
  // The wallpaper that plays keeps its hand-over, and nothing was started or stopped.
  EXPECT_EQ(ActiveGenerationDir(), playing);
  std::string stored;
  ASSERT_TRUE(ReadHandoffData(stored));
  EXPECT_EQ(stored, R"({"playing":true})");
  EXPECT_TRUE(ipc.started.empty());
  const std::vector<std::string> calls = ipc.Methods();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "Stop"), 0);

  // The chosen file serves one package: a commit without one answers nothing.
  Begin(2);
  Photo(2, 0, "again");
  Send("commitLiveHandoff", 2);
  EXPECT_TRUE(window.background.empty());
  EXPECT_TRUE(window.scripts.empty());
}

TEST_F(LivePackageTest, APackageThatCannotBeWrittenSaysWhy) {
  struct TCase {
    const char* what;
    bool withPhoto;
    std::string error;
  };
  const TCase cases[] = {
      {"the chosen folder is gone", true, Package().string() + ": No such file or directory"},
      {"no photo arrived", false, "写真が1枚も入っていません"},
  };
  int session = 0;
  for (const TCase& c : cases) {
    ChoosePackage();
    Begin(++session);
    if (c.withPhoto) Photo(session, 0, "p");
    Send("commitLiveHandoff", session);
    const TEmitted e = OnlyEvent();
    EXPECT_EQ(e.event, "kiroExported") << c.what;
    EXPECT_EQ(e.payload["format"], "kiro") << c.what;
    EXPECT_EQ(e.payload["error"], c.error) << c.what;
    EXPECT_FALSE(e.payload.contains("path")) << c.what;
    EXPECT_FALSE(fs::exists(Package())) << c.what;
  }
  EXPECT_FALSE(IsHandoffReady());
}

TEST_F(LiveTest, TheGeneratorsNameShowsTheWindowAndOpensCreations) {
  EXPECT_EQ(ipc.Call(MainIpcService(), "ShowMain", std::nullopt, 500), 1);
  EXPECT_EQ(window.frontCount, 1);
  EXPECT_EQ(ipc.Call(MainIpcService(), "OpenCreation", "20240501-101500-abcd", 2000), 1);
  EXPECT_EQ(window.frontCount, 2);
  EXPECT_EQ(OnlyEvent().payload.dump(), R"({"id":"20240501-101500-abcd","setWallpaper":false})");
  EXPECT_EQ(ipc.Call(MainIpcService(), "OpenCreation", "../../etc", 2000), 1);
  EXPECT_TRUE(window.scripts.empty());
}

TEST_F(LiveTest, TheWallpaperTestHandsOverADemoAndLogsItsSteps) {
  LiveRuns(1);
  fs::create_directories(root.Path() / "tmp");
  TFormMain tester(window, window, window, system, codec, desktopProvider, ipc);
  ASSERT_FALSE(tester.FormCreate({"--wallpaper-test"}).endNow);
  tester.OnNavigationCompleted(true);
  std::string stored;
  ASSERT_TRUE(ReadHandoffData(stored));
  EXPECT_EQ(stored, R"({"w":2560,"h":1440,"motion":"album","speed":1,"drawList":[],"background":"paper",)"
                    R"("frame":"cheki","filter":"","title":"Tessary","titleCfg":{"font":"gothic"},)"
                    R"("spotlightIndex":-1,"albumCfg":{"cover":"cloth","mat":"black"},"holdSec":5})");
  EXPECT_EQ(ipc.Methods().back(), "State");
  const std::string log = ReadText(root.Path() / "tmp" / "tessary_wallpaper.log");
  EXPECT_NE(log.find(" [Test] starting demo wallpaper\n"), std::string::npos) << log;
  EXPECT_NE(log.find(" [Test] demo hand-over stored\n"), std::string::npos) << log;
  EXPECT_NE(log.find(" [Test] start request delivered\n"), std::string::npos) << log;
  EXPECT_EQ(log[2], ':');
  EXPECT_EQ(log[8], '.');
}

}  // namespace
