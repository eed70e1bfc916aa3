#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <sys/stat.h>

#include "generator/DesktopWallpaper.h"
#include "generator/WallpaperFolder.h"
#include "shared/Base64.h"
#include "tests/native/FakeDesktopWallpaper.h"
#include "tests/native/FakePlatform.h"

namespace {

namespace fs = std::filesystem;

// "JPEG" files of the tests: the JPEG start marker, then "<width> <height>".
class TFakeJpegCodec : public IImageCodec {
 public:
  TImageSize ReadSize(const std::vector<std::uint8_t>& encoded) override {
    std::istringstream in(std::string(encoded.begin() + 3, encoded.end()));
    TImageSize size;
    if (!(in >> size.width >> size.height)) throw std::runtime_error("broken JPEG header");
    return size;
  }
  TRgbImage Decode(const std::vector<std::uint8_t>&) override { throw std::logic_error("not used"); }
  std::vector<std::uint8_t> EncodeJpeg(const TRgbImage&, int) override { throw std::logic_error("not used"); }
};

std::string Jpeg(int width, int height, const std::string& tag = "") {
  return "\xFF\xD8\xFF" + std::to_string(width) + " " + std::to_string(height) + " " + tag;
}

class DesktopWallpaperTest : public ::testing::Test {
 protected:
  DesktopWallpaperTest()
      : folder(WallpaperFolderPath((root.Path() / "Pictures").string())),
        backupPath(WallpaperBackupPath((root.Path() / "config").string())),
        provider(desktop),
        wallpaper(provider, codec, bridge, [this](const std::string& e, const TJson& p) { events.push_back({e, p}); },
                  folder, backupPath) {
    original = root.Write("Photos/beach.jpg", "beach").string();
    desktop.monitors = {{"DP-1", original, ""}};
  }

