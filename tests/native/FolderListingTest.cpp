#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <unistd.h>

#include "shared/HostBridge.h"
#include "tests/native/FakePlatform.h"

namespace {

using TNames = std::vector<std::string>;

class FolderListing : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"b.jpg", "B2.PNG", "a.jpeg", "scan.bmp", "iphone.HEIC", "x.heif", "notes.txt",
                             "read.MD", "clip.mp4", "noext", "two..dots.jpg", "sub/deep/c.jpg", "sub/A.png",
                             "sub/memo.md", "Zeta/z.jpg"}) {
      dir.Write(name, "x");
    }
    std::filesystem::create_directories(dir.Path() / "folder.jpg");  // a folder, not a photo
  }
  TTempDir dir;
};

TEST_F(FolderListing, ListsPhotosOfTheFolderOnly) {
  EXPECT_EQ(THostBridge::ListPhotoFiles(dir.Path().string(), false),
            (TNames{"B2.PNG", "a.jpeg", "b.jpg", "iphone.HEIC", "scan.bmp", "two..dots.jpg", "x.heif"}));
  EXPECT_EQ(THostBridge::ListMemoFiles(dir.Path().string(), false), (TNames{"notes.txt", "read.MD"}));
}

TEST_F(FolderListing, RecursiveListingUsesSlashesAndOrdinalOrder) {
  EXPECT_EQ(THostBridge::ListPhotoFiles(dir.Path().string(), true),
            (TNames{"B2.PNG", "Zeta/z.jpg", "a.jpeg", "b.jpg", "iphone.HEIC", "scan.bmp", "sub/A.png",
                    "sub/deep/c.jpg", "two..dots.jpg", "x.heif"}));
  EXPECT_EQ(THostBridge::ListMemoFiles(dir.Path().string(), true), (TNames{"notes.txt", "read.MD", "sub/memo.md"}));
}

TEST_F(FolderListing, AMissingOrUnreadableFolderListsNothing) {
  EXPECT_TRUE(THostBridge::ListPhotoFiles((dir.Path() / "missing").string(), true).empty());
  const auto locked = dir.Path() / "sub";
  std::filesystem::permissions(locked, std::filesystem::perms::none);
  const TNames photos = THostBridge::ListPhotoFiles(dir.Path().string(), true);
  std::filesystem::permissions(locked, std::filesystem::perms::owner_all);
  if (::geteuid() != 0) {
    EXPECT_EQ(std::count(photos.begin(), photos.end(), "sub/A.png"), 0);
  }
  EXPECT_EQ(std::count(photos.begin(), photos.end(), "Zeta/z.jpg"), 1);
}

TEST_F(FolderListing, MaterialFolderPickedCarriesBothListsInOrder) {
  const TJson payload = THostBridge::MaterialFolderPickedPayload(dir.Path().string(), false);
  TNames keys;
  for (auto it = payload.begin(); it != payload.end(); ++it) keys.push_back(it.key());
  EXPECT_EQ(keys, (TNames{"baseUrl", "folder", "photos", "memos"}));
  EXPECT_EQ(payload["baseUrl"], "tessary-photo://photo/");
  EXPECT_EQ(payload["folder"], dir.Path().string());
  EXPECT_EQ(payload["photos"].size(), 7u);
  EXPECT_EQ(payload["memos"], (TJson{"notes.txt", "read.MD"}));
}

TEST(HostFolders, FollowTheProgramAndTheConfigFolder) {
  TTempDir dir;
  const auto program = dir.Path() / "build" / "native" / "generator";
  std::filesystem::create_directories(program);
  EXPECT_EQ(THostBridge::WebDir(program.string()), (dir.Path() / "web").string());
  std::filesystem::create_directories(program / "web");
  EXPECT_EQ(THostBridge::WebDir(program.string()), (program / "web").string());
  EXPECT_EQ(THostBridge::UserDataDir("/home/u/.config"), "/home/u/.config/TessaryMaker/WebView2");
  EXPECT_EQ(THostBridge::HeicTempDir("/home/u/.config"), "/home/u/.config/TessaryMaker/heic-temp");
}

}  // namespace
