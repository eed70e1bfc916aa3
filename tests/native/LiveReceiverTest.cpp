// The page's live hand-over through the generator's window: sessions of the
// current page only, photos in chunks within their limits, the commit that
// writes the store and starts the live wallpaper program (and ends a
// worker), the package packed from what the page sent without touching the
// store, and the state reported only when it changes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "shared/Base64.h"
#include "shared/LiveHandoff.h"
#include "tests/native/KiroTestSink.h"
#include "tests/native/MainFormFixture.h"

namespace {

namespace fs = std::filesystem;

class LiveReceiverTest : public MainFormTest {
 protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_DATA_HOME");
    FOldDataHome = old ? std::optional<std::string>(old) : std::nullopt;
    setenv("XDG_DATA_HOME", (root.Path() / "data").c_str(), 1);
  }
  void TearDown() override {
    AbortHandoff();
    if (FOldDataHome) setenv("XDG_DATA_HOME", FOldDataHome->c_str(), 1);
    else unsetenv("XDG_DATA_HOME");
  }
  TJson Message(const char* cmd, int session) const {
    return TJson{{"cmd", cmd}, {"epoch", form.LiveEpoch()}, {"session", session}};
  }
  void SendPhoto(int session, int index, const std::string& bytes, int chunks = 1) {
    const std::string text = Base64Encode(Bytes(bytes));
    const std::size_t size = (text.size() + chunks - 1) / chunks;
    for (int i = 0; i < chunks; ++i) {
      TJson m = Message("livePhoto", session);
      m["index"] = index;
      m["chunkIndex"] = i;
      m["totalChunks"] = chunks;
      m["data"] = text.substr(std::min(text.size(), i * size), size);
      PostJson(m);
    }
  }
  void Commit(const char* cmd, int session) {
    TJson m = Message(cmd, session);
    m["data"] = TJson{{"w", 1920}, {"h", 1080}, {"motion", "drop"}, {"uiJapanese", true}};
    PostJson(m);
  }

  std::optional<std::string> FOldDataHome;
};

TEST_F(LiveReceiverTest, AStartWritesTheHandoverOfTheCurrentSessionAndStartsTheLiveProgram) {
  Start();
  ipc.appearsAfterSleeps = 2;
  PostJson(Message("beginLiveWallpaper", 1));
  SendPhoto(1, 3, "photo three, sent in two chunks", 2);
  SendPhoto(1, 5, "photo five");
  SendPhoto(1, 5, "photo five again");           // the second one stays
  TJson stale = Message("livePhoto", 1);
  stale["epoch"] = form.LiveEpoch() - 1;          // sent by the page before a reload
  stale["index"] = 9;
  stale["data"] = Base64Encode(Bytes("old page"));
  PostJson(stale);
  SendPhoto(1, 7, "seventeen chunks", 17);        // refused
  Commit("startLiveWallpaper", 1);

  std::string data;
  ASSERT_TRUE(ReadHandoffData(data));
  const TJson written = TJson::parse(data);
  EXPECT_EQ(written.dump(),
            R"({"motion":"drop","w":2560,"h":1440,"srcW":1920,"srcH":1080,"workTopFrac":0,"workBottomFrac":1,"uiJapanese":false})");
  std::vector<std::uint8_t> photo;
  ASSERT_TRUE(ReadHandoffPhoto(3, photo));
  EXPECT_EQ(photo, Bytes("photo three, sent in two chunks"));
  ASSERT_TRUE(ReadHandoffPhoto(5, photo));
  EXPECT_EQ(photo, Bytes("photo five again"));
  EXPECT_FALSE(ReadHandoffPhoto(7, photo));
  EXPECT_FALSE(ReadHandoffPhoto(9, photo));
  ASSERT_EQ(ipc.started.size(), 1u);
  EXPECT_EQ(ipc.started[0].first, "TessaryLive");
  EXPECT_EQ(ipc.Methods().back(), "State");
  EXPECT_EQ(window.closeCount, 0) << "a normal window stays";

  // A session takes one commit; an older session is not begun again.
  const std::string active = ActiveGenerationDir();
  Commit("startLiveWallpaper", 1);
  PostJson(Message("beginLiveWallpaper", 1));
  Commit("startLiveWallpaper", 1);
  EXPECT_EQ(ActiveGenerationDir(), active);
}

TEST_F(LiveReceiverTest, AWorkerEndsOnceItsHandoverHasStarted) {
  ipc.others["org.tessary.Live"]["Start"] = 1;
  Start({"--set-wallpaper=20250101-120000-abcdef"});
  PostJson(Message("beginLiveWallpaper", 4));
  SendPhoto(4, 0, "only photo");
  Commit("startLiveWallpaper", 4);
  EXPECT_EQ(window.closeCount, 1);
}

TEST_F(LiveReceiverTest, APackageIsPackedFromWhatThePageSentAndTheStoreIsLeftAlone) {
  const fs::path package = root.Path() / "out.kiro";
  Start({"--kiro-out=" + package.string()});
  Post(R"({"cmd":"chooseImageSave","requestId":"r1","album":false})");
  EXPECT_EQ(OnlyEvent().payload["format"], "kiro");
  PostJson(Message("beginLiveWallpaper", 1));
  SendPhoto(1, 2, "photo two");
  Commit("commitLiveHandoff", 1);
  const TEmitted exported = OnlyEvent();
  EXPECT_EQ(exported.event, "kiroExported");
  EXPECT_EQ(exported.payload.dump(), R"({"format":"kiro","path":")" + package.string() + R"("})");
  TMemoryKiroSink sink;
  ASSERT_TRUE(ImportKiro(package.string(), sink).ok);
  EXPECT_EQ(TJson::parse(sink.data)["srcW"], 1920);
  EXPECT_EQ(sink.photos.at(2), Bytes("photo two"));
  EXPECT_FALSE(fs::exists(HandoffRoot())) << "the running wallpaper's store is not touched";
  EXPECT_TRUE(ipc.started.empty());

  // The chosen path serves one package; a commit without one says nothing.
  PostJson(Message("beginLiveWallpaper", 2));
  SendPhoto(2, 2, "photo two");
  Commit("commitLiveHandoff", 2);
  EXPECT_TRUE(window.TakeEvents().empty());
}

TEST_F(LiveReceiverTest, TheStateIsReportedWhenItChanges) {
  Start();
  ASSERT_EQ(window.timers.size(), 1u);
  const auto tick = [&] { window.timers.begin()->second.second(); };
  tick();
  EXPECT_TRUE(window.TakeEvents().empty()) << "stopped, as at the start";
  ipc.others["org.tessary.Live"]["State"] = 2;
  tick();
  tick();
  auto events = window.TakeEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].payload.dump(), R"({"state":"paused","pauseReasons":[]})");
  ipc.others["org.tessary.Live"]["State"] = 1;
  ipc.others["org.tessary.Live"]["Stop"] = 1;
  Post(R"({"cmd":"stopLiveWallpaper"})");
  EXPECT_EQ(OnlyEvent().payload["state"], "running");
  EXPECT_EQ(ipc.Methods()[ipc.Methods().size() - 2], "Stop");
}

}  // namespace