  // Sends the picture as a two-chunk setWallpaper transfer.
  void Set(const std::string& requestId, const std::string& bytes) {
    const std::string b64 = Base64Encode(Bytes(bytes));
    const std::size_t half = b64.size() / 8 * 4;
    wallpaper.SetWallpaper(requestId, "jpg", 0, 2, b64.substr(0, half));
    wallpaper.SetWallpaper(requestId, "jpg", 1, 2, b64.substr(half));
  }
  std::string Own(const std::string& name) const { return (fs::path(folder) / name).string(); }
  std::vector<std::string> FolderFiles() const {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::vector<TEmitted> Take() { return std::exchange(events, {}); }
  std::string BackupText() const { return fs::exists(backupPath) ? ReadText(backupPath) : "(none)"; }

  TTempDir root;
  std::string folder;
  std::string backupPath;
  std::string original;
  TFakeDesktopState desktop;
  TFakeDesktopProvider provider;
  TFakeJpegCodec codec;
  THostBridge bridge;
  std::vector<TEmitted> events;
  TDesktopWallpaper wallpaper;
};

TEST(WallpaperFolder, OwnFilesAreTheWallpaperNamesDirectlyInTheFolder) {
  const struct {
    const char* path;
    bool own;
  } cases[] = {
      {"/p/Tessary/wallpaper.jpg", true},        {"/p/Tessary/wallpaper (1).jpg", true},
      {"/p/Tessary/Wallpaper (12).JPG", true},   {"/p/Tessary//wallpaper (3).jpg", true},
      {"/p/Tessary/wallpaper (0).jpg", false},   {"/p/Tessary/wallpaper (-1).jpg", false},
      {"/p/Tessary/wallpaper ().jpg", false},    {"/p/Tessary/wallpaper (x).jpg", false},
      {"/p/Tessary/wallpaper (1) .jpg", false},  {"/p/Tessary/wallpaper (99999999999).jpg", false},
      {"/p/Tessary/wallpaper (1).jpeg", false},  {"/p/Tessary/my wallpaper.jpg", false},
      {"/p/Tessary/sub/wallpaper.jpg", false},   {"/p/Other/wallpaper.jpg", false},
      {"/p/tessary/wallpaper.jpg", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsOwnWallpaperFile(c.path, "/p/Tessary/"), c.own) << c.path;
}

TEST_F(DesktopWallpaperTest, TwoSetsInARowRestoreTheFirstPicture) {
  Set("a", Jpeg(1920, 1080, "first"));
  auto answers = Take();
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[0].event, "wallpaperDone");
  EXPECT_EQ(WriteJson(answers[0].payload), R"({"requestId":"a","undoCaptured":true,"undoSaved":true})");
  EXPECT_EQ(answers[1].event, "wallpaperBackupState");
  EXPECT_EQ(WriteJson(answers[1].payload), R"({"hasBackup":true})");
  const std::string first = Own("wallpaper (1).jpg");
  EXPECT_EQ(desktop.monitors[0].wallpaper, first);
  EXPECT_EQ(desktop.position, TWallpaperPosition::wpFill);
  EXPECT_EQ(ReadText(first), Jpeg(1920, 1080, "first"));

  Set("b", Jpeg(1920, 1080, "second"));
  EXPECT_EQ(Take()[0].payload["undoSaved"], true);
  const std::string second = Own("wallpaper (2).jpg");
  EXPECT_EQ(desktop.monitors[0].wallpaper, second);
  // The backup describes the desktop just before this set: the first picture.
  const auto backup = ReadWallpaperBackup(backupPath);
  ASSERT_TRUE(backup);
  EXPECT_EQ(backup->lastSet, second);
  ASSERT_EQ(backup->monitors.size(), 1u);
  EXPECT_EQ(backup->monitors[0].path, first);
  EXPECT_EQ(backup->monitors[0].position, 4);
  EXPECT_EQ(FolderFiles(), (std::vector<std::string>{"wallpaper (1).jpg", "wallpaper (2).jpg"}));

  wallpaper.CheckRestore();
  EXPECT_EQ(WriteJson(Take()[0].payload), R"({"hasBackup":true,"missing":false,"matchesLastSet":true})");
  wallpaper.RestoreWallpaper();
  answers = Take();
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[0].event, "restoreDone");
  EXPECT_TRUE(answers[0].payload.is_null());
  EXPECT_EQ(WriteJson(answers[1].payload), R"({"hasBackup":false})");
  EXPECT_EQ(desktop.monitors[0].wallpaper, first);
  EXPECT_EQ(ReadText(first), Jpeg(1920, 1080, "first"));
  EXPECT_EQ(FolderFiles(), (std::vector<std::string>{"wallpaper (1).jpg"}));
  EXPECT_TRUE(fs::exists(original));

