#include "wallpaper/WallpaperState.h"

#include <gtest/gtest.h>

#include <iterator>
#include <regex>

#include "tests/native/FakePlatform.h"
#include "tests/native/UnprivilegedScope.h"

namespace fs = std::filesystem;

namespace {

class WallpaperStateTest : public ::testing::Test {
 protected:
  TTempDir FDir;
  TWallpaperStateFile FFile{TWallpaperStateFile::PathUnder(FDir.Path().string())};

  int FolderEntries() const {
    const auto entries = fs::directory_iterator(fs::path(FFile.Path()).parent_path());
    return static_cast<int>(std::distance(fs::begin(entries), fs::end(entries)));
  }
};

}  // namespace

TEST_F(WallpaperStateTest, LivesInTheTessaryFolderOfTheDataHome) {
  EXPECT_EQ(TWallpaperStateFile::PathUnder("/home/u/.local/share"),
            "/home/u/.local/share/Tessary/wallpaper-state.json");
}

TEST_F(WallpaperStateTest, WritesACompactRecordWithAByteOrderMarkThroughATemporarySibling) {
  ASSERT_TRUE(FFile.Write(true));
  const std::string text = ReadText(FFile.Path());
  const std::regex expected(
      "\xEF\xBB\xBF\\{\"iconsChangedByUs\":true,\"originalIconsVisible\":true,"
      "\"timestamp\":\"\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\"\\}");
  EXPECT_TRUE(std::regex_match(text, expected)) << text;
  EXPECT_EQ(FolderEntries(), 1);  // no temporary sibling left

  ASSERT_TRUE(FFile.Write(false));
  EXPECT_NE(ReadText(FFile.Path()).find("\"originalIconsVisible\":false"), std::string::npos);
  const TWallpaperStateRecord record = FFile.Read();
  EXPECT_TRUE(record.pending);
  EXPECT_FALSE(record.originalVisible);
}

TEST_F(WallpaperStateTest, ReadsOnlyItsOwnRecordAsPending) {
  const struct {
    const char* name;
    std::string content;
    bool pending;
    bool originalVisible;
  } cases[] = {
      {"with a byte-order mark", "\xEF\xBB\xBF{\"iconsChangedByUs\":true,\"originalIconsVisible\":false}", true, false},
      {"without one", "{\"iconsChangedByUs\":true,\"originalIconsVisible\":true}", true, true},
      {"no visibility: visible", "{\"iconsChangedByUs\":true}", true, true},
      {"visibility not a boolean", "{\"iconsChangedByUs\":true,\"originalIconsVisible\":0}", true, true},
      {"not changed by us", "{\"iconsChangedByUs\":false,\"originalIconsVisible\":false}", false, false},
      {"a string is not true", "{\"iconsChangedByUs\":\"true\"}", false, true},
      {"not an object", "[true]", false, true},
      {"garbage", std::string("\x00\xFF garbage", 10), false, true},
      {"cut short", "{\"iconsChangedByUs\":tr", false, true},
      {"empty", "", false, true},
      {"bad UTF-8", "{\"iconsChangedByUs\":true,\"x\":\"\xC3\"}", false, true},
  };
  for (const auto& c : cases) {
    FDir.Write("Tessary/wallpaper-state.json", c.content);
    const TWallpaperStateRecord record = FFile.Read();
    EXPECT_EQ(record.pending, c.pending) << c.name;
    EXPECT_EQ(record.originalVisible, c.originalVisible) << c.name;
  }
  FFile.Delete();
  EXPECT_FALSE(FFile.Read().pending);
  fs::create_directories(FFile.Path());  // a folder in the file's place
  EXPECT_FALSE(FFile.Read().pending);
  EXPECT_FALSE(FFile.Write(true));
}

TEST_F(WallpaperStateTest, DeleteRemovesTheFileAndSiblingsLeftByACrashOnly) {
  ASSERT_TRUE(FFile.Write(true));
  FDir.Write("Tessary/wallpaper-state.json.k3j5x9aa.tmp", "{");
  FDir.Write("Tessary/wallpaper-state.json.bak", "mine");
  FDir.Write("Tessary/other.json.k3j5x9aa.tmp", "not ours");
  FFile.DeleteTemporary();
  EXPECT_TRUE(fs::exists(FFile.Path()));
  EXPECT_EQ(FolderEntries(), 3);
  FFile.Delete();
  EXPECT_FALSE(fs::exists(FFile.Path()));
  EXPECT_EQ(FolderEntries(), 2);
  FFile.Delete();  // nothing there: no error
}

TEST_F(WallpaperStateTest, AReadOnlyFolderRefusesTheRecordAndKeepsTheOldOne) {
  constexpr fs::perms kReadOnly = fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                  fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec;
  // Without its folder: the data home cannot take a "Tessary" folder.
  fs::permissions(FDir.Path(), kReadOnly);
  {
    TUnprivilegedScope user;
    EXPECT_FALSE(FFile.Write(true));
  }
  fs::permissions(FDir.Path(), fs::perms::owner_write, fs::perm_options::add);
  // With its folder read-only and an earlier record in it.
  ASSERT_TRUE(FFile.Write(true));
  const std::string before = ReadText(FFile.Path());
  const fs::path folder = fs::path(FFile.Path()).parent_path();
  fs::permissions(folder, kReadOnly);
  {
    TUnprivilegedScope user;
    EXPECT_FALSE(FFile.Write(false));
  }
  fs::permissions(folder, fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(ReadText(FFile.Path()), before);
  EXPECT_EQ(FolderEntries(), 1);
}
