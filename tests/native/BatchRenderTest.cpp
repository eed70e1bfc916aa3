#include <sstream>

#include "generator/BatchRender.h"
#include "shared/Base64.h"
#include "shared/FileAccess.h"
#include "tests/native/MainFormFixture.h"

namespace {

namespace fs = std::filesystem;

TBatchRequest Request(const fs::path& folder, const fs::path& output) {
  const TBatchArguments a =
      ParseBatchArguments({"--render=" + output.string(), "--photo-folder=" + folder.string()});
  EXPECT_EQ(a.kind, TBatchArguments::bkRun) << a.error;
  return a.request;
}

TEST(BatchInputs, WhatCanBeCheckedBeforeThePageEndsTheRunAtOnce) {
  TTempDir dir;
  TFakeSystem system(dir.Path());
  system.fonts = {"DejaVu Sans"};
  dir.Write("photos/sub/a.jpg", "x");
  dir.Write("photos/notes.txt", "memo");
  dir.Write("empty/readme.pdf", "not a photo");
  fs::create_directories(dir.Path() / "out");
  const fs::path photos = dir.Path() / "photos";
  const fs::path out = dir.Path() / "out" / "pile.png";

  struct TCase {
    std::string name;
    std::function<void(TBatchRequest&)> change;
    TBatchExit exit;
    std::string reason;  // a part of it
  };
  const std::vector<TCase> cases = {
      {"all there", [](TBatchRequest&) {}, TBatchExit::beDone, ""},
      {"missing folder", [&](TBatchRequest& r) { r.photoFolder = (dir.Path() / "nope").string(); },
       TBatchExit::beBadArguments, "--photo-folder: " + (dir.Path() / "nope").string() + ": no such folder"},
      {"no photos", [&](TBatchRequest& r) { r.photoFolder = (dir.Path() / "empty").string(); }, TBatchExit::beNoPhotos,
       "no photos in"},
      {"favourite by name or with its sub-folder", [](TBatchRequest& r) { r.favourites = {"a.jpg", "sub/a.jpg"}; },
       TBatchExit::beDone, ""},
      {"unknown favourite", [](TBatchRequest& r) { r.favourites = {"b.jpg"}; }, TBatchExit::beBadArguments,
       "--favourites: no photo named \"b.jpg\""},
      {"missing background picture", [&](TBatchRequest& r) { r.backgroundImage = (dir.Path() / "bg.jpg").string(); },
       TBatchExit::beBadArguments, "--background-image:"},
      {"installed title font", [](TBatchRequest& r) { r.titleFont = "DejaVu Sans"; }, TBatchExit::beDone, ""},
      {"unknown title font", [](TBatchRequest& r) { r.titleFont = "Comic"; }, TBatchExit::beBadArguments,
       "--title-font: \"Comic\" is not installed"},
      {"output folder missing", [&](TBatchRequest& r) { r.outputPath = (dir.Path() / "no" / "o.png").string(); },
       TBatchExit::beCannotWrite, "does not exist"},
      {"output is a folder", [&](TBatchRequest& r) { r.outputPath = (dir.Path() / "out").string(); },
       TBatchExit::beCannotWrite, "is a folder"},
      // Even root cannot make files there.
      {"output where nothing can be written", [](TBatchRequest& r) { r.outputPath = "/proc/pile.png"; },
       TBatchExit::beCannotWrite, "--render: cannot write there"},
  };
  for (const TCase& c : cases) {
    TBatchRequest request = Request(photos, out);
    c.change(request);
    const TBatchCheck check = CheckBatchInputs(request, system);
    EXPECT_EQ(check.exit, c.exit) << c.name << ": " << check.reason;
    EXPECT_NE(check.reason.find(c.reason), std::string::npos) << c.name << ": " << check.reason;
  }
  // The probe leaves nothing behind.
  EXPECT_TRUE(fs::is_empty(dir.Path() / "out"));
}

TEST(BatchConsole, ATerminalGetsOneChangingLineAndALogOneLinePerStep) {
  std::ostringstream terminal;
  TBatchConsole onTerminal(terminal, true, false);
  onTerminal.Progress("Loading items… 1/3");
  onTerminal.Progress("Loading items… 2/3");
  onTerminal.Done("Wrote x");
  EXPECT_EQ(terminal.str(), "\r\033[2KLoading items… 1/3\r\033[2KLoading items… 2/3\r\033[2KWrote x\n");

  std::ostringstream log;
  TBatchConsole toLog(log, false, false);
  toLog.Progress("Loading items… 1/3");
  toLog.Progress("Loading items… 2/3");
  toLog.Progress("Generating…");
  toLog.Error("no photos");
  EXPECT_EQ(log.str(), "Loading items… 1/3\nGenerating…\nTessaryMaker: no photos\n");

  std::ostringstream quiet;
  TBatchConsole silent(quiet, true, true);
  silent.Progress("Generating…");
  silent.Done("Wrote x");
  silent.Error("failed");
  EXPECT_EQ(quiet.str(), "TessaryMaker: failed\n");
}

class BatchRenderTest : public MainFormTest {
 protected:
  BatchRenderTest() : console(out, false, false) {}

  void StartBatch(const std::string& output, std::vector<std::string> extra = {}) {
    root.Write("photos/b.jpg", "IMG 40 30");
    root.Write("photos/a.png", "IMG 40 30");
    root.Write("photos/memo.txt", "words");
    fs::create_directories(root.Path() / "out");
    outputPath = (root.Path() / "out" / output).string();
    std::vector<std::string> args = {"--render=" + outputPath, "--photo-folder=" + (root.Path() / "photos").string()};
    args.insert(args.end(), extra.begin(), extra.end());
    const TBatchArguments parsed = ParseBatchArguments(args);
    ASSERT_EQ(parsed.kind, TBatchArguments::bkRun) << parsed.error;
    form.PrepareBatchRender(parsed.request, console);
    const TStartupResult startup = form.FormCreate(args);
    ASSERT_FALSE(startup.endNow);
    EXPECT_EQ(startup.windowKind, TWindowKind::wkHiddenWorker);
    form.OnBrowserCreated(true, {});
    form.OnNavigationCompleted(true);
  }