  // Restored once: no second restore until the next set.
  wallpaper.RestoreWallpaper();
  EXPECT_EQ(WriteJson(Take()[0].payload), R"({"message":"no restorable backup"})");
}

// A daily batch render: Undo still brings back what the user had, and the
// pictures of the days before do not pile up in the folder.
TEST_F(DesktopWallpaperTest, KeepingTheUsersOwnBackupAcrossRepeatedSets) {
  wallpaper.KeepUsersOwnBackup(true);
  Set("day1", Jpeg(800, 600, "1"));
  Set("day2", Jpeg(800, 600, "2"));
  Set("day3", Jpeg(800, 600, "3"));
  Take();
  const std::string third = Own("wallpaper (1).jpg");  // the first free number again
  EXPECT_EQ(desktop.monitors[0].wallpaper, third);
  EXPECT_EQ(ReadText(third), Jpeg(800, 600, "3"));
  EXPECT_EQ(FolderFiles(), (std::vector<std::string>{"wallpaper (1).jpg"}));
  auto backup = ReadWallpaperBackup(backupPath);
  ASSERT_TRUE(backup);
  EXPECT_EQ(backup->lastSet, third);
  EXPECT_EQ(backup->monitors.at(0).path, original);

  // The user chose another picture meanwhile: that is what a restore gives back now.
  const std::string chosen = root.Write("Photos/forest.jpg", "forest").string();
  desktop.monitors[0].wallpaper = chosen;
  Set("day4", Jpeg(800, 600, "4"));
  backup = ReadWallpaperBackup(backupPath);
  EXPECT_EQ(backup->monitors.at(0).path, chosen);

  wallpaper.RestoreWallpaper();
  EXPECT_EQ(Take().back().event, "wallpaperBackupState");
  EXPECT_EQ(desktop.monitors[0].wallpaper, chosen);
  // After a restore the next set records the desktop as it is again.
  Set("day5", Jpeg(800, 600, "5"));
  EXPECT_EQ(ReadWallpaperBackup(backupPath)->monitors.at(0).path, chosen);
}

TEST_F(DesktopWallpaperTest, ASolidColourAppliesWithoutUndoAndDropsTheOldBackup) {
  Set("a", Jpeg(800, 600));
  ASSERT_TRUE(wallpaper.HasBackup());
  desktop.monitors[0].wallpaper = "";  // the user picks a plain colour
  Set("b", Jpeg(800, 600));
  const auto answers = Take();
  EXPECT_EQ(WriteJson(answers[2].payload), R"({"requestId":"b","undoCaptured":false,"undoSaved":false})");
  EXPECT_EQ(WriteJson(answers[3].payload), R"({"hasBackup":false})");
  EXPECT_EQ(desktop.monitors[0].wallpaper, Own("wallpaper (2).jpg"));
  EXPECT_FALSE(fs::exists(backupPath));
  // Nothing refers to the earlier picture any more.
  EXPECT_EQ(FolderFiles(), (std::vector<std::string>{"wallpaper (2).jpg"}));
}

TEST_F(DesktopWallpaperTest, ChecksReportWhatARestoreWouldDo) {
  const auto check = [&] {
    wallpaper.CheckWallpaper();
    return WriteJson(Take().at(0).payload);
  };
  EXPECT_EQ(check(), R"({"restorable":true,"hasBackup":false})");
  desktop.monitors.push_back({"HDMI-1", original + ".gone", ""});
  EXPECT_EQ(check(), R"({"restorable":false,"hasBackup":false})");
  desktop.monitors.clear();
  EXPECT_EQ(check(), R"({"restorable":false,"hasBackup":false})");
  desktop.monitors = {{"DP-1", original, ""}};
  desktop.openError = "the GNOME background settings are not installed";
  EXPECT_EQ(check(), R"({"restorable":false,"hasBackup":false})");
  desktop.openError.clear();

  wallpaper.CheckRestore();
  EXPECT_EQ(WriteJson(Take()[0].payload), R"({"hasBackup":false,"missing":false,"matchesLastSet":false})");

  Set("a", Jpeg(800, 600));
  Take();
  EXPECT_EQ(check(), R"({"restorable":true,"hasBackup":true})");
  const struct {
    const char* name;
    std::function<void()> change;
    const char* answer;
  } cases[] = {
      {"as set", [] {}, R"({"hasBackup":true,"missing":false,"matchesLastSet":true})"},
      {"changed by hand", [&] { desktop.monitors[0].wallpaper = original; },
       R"({"hasBackup":true,"missing":false,"matchesLastSet":false})"},
      {"dark style changed by hand", [&] { desktop.monitors[0].dark = original; },
       R"({"hasBackup":true,"missing":false,"matchesLastSet":false})"},
      {"desktop unavailable", [&] { desktop.openError = "no desktop"; },
       R"({"hasBackup":true,"missing":false,"matchesLastSet":false})"},
      {"original deleted", [&] { fs::remove(original); },
       R"({"hasBackup":true,"missing":true,"matchesLastSet":true})"},
  };
  const auto shown = desktop.monitors;
  for (const auto& c : cases) {
    desktop.monitors = shown;
    desktop.openError.clear();
    c.change();
    wallpaper.CheckRestore();
    EXPECT_EQ(WriteJson(Take().at(0).payload), c.answer) << c.name;
  }
}

TEST_F(DesktopWallpaperTest, AMissingOriginalIsNotRestoredAndNothingIsApplied) {
  Set("a", Jpeg(800, 600));
  Take();
  fs::remove(original);
  desktop.calls.clear();
  wallpaper.RestoreWallpaper();
  EXPECT_EQ(WriteJson(Take()[0].payload), R"({"message":"original wallpaper file is missing"})");
  EXPECT_TRUE(desktop.calls.empty());
  EXPECT_TRUE(wallpaper.HasBackup());
}

TEST_F(DesktopWallpaperTest, RestoreFailuresAreReportedInThePageWords) {
  desktop.monitors = {{"DP-1", original, ""}, {"HDMI-1", original, ""}};
  Set("a", Jpeg(800, 600));
  Take();

  desktop.openError = "xfconfd does not answer on the session bus";
  wallpaper.RestoreWallpaper();
  EXPECT_EQ(WriteJson(Take()[0].payload), R"({"message":"xfconfd does not answer on the session bus"})");
  desktop.openError.clear();

  // One monitor refuses; the other still gets its picture back.
  desktop.failingMonitors = {"DP-1"};
  wallpaper.RestoreWallpaper();
  EXPECT_EQ(WriteJson(Take()[0].payload), R"({"message":"failed to apply original wallpaper"})");
  EXPECT_EQ(desktop.monitors[1].wallpaper, original);
  EXPECT_TRUE(wallpaper.HasBackup());
  EXPECT_TRUE(fs::exists(Own("wallpaper (1).jpg")));
}

TEST_F(DesktopWallpaperTest, TheNextPictureTakesTheFirstFreeNumberAndTheCleanUpKeepsBackedUpFiles) {
  root.Write("Pictures/Tessary/wallpaper (1).jpg", "one");
  root.Write("Pictures/Tessary/wallpaper (3).jpg", "three");
  root.Write("Pictures/Tessary/wallpaper.jpg", "plain");
  root.Write("Pictures/Tessary/wallpaper (5).jpg", "stray");
  root.Write("Pictures/Tessary/wallpaper (0).jpg", "not ours");
  root.Write("Pictures/Tessary/notes.jpg", "not ours");
  fs::create_directory(Own("wallpaper (9).jpg"));
  desktop.monitors = {{"DP-1", Own("wallpaper.jpg"), ""}, {"HDMI-1", Own("wallpaper (3).jpg"), Own("wallpaper (1).jpg")}};
  Set("a", Jpeg(800, 600));
  EXPECT_EQ(desktop.monitors[0].wallpaper, Own("wallpaper (2).jpg"));
  EXPECT_EQ(FolderFiles(), (std::vector<std::string>{"notes.jpg", "wallpaper (0).jpg", "wallpaper (1).jpg",
                                                     "wallpaper (2).jpg", "wallpaper (3).jpg", "wallpaper (9).jpg",
                                                     "wallpaper.jpg"}));
}

TEST_F(DesktopWallpaperTest, DarkStylePicturesAreKeptAndGivenBack) {
  const std::string night = root.Write("Photos/night.jpg", "night").string();
  desktop.monitors = {{"DP-1", original, night}};
  Set("a", Jpeg(800, 600));
  Take();
  EXPECT_EQ(desktop.monitors[0].dark, "");
  EXPECT_EQ(ReadWallpaperBackup(backupPath)->monitors.at(0).darkPath, night);
  desktop.calls.clear();
  wallpaper.RestoreWallpaper();
  EXPECT_EQ(desktop.calls, (std::vector<std::string>{"position 2", "set DP-1 " + original + " dark " + night}));
}

TEST_F(DesktopWallpaperTest, TheBackupFileIsAsciiJsonWithAByteOrderMark) {
  const std::string name = "写真 \"é\"";
  const std::string odd = root.Write("Photos/" + name + ".jpg", "x").string();
  const std::string night = root.Write("Photos/night.jpg", "night").string();
  desktop.monitors = {{"DP-1", odd, ""}, {"モニター", original, night}};
  desktop.position = TWallpaperPosition::wpCenter;
  Set("a", Jpeg(800, 600));
  const std::string photos = (root.Path() / "Photos").string();
  const std::string expected =
      "\xEF\xBB\xBF{\"committed\":true,\"restored\":false,\"lastSet\":\"" + Own("wallpaper (1).jpg") +
      "\",\"monitors\":[{\"id\":\"DP-1\",\"path\":\"" + photos +
      "/\\u5199\\u771F \\\"\\u00E9\\\".jpg\",\"position\":0},{\"id\":\"\\u30E2\\u30CB\\u30BF\\u30FC\",\"path\":\"" +
      original + "\",\"position\":0,\"darkPath\":\"" + night + "\"}]}";
  EXPECT_EQ(ReadText(backupPath), expected);

  wallpaper.RestoreWallpaper();
  const std::string restored =
      "\xEF\xBB\xBF{\"committed\":true,\"lastSet\":\"" + Own("wallpaper (1).jpg") + "\",\"monitors\":[" +
      expected.substr(expected.find("[{") + 1, expected.size() - expected.find("[{") - 2) + ",\"restored\":true}";
  EXPECT_EQ(ReadText(backupPath), restored);
}

TEST_F(DesktopWallpaperTest, ABrokenBackupReadsAsNone) {
  const std::string cases[] = {
      "",
      "\xEF\xBB\xBF",
      "garbage",
      "{\"committed\":true,\"restored\":false,\"lastSet\":\"/p\",\"monitors\":[{\"id\":\"DP-1\",",
      "[{\"committed\":true}]",
      "42",
      "\"committed\"",
      "null",
      "{\"committed\":\"true\",\"restored\":false,\"monitors\":[]}",
      "{\"committed\":true,\"restored\":true,\"monitors\":[]}",
      std::string(100000, '[') + std::string(100000, ']'),
  };
  for (const std::string& text : cases) {
    root.Write("config/TessaryMaker/wallpaper-backup.json", text);
    EXPECT_FALSE(wallpaper.HasBackup()) << text.substr(0, 60);
    wallpaper.CheckRestore();
    wallpaper.RestoreWallpaper();
    const auto answers = Take();
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(WriteJson(answers[0].payload), R"({"hasBackup":false,"missing":false,"matchesLastSet":false})");
    EXPECT_EQ(WriteJson(answers[1].payload), R"({"message":"no restorable backup"})");
  }
  // Members of the wrong type, or no monitors at all, leave nothing to restore.
  const std::string wrongTypes[] = {
      "{\"committed\":true,\"monitors\":{\"id\":\"DP-1\"}}",
      "{\"committed\":true,\"monitors\":[{\"id\":1,\"path\":[],\"position\":\"4\"}]}",
      "{\"committed\":true,\"monitors\":[7]}",
  };
  for (const std::string& text : wrongTypes) {
    root.Write("config/TessaryMaker/wallpaper-backup.json", text);
    wallpaper.RestoreWallpaper();
    EXPECT_EQ(WriteJson(Take()[0].payload), R"({"message":"original wallpaper file is missing"})") << text;
  }
  EXPECT_EQ(desktop.monitors[0].wallpaper, original);
}

TEST_F(DesktopWallpaperTest, BadPicturesChangeNeitherTheDesktopNorTheBackup) {
  Set("a", Jpeg(800, 600));
  Take();
  const std::string backupBefore = BackupText();
  const auto shown = desktop.monitors;
  const struct {
    const char* name;
    std::string bytes;
    const char* message;
  } cases[] = {
      {"PNG", "\x89PNG\r\n\x1a\n 800 600", "not a JPEG picture"},
      {"empty", "", "not a JPEG picture"},
      {"0 x 0", Jpeg(0, 0), "unsupported image size (0x0)"},
      {"20000 x 20000", Jpeg(20000, 20000), "unsupported image size (20000x20000)"},
      {"12001 wide", Jpeg(12001, 10), "unsupported image size (12001x10)"},
      {"broken header", "\xFF\xD8\xFF??", "broken JPEG header"},
  };
  for (const auto& c : cases) {
    desktop.calls.clear();
    wallpaper.SetWallpaperPicture("bad", Bytes(c.bytes));
    const auto answers = Take();
    ASSERT_EQ(answers.size(), 1u) << c.name;
    EXPECT_EQ(answers[0].event, "wallpaperError");
    EXPECT_EQ(WriteJson(answers[0].payload), std::string(R"({"requestId":"bad","message":")") + c.message + "\"}");
    EXPECT_TRUE(desktop.calls.empty()) << c.name;
  }
  EXPECT_EQ(BackupText(), backupBefore);
  EXPECT_EQ(desktop.monitors[0].wallpaper, shown[0].wallpaper);
  EXPECT_EQ(FolderFiles(), (std::vector<std::string>{"wallpaper (1).jpg"}));

  // Text that is not base64 at all.
  wallpaper.SetWallpaper("b64", "jpg", 0, 1, "!!!!");
  EXPECT_EQ(Take()[0].event, "wallpaperError");
  EXPECT_EQ(BackupText(), backupBefore);
}

TEST_F(DesktopWallpaperTest, ADesktopThatRefusesLeavesEverythingAsItWas) {
  Set("a", Jpeg(800, 600));
  Take();
  const std::string backupBefore = BackupText();

  desktop.openError = "the Xfce settings service (xfconfd) does not answer";
  Set("b", Jpeg(800, 600));
  EXPECT_EQ(WriteJson(Take()[0].payload),
            R"({"requestId":"b","message":"the Xfce settings service (xfconfd) does not answer"})");
  desktop.openError.clear();

  desktop.setError = "permission denied";
  desktop.position = TWallpaperPosition::wpTile;
  Set("c", Jpeg(800, 600));
  EXPECT_EQ(WriteJson(Take()[0].payload), R"({"requestId":"c","message":"permission denied"})");
  // The scaling changed first is put back when the picture did not change.
  EXPECT_EQ(desktop.position, TWallpaperPosition::wpTile);
  EXPECT_EQ(BackupText(), backupBefore);
  EXPECT_EQ(FolderFiles(), (std::vector<std::string>{"wallpaper (1).jpg"}));
}

TEST_F(DesktopWallpaperTest, RefusedChunksAnswerInvalidTransfer) {
  wallpaper.SetWallpaper("a", "jpg", 1, 2, "AAAA");
  wallpaper.SetWallpaper("bad id", "jpg", 0, 1, "AAAA");
  wallpaper.SetWallpaper("c", "jpg", 0, 2, "AAAA");  // accepted, more to come: no answer
  const auto answers = Take();
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(WriteJson(answers[0].payload), R"({"requestId":"a","message":"invalid transfer"})");
  EXPECT_EQ(WriteJson(answers[1].payload), R"({"requestId":"bad id","message":"invalid transfer"})");
}

TEST_F(DesktopWallpaperTest, AFailedBackupSaveStillAppliesAndSaysWhy) {
  root.Write("config/TessaryMaker", "a file where the folder should be");
  Set("a", Jpeg(800, 600));
  const auto answers = Take();
  ASSERT_EQ(answers[0].event, "wallpaperDone");
  EXPECT_TRUE(answers[0].payload.contains("backupError"));
  EXPECT_EQ(answers[0].payload.begin().key(), "requestId");
  EXPECT_EQ(std::next(answers[0].payload.begin()).key(), "backupError");
  EXPECT_EQ(answers[0].payload["undoCaptured"], true);
  EXPECT_EQ(answers[0].payload["undoSaved"], false);
  EXPECT_EQ(WriteJson(answers[1].payload), R"({"hasBackup":false})");
  EXPECT_EQ(desktop.monitors[0].wallpaper, Own("wallpaper (1).jpg"));
}

}  // namespace
