#include <algorithm>
#include <filesystem>
#include <fstream>

#include "shared/Base64.h"
#include "tests/native/MainFormFixture.h"

namespace {

TEST_F(MainFormTest, IgnoresMalformedOrForeignMessages) {
  Start();
  const std::string getFonts = R"({"cmd":"getFonts"})";
  form.OnPageMessage("tessary-app://app/index.html", std::nullopt);
  form.OnPageMessage("https://evil.example/index.html", getFonts);
  form.OnPageMessage("tessary-photo://photo/x.html", getFonts);
  form.OnPageMessage("tessary-app://app", getFonts);
  for (const char* text : {"", "not json", "[\"getFonts\"]", "\"getFonts\"", "42", "{\"cmd\":\"GetFonts\"}",
                           "{\"cmd\":\"getfonts\"}", "{\"cmd\":7}", "{}", "{\"cmd\":\"noSuchCommand\"}",
                           "{\"cmd\":\"getFonts\""}) {
    Post(std::string(text));
  }
  EXPECT_TRUE(window.scripts.empty());
  form.OnPageMessage("TESSARY-APP://APP/index.html", getFonts);
  EXPECT_EQ(OnlyEvent().event, "fonts");
}

// A handler that fails answers with its command's error event, and the
// window takes the next command as usual.
TEST_F(MainFormTest, AFailingCommandIsAnsweredAndTheWindowGoesOn) {
  Start();
  window.dialogFailure = "no file chooser available";
  Post(R"({"cmd":"chooseImageSave","requestId":"r1"})");
  EXPECT_EQ(OnlyEvent().payload.dump(), R"({"requestId":"r1","message":"no file chooser available"})");
  Post(R"({"cmd":"getFonts"})");
  EXPECT_EQ(OnlyEvent().event, "fonts");
}

TEST_F(MainFormTest, StartsWithCaptionAndRunsThePageReadySequence) {
  system.japanese = true;
  ASSERT_FALSE(form.FormCreate({"--photo-folder=" + root.Path().string(), "--open-album=20250101-120000-abcdef"})
                   .endNow);
  EXPECT_EQ(window.titles.back(), "テッサリー − 思い出を机いっぱいに");
  form.OnBrowserCreated(true, {});
  EXPECT_TRUE(window.lockedDown);
  EXPECT_EQ(window.navigations, (std::vector<std::string>{"tessary-app://app/index.html"}));
  EXPECT_TRUE(window.scripts.empty());

  form.OnNavigationCompleted(false);
  EXPECT_TRUE(window.scripts.empty());
  form.OnNavigationCompleted(true);
  auto events = window.TakeEvents();
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0].event, "wallpaperBackupState");
  EXPECT_EQ(events[1].event, "displayInfo");
  EXPECT_EQ(events[1].payload.dump(), R"({"w":2560,"h":1440,"liveEpoch":1})");
  EXPECT_EQ(events[2].event, "openAlbumRequested");
  EXPECT_EQ(events[2].payload.dump(), R"({"id":"20250101-120000-abcdef","setWallpaper":false})");
  EXPECT_EQ(events[3].event, "materialFolderPicked");
  EXPECT_EQ(form.PhotoDir(), root.Path().string());

  // A reload is a new page generation; the start options were used up.
  form.OnNavigationCompleted(true);
  events = window.TakeEvents();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1].payload["liveEpoch"], 2);
}

TEST_F(MainFormTest, BrowserFailureShowsThePlatformsReasonAndLoadsNothing) {
  ASSERT_FALSE(form.FormCreate({"--web-from-disk"}).endNow);
  form.OnBrowserCreated(false, "/home/u/.config/TessaryMaker/WebView2: Permission denied (code 13)");
  ASSERT_EQ(window.errors.size(), 1u);
  EXPECT_NE(window.errors[0].find("the browser could not be started.\n/home/u/.config/TessaryMaker/WebView2: "
                                  "Permission denied (code 13)"),
            std::string::npos);
  EXPECT_TRUE(window.navigations.empty());
  form.OnBrowserCreated(true, {});
  EXPECT_FALSE(window.lockedDown);  // --web-from-disk keeps the browser's defaults
}

