// The still wallpaper's commands as the page sends them, through the
// window's command table: chunked setWallpaper, the two checks, restore, the
// backup state of the page-ready sequence, and what bad input leaves behind.
#include <filesystem>

#include "generator/WallpaperBackup.h"
#include "generator/WallpaperFolder.h"
#include "shared/Base64.h"
#include "tests/native/MainFormFixture.h"

namespace {

namespace fs = std::filesystem;

class WallpaperCommandsTest : public MainFormTest {
 protected:
  WallpaperCommandsTest()
      : folder(WallpaperFolderPath(system.KnownFolder(TKnownFolder::kfPictures))),
        backupPath(WallpaperBackupPath(system.KnownFolder(TKnownFolder::kfRoamingAppData))) {
    original = root.Write("photos/lake.jpg", "lake").string();
    desktop.monitors = {{"DP-1", original, ""}, {"HDMI-1", original, ""}};
  }

  // The picture as the page sends it: base64 in `chunks` setWallpaper messages.
  void Send(const std::string& requestId, const std::string& bytes, int chunks = 2) {
    const std::string b64 = Base64Encode(Bytes(bytes));
    const std::size_t size = (b64.size() / chunks + 3) / 4 * 4;
    for (int i = 0; i < chunks; ++i) {
      PostJson({{"cmd", "setWallpaper"}, {"requestId", requestId}, {"format", "jpg"}, {"generationId", 3},
                {"chunkIndex", i}, {"totalChunks", chunks}, {"data", b64.substr(i * size, size)}});
    }
  }
  static std::string Picture(int width, int height) {
    return std::string(kFakeJpegStart) + "IMG " + std::to_string(width) + " " + std::to_string(height);
  }
  std::string Own(int number) const {
    return (fs::path(folder) / ("wallpaper (" + std::to_string(number) + ").jpg")).string();
  }
  std::string Backup() const { return fs::exists(backupPath) ? ReadText(backupPath) : "(none)"; }
  // "event payload" per emitted event.
  std::vector<std::string> Answers() {
    std::vector<std::string> lines;
    for (const TEmitted& e : window.TakeEvents()) lines.push_back(e.event + " " + e.payload.dump());
    return lines;
  }

  std::string folder;
  std::string backupPath;
  std::string original;
};

TEST_F(WallpaperCommandsTest, SetCheckAndRestoreThroughTheTable) {
  Start();
  Post(R"({"cmd":"checkWallpaper"})");
  EXPECT_EQ(Answers(), (std::vector<std::string>{R"(wallpaperCheck {"restorable":true,"hasBackup":false})"}));

  Send("r1-1712345678901", Picture(1920, 1080));
  EXPECT_EQ(Answers(), (std::vector<std::string>{
                           R"(wallpaperDone {"requestId":"r1-1712345678901","undoCaptured":true,"undoSaved":true})",
                           R"(wallpaperBackupState {"hasBackup":true})"}));
  EXPECT_EQ(ReadText(Own(1)), Picture(1920, 1080));
  for (const auto& monitor : desktop.monitors) EXPECT_EQ(monitor.wallpaper, Own(1));

  Post(R"({"cmd":"checkRestore"})");
  EXPECT_EQ(Answers(), (std::vector<std::string>{
                           R"(restoreCheck {"hasBackup":true,"missing":false,"matchesLastSet":true})"}));

  // restoreDone carries no payload at all, not a null one.
  Post(R"({"cmd":"restoreWallpaper"})");
  ASSERT_EQ(window.scripts.size(), 2u);
  EXPECT_EQ(window.scripts[0], R"(window.kobHost.emit("restoreDone");)");
  EXPECT_EQ(Answers().back(), R"(wallpaperBackupState {"hasBackup":false})");
  for (const auto& monitor : desktop.monitors) EXPECT_EQ(monitor.wallpaper, original);

  Post(R"({"cmd":"restoreWallpaper"})");
  EXPECT_EQ(Answers(), (std::vector<std::string>{R"(restoreError {"message":"no restorable backup"})"}));
}

TEST_F(WallpaperCommandsTest, ThePageReadySequenceReportsTheBackupOnDisk) {
  SaveWallpaperBackup(backupPath, {true, false, "/p/wallpaper (1).jpg", {{"DP-1", original, 4, ""}}});
  ASSERT_FALSE(form.FormCreate({}).endNow);
  form.OnNavigationCompleted(true);
  const auto events = window.TakeEvents();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events[0].event, "wallpaperBackupState");
  EXPECT_EQ(events[0].payload.dump(), R"({"hasBackup":true})");
}

