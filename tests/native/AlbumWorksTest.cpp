// The creation commands through the generator's window: what the page sends
// and receives, the files served after an opening, and the start at sign-in.
#include <gtest/gtest.h>

#include <filesystem>

#include "shared/Base64.h"
#include "shared/FileAccess.h"
#include "tests/native/MainFormFixture.h"

namespace {

namespace fs = std::filesystem;

TJson SaveMessage(const std::string& name, bool autoStart, const std::string& sourceFolder = "",
                  const std::string& id = "") {
  TJson record{{"schema", 1},
               {"name", name},
               {"sourceFolder", sourceFolder.empty() ? TJson() : TJson(sourceFolder)},
               {"photos", TJson::array({TJson{{"name", "a.jpg"}, {"origin", "folder"}},
                                        TJson{{"name", "0002.jpg"}, {"origin", "copied"}}})},
               {"settings", TJson{{"motion", "drop"}}},
               {"autoStart", autoStart}};
  if (!id.empty()) record["id"] = id;
  return TJson{{"cmd", "albumSave"},
               {"json", record.dump()},
               {"coverPngDataUrl", "data:image/jpeg;base64," + Base64Encode(Bytes("IMG 4 3"))},
               {"copies", TJson::array({TJson{{"name", "0002.jpg"},
                                              {"dataUrl", "data:image/jpeg;base64," + Base64Encode(Bytes("IMG 8 6"))}}})}};
}

class AlbumWorksTest : public MainFormTest {
 protected:
  std::string SaveOne(const std::string& name, bool autoStart = false, const std::string& source = "") {
    PostJson(SaveMessage(name, autoStart, source));
    const TEmitted saved = OnlyEvent();
    EXPECT_EQ(saved.event, "albumSaved");
    return saved.payload["id"].get<std::string>();
  }
  fs::path Albums() const { return root.Path() / "data" / "Tessary" / "albums"; }
};

TEST_F(AlbumWorksTest, SavesListsOpensAndDeletesACreation) {
  Start();
  TTempDir source;
  source.Write("a.jpg", "IMG 2 2");
  const std::string id = SaveOne("Trip", false, source.Path().string());

  Post(R"({"cmd":"albumSaveList","purpose":"browse"})");
  TEmitted list = OnlyEvent();
  EXPECT_EQ(list.event, "albumList");
  EXPECT_EQ(list.payload["purpose"], "browse");
  ASSERT_EQ(list.payload["albums"].size(), 1u);
  const TJson entry = list.payload["albums"][0];
  EXPECT_EQ(entry["id"], id);
  EXPECT_EQ(entry["name"], "Trip");
  EXPECT_EQ(entry["photoCount"], 2);
  EXPECT_EQ(entry["availableCount"], 2);
  EXPECT_EQ(entry["cover"], "data:image/jpeg;base64," + Base64Encode(Bytes("IMG 4 3")));

  // Opening serves the source folder on the photo origin and the copies on the album files origin.
  EXPECT_EQ(form.RouteRequest("tessary-album://album/0002.jpg").status, 404) << "nothing opened yet";
  PostJson({{"cmd", "albumLoad"}, {"id", id}});
  const TEmitted loaded = OnlyEvent();
  EXPECT_EQ(loaded.event, "albumLoaded");
  EXPECT_EQ(TJson::parse(loaded.payload["json"].get<std::string>())["name"], "Trip");
  EXPECT_EQ(loaded.payload["folderBaseUrl"], "tessary-photo://photo/");
  EXPECT_EQ(loaded.payload["copiedBaseUrl"], "tessary-album://album/");
  EXPECT_EQ(form.PhotoDir(), source.Path().string());
  EXPECT_EQ(form.RouteRequest("tessary-album://album/0002.jpg").status, 200);
  EXPECT_EQ(form.RouteRequest("tessary-album://album/..%2Falbum.json").status, 404);
  EXPECT_EQ(form.RouteRequest("tessary-photo://photo/a.jpg").status, 200);

  // Without its source folder the creation opens with its copies only.
  fs::remove_all(source.Path());
  PostJson({{"cmd", "albumLoad"}, {"id", id}});
  EXPECT_FALSE(OnlyEvent().payload.contains("folderBaseUrl"));
  EXPECT_EQ(form.PhotoDir(), "");

  PostJson({{"cmd", "albumDelete"}, {"id", id}});
  EXPECT_EQ(OnlyEvent().payload.dump(), R"({"id":")" + id + R"("})");
  Post(R"({"cmd":"albumSaveList"})");
  list = OnlyEvent();
  EXPECT_EQ(list.payload.dump(), R"({"albums":[]})") << "a list asked without purpose answers without one";
}

TEST_F(AlbumWorksTest, FailuresAnswerAlbumErrorInTheUsersLanguage) {
  Start();
  Post(R"({"cmd":"albumLoad","id":"no-such"})");
  EXPECT_EQ(OnlyEvent().payload.dump(), R"({"message":"Album not found"})");
  Post(R"({"cmd":"setLanguage","lang":"ja"})");
  TJson unnamed = SaveMessage(" ", false);
  PostJson(unnamed);
  const TEmitted error = OnlyEvent();
  EXPECT_EQ(error.event, "albumError");
  EXPECT_EQ(error.payload["message"], "作品の名前が正しくありません（1〜100 文字）");
  EXPECT_FALSE(fs::exists(Albums()) && !fs::is_empty(Albums())) << "no stage folder left";
}

TEST_F(AlbumWorksTest, TheSignInStartFollowsTheMarkedCreation) {
  Start();
  const std::string first = SaveOne("First", true);
  EXPECT_TRUE(system.startsAtSignIn);
  const std::string second = SaveOne("Second", true);
  EXPECT_TRUE(system.startsAtSignIn);
  Post(R"({"cmd":"albumSaveList"})");
  const TEmitted list = OnlyEvent();
  for (const TJson& entry : list.payload["albums"]) EXPECT_EQ(entry["autoStart"], entry["id"] == second);

  PostJson({{"cmd", "albumDelete"}, {"id", second}});
  window.TakeEvents();
  EXPECT_FALSE(system.startsAtSignIn) << "deleting the only marked creation ends the start at sign-in";

  // A form that cannot register says so before the save's answer.
  system.signInAvailable = false;
  PostJson(SaveMessage("Third", true));
  const auto events = window.TakeEvents();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].event, "autoStartUnavailable");
  EXPECT_EQ(events[1].event, "albumSaved");
  (void)first;
}