TEST_F(MainFormTest, InvalidOpenAlbumIdsAreNotPassedOn) {
  Start({"--open-album=../../etc"});
  form.OnNavigationCompleted(true);
  for (const TEmitted& e : window.TakeEvents()) EXPECT_NE(e.event, "openAlbumRequested");
}

TEST_F(MainFormTest, NavigationStaysOnThePageOrigin) {
  Start();
  EXPECT_TRUE(form.AllowNavigation("tessary-app://app/index.html"));
  EXPECT_TRUE(form.AllowNavigation("TESSARY-APP://APP/index.html#x"));
  EXPECT_FALSE(form.AllowNavigation("tessary-app://app"));
  EXPECT_FALSE(form.AllowNavigation("tessary-app://app.evil/"));
  EXPECT_FALSE(form.AllowNavigation("https://example.com/"));
  EXPECT_FALSE(form.AllowNavigation("tessary-photo://photo/a.jpg"));
}

TEST_F(MainFormTest, ClosingIsNegotiatedOnceThePageHasLoaded) {
  ASSERT_FALSE(form.FormCreate({}).endNow);
  EXPECT_TRUE(form.CloseQuery());  // page not loaded yet
  form.OnNavigationCompleted(true);
  window.scripts.clear();
  EXPECT_FALSE(form.CloseQuery());
  EXPECT_EQ(window.scripts, (std::vector<std::string>{"window.__requestExit && window.__requestExit();"}));
  ipc.calls.clear();
  Post(R"({"cmd":"closeApp","quitWallpaper":true})");
  EXPECT_EQ(ipc.Methods(), (std::vector<std::string>{"Quit"}));
  EXPECT_EQ(window.closeCount, 1);
  EXPECT_TRUE(form.CloseQuery());
}

// A page whose process is gone for good cannot answer: the window must still close.
TEST_F(MainFormTest, APageThatIsGoneForGoodNoLongerHoldsTheWindowOpen) {
  Start();
  form.OnPageGone();
  ASSERT_EQ(window.errors.size(), 1u);
  EXPECT_NE(window.errors[0].find("start it again"), std::string::npos);
  EXPECT_TRUE(form.CloseQuery());
  EXPECT_TRUE(window.scripts.empty());
}

TEST_F(MainFormTest, WorkerIsHiddenNeverNegotiatesAndTimesOut) {
  const TStartupResult startup = form.FormCreate({"--set-wallpaper=abc"});
  ASSERT_FALSE(startup.endNow);
  EXPECT_EQ(startup.windowKind, TWindowKind::wkHiddenWorker);
  EXPECT_FALSE(ipc.NameHasOwner("org.tessary.Maker"));  // "show the generator" must not reach it
  // The live wallpaper state poll and the worker's time limit.
  ASSERT_EQ(window.timers.size(), 2u);
  const auto timeout = std::find_if(window.timers.begin(), window.timers.end(),
                                    [](const auto& timer) { return timer.second.first == 120000; });
  ASSERT_NE(timeout, window.timers.end());
  form.OnNavigationCompleted(true);
  EXPECT_TRUE(form.CloseQuery());
  timeout->second.second();
  EXPECT_EQ(window.closeCount, 1);
  EXPECT_EQ(window.timers.size(), 1u);
  form.OnDestroyed();
  EXPECT_TRUE(window.timers.empty());
}