TEST_F(WallpaperCommandsTest, BadInputAnswersWallpaperErrorAndChangesNothing) {
  Start();
  Send("r1-1", Picture(800, 600));
  window.TakeEvents();
  const std::string backupBefore = Backup();
  const struct {
    const char* name;
    std::string bytes;
    const char* message;
  } pictures[] = {
      {"PNG", "\x89PNG\r\n\x1a\nIMG 800 600", "not a JPEG picture"},
      {"0 x 0", Picture(0, 0), "unsupported image size (0x0)"},
      {"20000 x 20000", Picture(20000, 20000), "unsupported image size (20000x20000)"},
  };
  for (const auto& c : pictures) {
    Send("r2-2", c.bytes, 1);
    EXPECT_EQ(Answers(), (std::vector<std::string>{std::string(R"(wallpaperError {"requestId":"r2-2","message":")") +
                                                   c.message + "\"}"}))
        << c.name;
  }
  const char* const transfers[] = {
      R"({"cmd":"setWallpaper","requestId":"r3-3","data":"AAAA"})",                          // no chunk fields
      R"({"cmd":"setWallpaper","requestId":"r3-3","chunkIndex":1,"totalChunks":2,"data":"AAAA"})",  // no start
      R"({"cmd":"setWallpaper","requestId":"has space","chunkIndex":0,"totalChunks":1,"data":"AAAA"})",
      R"({"cmd":"setWallpaper","chunkIndex":0,"totalChunks":1,"data":"AAAA"})",
  };
  for (const char* message : transfers) {
    Post(std::string(message));
    const TEmitted e = OnlyEvent();
    EXPECT_EQ(e.event, "wallpaperError") << message;
    EXPECT_EQ(e.payload["message"], "invalid transfer") << message;
  }
  EXPECT_EQ(Backup(), backupBefore);
  for (const auto& monitor : desktop.monitors) EXPECT_EQ(monitor.wallpaper, Own(1));
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(folder)) files.push_back(entry.path().filename().string());
  EXPECT_EQ(files, (std::vector<std::string>{"wallpaper (1).jpg"}));
}

TEST_F(WallpaperCommandsTest, AReloadedPageCannotFinishTheEarlierPagesTransfer) {
  Start();
  const std::string b64 = Base64Encode(Bytes(Picture(800, 600)));
  PostJson({{"cmd", "setWallpaper"}, {"requestId", "r1-1"}, {"chunkIndex", 0}, {"totalChunks", 2},
            {"data", b64.substr(0, 8)}});
  form.OnNavigationCompleted(true);
  window.TakeEvents();
  PostJson({{"cmd", "setWallpaper"}, {"requestId", "r1-1"}, {"chunkIndex", 1}, {"totalChunks", 2},
            {"data", b64.substr(8)}});
  EXPECT_EQ(OnlyEvent().payload["message"], "invalid transfer");
  EXPECT_EQ(desktop.monitors[0].wallpaper, original);
}

TEST_F(WallpaperCommandsTest, ADesktopWithoutASettingNamesWhatIsMissing) {
  Start();
  Send("r1-1", Picture(800, 600));
  window.TakeEvents();
  desktop.openError = "setting the wallpaper of KDE Plasma is not supported";
  Post(R"({"cmd":"checkWallpaper"})");
  EXPECT_EQ(Answers(), (std::vector<std::string>{R"(wallpaperCheck {"restorable":false,"hasBackup":true})"}));
  Post(R"({"cmd":"checkRestore"})");
  EXPECT_EQ(Answers(), (std::vector<std::string>{
                           R"(restoreCheck {"hasBackup":true,"missing":false,"matchesLastSet":false})"}));
  Post(R"({"cmd":"restoreWallpaper"})");
  EXPECT_EQ(Answers(), (std::vector<std::string>{
                           R"(restoreError {"message":"setting the wallpaper of KDE Plasma is not supported"})"}));
  Send("r2-2", Picture(800, 600));
  EXPECT_EQ(Answers(), (std::vector<std::string>{R"(wallpaperError {"requestId":"r2-2",)"
                                                 R"("message":"setting the wallpaper of KDE Plasma is not supported"})"}));
  EXPECT_TRUE(fs::exists(Own(1)));
  EXPECT_FALSE(fs::exists(Own(2)));
}

}  // namespace