TEST_F(AlbumWorksTest, TheMarkedCreationIsRestoredOnceAtTheFirstPageLoad) {
  fs::create_directories(Albums() / "20250101-120000-abcdef");
  TTempDir scratch;
  const TJson record{{"schema", 1}, {"name", "Kept"}, {"photos", TJson::array()}, {"autoStart", true}};
  WriteTextFileWithBom((Albums() / "20250101-120000-abcdef" / "album.json").string(), record.dump());
  fs::create_directories(Albums() / "20250101-120000-abcdef.stage-123abc");

  ASSERT_FALSE(form.FormCreate({}).endNow);
  EXPECT_FALSE(fs::exists(Albums() / "20250101-120000-abcdef.stage-123abc")) << "an interrupted save is swept";
  form.OnBrowserCreated(true, {});
  form.OnNavigationCompleted(true);
  const auto events = window.TakeEvents();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back().event, "albumAutoStart");
  EXPECT_EQ(events.back().payload.dump(), R"({"id":"20250101-120000-abcdef"})");
  EXPECT_TRUE(system.startsAtSignIn);

  form.OnNavigationCompleted(true);
  for (const TEmitted& e : window.TakeEvents()) EXPECT_NE(e.event, "albumAutoStart") << "once per run";
}

TEST_F(AlbumWorksTest, AWorkerNeitherRestoresNorSweeps) {
  fs::create_directories(Albums() / "20250101-120000-abcdef.stage-123abc");
  ASSERT_FALSE(form.FormCreate({"--set-wallpaper=20250101-120000-abcdef"}).endNow);
  form.OnBrowserCreated(true, {});
  form.OnNavigationCompleted(true);
  for (const TEmitted& e : window.TakeEvents()) EXPECT_NE(e.event, "albumAutoStart");
  EXPECT_TRUE(system.signInRequests.empty());
  EXPECT_TRUE(fs::exists(Albums() / "20250101-120000-abcdef.stage-123abc"));
}

}  // namespace