TEST_F(MainFormTest, BatchModesDoTheirJobWriteTheResultAndTouchNothingElse) {
  const auto out = root.Path() / "out" / "ipc.json";
  std::filesystem::create_directories(out.parent_path());
  const auto heic = std::filesystem::path(form.HeicTempDir()) / "converted.jpg";
  root.Write(std::filesystem::relative(heic, root.Path()).string(), "x");
  ipc.others["org.tessary.Live"] = {{"State", 2}, {"Stop", 0}};
  const TStartupResult stop = form.FormCreate({"--IPC=STOP", "--ipc-out=" + out.string()});
  EXPECT_TRUE(stop.endNow);
  EXPECT_EQ(stop.exitCode, 0);
  EXPECT_EQ(ReadText(out), "\xEF\xBB\xBF{\"found\":true,\"sent\":true,\"state\":2}");
  EXPECT_EQ(ipc.Methods(), (std::vector<std::string>{"Stop", "State"}));
  // A batch run may run beside the window: its name, timers and converted pictures stay.
  EXPECT_TRUE(window.timers.empty());
  EXPECT_TRUE(std::filesystem::exists(heic));
  EXPECT_FALSE(ipc.NameHasOwner("org.tessary.Maker"));

  TFormMain unwritable(window, window, window, system, codec, desktopProvider, ipc);
  EXPECT_EQ(unwritable.FormCreate({"--ipc=refresh", "--ipc-out=" + (root.Path() / "no" / "x.json").string()}).exitCode,
            1);
  EXPECT_EQ(ipc.Methods().back(), "State");  // an unknown action sends nothing
}

TEST_F(MainFormTest, StartRemovesConvertedPicturesOfEarlierRuns) {
  const auto stale = std::filesystem::path(form.HeicTempDir()) / "old.jpg";
  std::filesystem::create_directories(stale.parent_path());
  { std::ofstream(stale) << "x"; }
  TFormMain worker(window, window, window, system, codec, desktopProvider, ipc);
  ASSERT_FALSE(worker.FormCreate({"--set-wallpaper=abc"}).endNow);
  EXPECT_TRUE(std::filesystem::exists(stale));  // the running instance may still need it
  Start();
  EXPECT_FALSE(std::filesystem::exists(stale.parent_path()));
}

TEST_F(MainFormTest, LanguageFontsAndUnsavedMark) {
  Start();
  Post(R"({"cmd":"setLanguage","lang":"JA"})");
  EXPECT_TRUE(form.UiIsJapanese());
  EXPECT_EQ(window.titles.back(), "テッサリー − 思い出を机いっぱいに");
  Post(R"({"cmd":"setLanguage","lang":"fr"})");
  EXPECT_TRUE(form.UiIsJapanese());
  Post(R"({"cmd":"setLanguage","lang":"en"})");
  EXPECT_EQ(window.titles.back(), "Tessary — Scatter your memories");
  EXPECT_TRUE(window.scripts.empty());

  system.fonts = {"Noto Sans CJK JP", "", "@MS Gothic", "DejaVu Serif", "Mid@dle"};
  Post(R"({"cmd":"getFonts"})");
  EXPECT_EQ(OnlyEvent().payload.dump(), R"({"names":["Noto Sans CJK JP","DejaVu Serif","Mid@dle"]})");

  Post(R"({"cmd":"setUnsavedResult","value":true})");
  EXPECT_TRUE(form.HasUnsavedResult());
  Post(R"({"cmd":"setUnsavedResult","value":"yes"})");
  EXPECT_FALSE(form.HasUnsavedResult());
  EXPECT_TRUE(window.scripts.empty());
}

TEST_F(MainFormTest, PickingAFolderListsItOrEmitsNothingOnCancel) {
  Start();
  Post(R"({"cmd":"pickMaterialFolder","recursive":true})");
  EXPECT_TRUE(window.scripts.empty());
  EXPECT_EQ(window.folderTitles.back(), "Select a folder with photos and memos");

  root.Write("pics/sub/a.jpg", "x");
  window.folderAnswer = (root.Path() / "pics").string();
  Post(R"({"cmd":"pickMaterialFolder","recursive":"yes"})");  // unreadable: not recursive
  EXPECT_EQ(OnlyEvent().payload["photos"], TJson::array());
  Post(R"({"cmd":"pickMaterialFolder","recursive":true})");
  EXPECT_EQ(OnlyEvent().payload["photos"], (TJson{"sub/a.jpg"}));
  EXPECT_EQ(form.RouteRequest("tessary-photo://photo/sub/a.jpg").status, 200);

  // A folder that cannot be opened is reported, not listed as empty, and the
  // folder in use stays.
  window.folderAnswer = (root.Path() / "gone").string();
  Post(R"({"cmd":"pickMaterialFolder","recursive":true})");
  EXPECT_TRUE(window.TakeEvents().empty());
  ASSERT_EQ(window.errors.size(), 1u);
  EXPECT_NE(window.errors[0].find("The folder could not be opened.\n" + *window.folderAnswer + ": "), std::string::npos);
  EXPECT_EQ(form.RouteRequest("tessary-photo://photo/sub/a.jpg").status, 200);
}

