// Packages and the real live hand-over store: a packed hand-over leaves the
// store alone and imports back to the same play data and photos, and an
// import that fails (before or after it began a generation) leaves the active
// generation untouched with no folder of its own behind.
#include "shared/KiroHandoff.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>

#include "shared/LiveHandoff.h"
#include "shared/ReplacingFile.h"
#include "shared/ZipWriter.h"
#include "tests/native/FakePlatform.h"
#include "tests/native/ToolRun.h"

namespace {

namespace fs = std::filesystem;

const std::string kData = R"({"drawList":[],"w":1920,"h":1080,"motion":"drop","photoUrls":{"0":"tessary-live://live/0","7":"tessary-live://live/7"}})";

std::vector<std::uint8_t> Photo(std::size_t size, unsigned seed) {
  std::vector<std::uint8_t> bytes(size);
  for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
  return bytes;
}

class KiroHandoffTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_DATA_HOME");
    FOldDataHome = old ? std::optional<std::string>(old) : std::nullopt;
    UseDataHome(FHome.Path() / "a");
  }
  void TearDown() override {
    AbortHandoff();
    if (FOldDataHome) setenv("XDG_DATA_HOME", FOldDataHome->c_str(), 1);
    else unsetenv("XDG_DATA_HOME");
  }
  static void UseDataHome(const fs::path& home) { setenv("XDG_DATA_HOME", home.c_str(), 1); }

  static void CommitActive(const std::string& data) {
    ASSERT_TRUE(BeginHandoff());
    ASSERT_TRUE(WriteHandoffPhoto(0, Photo(90000, 1)));
    ASSERT_TRUE(WriteHandoffPhoto(7, Photo(4000, 2)));
    ASSERT_TRUE(CommitHandoff(data));
  }
  static std::set<std::string> RootEntries() {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(HandoffRoot())) names.insert(entry.path().filename());
    return names;
  }
  // A package whose archive passes every check made before the import
  // begins a generation, and fails while unpacking: photo 1 comes twice.
  fs::path FailingAfterBegin() {
    const fs::path path = FHome.Path() / "twice.kiro";
    TReplacingFile file(path.string());
    TZipWriter zip(file, 0);
    const std::vector<std::uint8_t> photo = Photo(5000, 3);
    zip.AddBytes("data.json", reinterpret_cast<const std::uint8_t*>(kData.data()), kData.size(), 6);
    zip.AddBytes("photos/1.jpg", photo.data(), photo.size(), 6);
    zip.AddBytes("photos/0001.jpg", photo.data(), photo.size(), 6);
    zip.Finish();
    file.Commit();
    return path;
  }

  TTempDir FHome;
  std::optional<std::string> FOldDataHome;
};

TEST_F(KiroHandoffTest, APackedHandoffLeavesTheStoreAloneAndImportsBackElsewhereAsItWas) {
  // A live wallpaper plays its own hand-over meanwhile.
  CommitActive(R"({"playing":true})");
  const std::string activeBefore = ActiveGenerationDir();
  const std::set<std::string> entriesBefore = RootEntries();
  const std::vector<std::uint8_t> zero = Photo(90000, 1);
  const std::vector<std::uint8_t> seven = Photo(4000, 2);
  const fs::path package = FHome.Path() / "out" / "wall.kiro";
  fs::create_directories(package.parent_path());
  const TKiroResult packed = PackLiveHandoff(package.string(), kData, {{7, seven}, {0, zero}});
  ASSERT_TRUE(packed.ok) << packed.error;
  const TToolRun test = RunTool("unzip -t " + ShellQuoted(package));
  EXPECT_EQ(test.code, 0) << test.output;
  EXPECT_EQ(ActiveGenerationDir(), activeBefore);
  EXPECT_EQ(RootEntries(), entriesBefore);

  // Another machine: its own, empty hand-over store.
  UseDataHome(FHome.Path() / "b");
  const TKiroResult imported = ImportKiroToHandoff(package.string());
  ASSERT_TRUE(imported.ok) << imported.error;
  std::string data;
  ASSERT_TRUE(ReadHandoffData(data));
  EXPECT_EQ(data, kData);
  std::vector<std::uint8_t> photo;
  ASSERT_TRUE(ReadHandoffPhoto(0, photo));
  EXPECT_EQ(photo, zero);
  ASSERT_TRUE(ReadHandoffPhoto(7, photo));
  EXPECT_EQ(photo, seven);
  EXPECT_EQ(RootEntries().size(), 2u) << "the pointer and the one generation";
}

TEST_F(KiroHandoffTest, AHandoffWithoutPhotosIsNotPacked) {
  const fs::path package = FHome.Path() / "none.kiro";
  const TKiroResult result = PackLiveHandoff(package.string(), kData, {});
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, "写真が1枚も入っていません");
  EXPECT_FALSE(fs::exists(package));
}

TEST_F(KiroHandoffTest, AFailedImportLeavesTheActiveGenerationAndNoFolderBehind) {
  CommitActive(kData);
  const std::string activeBefore = ActiveGenerationDir();
  const std::set<std::string> entriesBefore = RootEntries();
  const fs::path notZip = FHome.Write("not.kiro", "this is not an archive");
  const struct {
    fs::path package;
    std::string error;
  } cases[] = {
      {FailingAfterBegin(), "写真の番号が重複しています"},
      {notZip, "ライブ壁紙のファイルではありません"},
      {FHome.Path() / "missing.kiro", ""},
  };
  for (const auto& c : cases) {
    const TKiroResult result = ImportKiroToHandoff(c.package.string());
    EXPECT_FALSE(result.ok) << c.package;
    if (!c.error.empty()) {
      EXPECT_EQ(result.error, c.error);
    }
    EXPECT_EQ(ActiveGenerationDir(), activeBefore) << c.package;
    EXPECT_EQ(RootEntries(), entriesBefore) << c.package;
    std::string data;
    ASSERT_TRUE(ReadHandoffData(data));
    EXPECT_EQ(data, kData);
  }
}

}  // namespace