  std::ostringstream out;
  TBatchConsole console;
  std::string outputPath;
};

TEST_F(BatchRenderTest, ThePageGetsTheRequestAndSavesToTheOutputWithoutADialog) {
  StartBatch("pile.png", {"--frame=tape", "--memos"});
  // Nothing of the window's page-ready sequence: no backup state, screen or live wallpaper.
  const std::vector<TEmitted> events = window.TakeEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].event, "batchRender");
  const TJson& request = events[0].payload;
  EXPECT_EQ(request["folder"]["photos"], (TJson{"a.png", "b.jpg"}));
  EXPECT_EQ(request["folder"]["memos"], (TJson{"memo.txt"}));
  EXPECT_EQ(request["controls"][0]["id"], "frameSelect");
  EXPECT_TRUE(request["backgroundUrl"].is_null());
  EXPECT_EQ(form.PhotoDir(), (root.Path() / "photos").string());
  // Its own profile, beside nobody's.
  EXPECT_NE(form.UserDataDir(), THostBridge::UserDataDir(system.KnownFolder(TKnownFolder::kfRoamingAppData)));
  EXPECT_TRUE(fs::is_directory(form.UserDataDir()));
  EXPECT_TRUE(form.CloseQuery());

  PostJson(TJson{{"cmd", "chooseImageSave"}, {"requestId", "r1"}, {"album", false}});
  const TEmitted chosen = OnlyEvent();
  EXPECT_EQ(chosen.event, "saveTargetChosen");
  EXPECT_EQ(chosen.payload["format"], "png");
  EXPECT_TRUE(window.dialogs.empty());
  PostJson(TJson{{"cmd", "saveImage"}, {"requestId", "r1"}, {"format", "png"}, {"chunkIndex", 0}, {"totalChunks", 1},
                 {"data", Base64Encode(Bytes("PNGDATA"))}});
  EXPECT_EQ(OnlyEvent().event, "saveDone");
  EXPECT_EQ(ReadText(outputPath), "PNGDATA");

  PostJson(TJson{{"cmd", "batchProgress"}, {"text", "Generating…"}});
  PostJson(TJson{{"cmd", "batchDone"}, {"code", 0}, {"width", 1920}, {"height", 1080}});
  EXPECT_EQ(window.closeCount, 1);
  EXPECT_EQ(form.ExitCode(), 0);
  EXPECT_NE(out.str().find("Generating…\nWrote " + outputPath + " (1920 x 1080 PNG, 0.0 MB) in "), std::string::npos)
      << out.str();
}

TEST_F(BatchRenderTest, AnAlbumGoesToTheOutputAsItsPdfAndAStillCannotBeSavedAsOne) {
  StartBatch("album.pdf");
  window.TakeEvents();
  PostJson(TJson{{"cmd", "chooseImageSave"}, {"requestId", "r1"}, {"album", false}});
  const TEmitted refused = OnlyEvent();
  EXPECT_EQ(refused.event, "saveError");
  PostJson(TJson{{"cmd", "chooseImageSave"}, {"requestId", "r2"}, {"album", true}});
  EXPECT_EQ(OnlyEvent().payload["format"], "pdf");
  EXPECT_EQ(form.SaveFlow().ChosenPdfPath(), outputPath);
}

TEST_F(BatchRenderTest, FailuresEndWithTheirCodeAndReason) {
  StartBatch("pile.jpg");
  PostJson(TJson{{"cmd", "batchDone"}, {"code", 3}, {"message", "No usable photos"}});
  EXPECT_EQ(form.ExitCode(), 3);
  EXPECT_EQ(window.closeCount, 1);
  EXPECT_EQ(out.str(), "TessaryMaker: No usable photos\n");
  // Later words change nothing.
  PostJson(TJson{{"cmd", "batchDone"}, {"code", 0}});
  EXPECT_EQ(form.ExitCode(), 3);
  EXPECT_EQ(window.closeCount, 1);
}

TEST_F(BatchRenderTest, SuccessWithoutTheFileIsAWriteFailure) {
  StartBatch("pile.jpg");
  PostJson(TJson{{"cmd", "batchDone"}, {"code", 0}});
  EXPECT_EQ(form.ExitCode(), 4);
}

TEST_F(BatchRenderTest, OnlyTheSilenceWatchRunsNoLiveWallpaperPoll) {
  StartBatch("pile.png");
  ASSERT_EQ(window.timers.size(), 1u);
  auto& [interval, tick] = window.timers.begin()->second;
  EXPECT_EQ(interval, 5000);
  tick();  // the page has just spoken
  EXPECT_EQ(window.closeCount, 0);
}

TEST_F(BatchRenderTest, TheOwnBackgroundIsServedToThePage) {
  root.Write("bg.png", "PNG");
  StartBatch("pile.png", {"--background-image=" + (root.Path() / "bg.png").string()});
  const TEmitted request = window.TakeEvents().at(0);
  const std::string url = request.payload["backgroundUrl"];
  const TWebResponse answer = form.RouteRequest(url);
  EXPECT_EQ(answer.status, 200);
  EXPECT_EQ(answer.filePath, (root.Path() / "bg.png").string());
  EXPECT_EQ(*answer.Header("Content-Type"), "image/png");
}

}  // namespace