class ConvertHeicTest : public MainFormTest {
 protected:
  void SetUp() override { Start(); }
  TJson Chunk(const std::string& reqId, std::int64_t index, std::int64_t total, const std::string& data) {
    return {{"cmd", "convertHeic"}, {"reqId", reqId}, {"chunkIndex", index}, {"totalChunks", total}, {"data", data}};
  }
};

TEST_F(ConvertHeicTest, WritesTheJpegAndServesItUnderTemp) {
  const std::string b64 = Base64Encode(Bytes("IMG 640 480"));
  PostJson(Chunk("abc123", 0, 2, b64.substr(0, 8)));
  EXPECT_TRUE(window.scripts.empty());
  PostJson(Chunk("abc123", 1, 2, b64.substr(8)));
  const TEmitted e = OnlyEvent();
  EXPECT_EQ(e.payload.dump(), R"({"reqId":"abc123","url":"tessary-photo://photo/__temp/abc123.jpg"})");
  const TWebResponse served = form.RouteRequest("tessary-photo://photo/__temp/abc123.jpg");
  EXPECT_EQ(served.status, 200);
  EXPECT_EQ(ReadText(served.filePath), "JPEG 640x480 q92");
}

TEST_F(ConvertHeicTest, RefusesBadRequestsWithTheirMessages) {
  PostJson(Chunk("has-dash", 0, 1, "AAAA"));
  EXPECT_EQ(OnlyEvent().payload.dump(), R"({"reqId":"has-dash","error":"invalid transfer"})");
  PostJson(Chunk(std::string(33, 'a'), 0, 1, "AAAA"));
  EXPECT_EQ(OnlyEvent().payload["error"], "invalid transfer");

  PostJson(Chunk("big", 0, 141, "AAAA"));
  EXPECT_EQ(OnlyEvent().payload["error"], "file too large (max 100 MB)");
  PostJson(Chunk("big", 1, 141, "AAAA"));
  EXPECT_TRUE(window.scripts.empty());

  PostJson(Chunk("gap", 0, 3, "AAAA"));
  PostJson(Chunk("gap", 2, 3, "AAAA"));
  EXPECT_EQ(OnlyEvent().payload["error"], "invalid transfer");
  PostJson(TJson{{"cmd", "convertHeic"}, {"reqId", "nofields"}});
  EXPECT_EQ(OnlyEvent().payload["error"], "invalid transfer");
  PostJson(TJson{{"cmd", "convertHeic"}, {"reqId", "nodata"}, {"chunkIndex", 0}, {"totalChunks", 1}});
  EXPECT_EQ(OnlyEvent().payload["error"], "invalid transfer");
  PostJson(Chunk("emptydata", 0, 1, ""));
  EXPECT_EQ(OnlyEvent().payload["error"], "invalid transfer");

  PostJson(Chunk("wide", 0, 1, Base64Encode(Bytes("IMG 12001 900"))));
  EXPECT_EQ(OnlyEvent().payload["error"], "unsupported image size (12001x900)");
  PostJson(Chunk("junk", 0, 1, Base64Encode(Bytes("not heic"))));
  EXPECT_EQ(OnlyEvent().payload["error"], "not a picture");
  PostJson(Chunk("bad64", 0, 1, "@@@@"));
  EXPECT_EQ(OnlyEvent().payload["error"], "invalid base64 data");
  EXPECT_EQ(codec.decodeCount, 0);
}

}  // namespace
