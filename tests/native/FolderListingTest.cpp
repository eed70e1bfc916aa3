#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <unistd.h>

#include "shared/HostBridge.h"
#include "shared/ListedName.h"
#include "tests/native/FakePlatform.h"

namespace {

using TNames = std::vector<std::string>;

class FolderListing : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"b.jpg", "B2.PNG", "a.jpeg", "scan.bmp", "iphone.HEIC", "x.heif", "notes.txt",
                             "read.MD", "clip.mp4", "noext", "two..dots.jpg", "sub/deep/c.jpg", "sub/A.png",
                             "sub/memo.md", "Zeta/z.jpg"}) {
      dir.Write(name, name);  // sizes that differ, so that a size given for another file shows
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

TEST_F(FolderListing, MaterialFolderPickedCarriesTheListsInOrder) {
  for (const char* name : {"anim.GIF", "sticker.webp", "scan.tiff", "raw/IMG_1.CR2", "doc.pdf", "sub/pic.avif"}) {
    dir.Write(name, "x");
  }
  const TJson payload = THostBridge::MaterialFolderPickedPayload(dir.Path().string(), false);
  TNames keys;
  for (auto it = payload.begin(); it != payload.end(); ++it) keys.push_back(it.key());
  EXPECT_EQ(keys, (TNames{"baseUrl", "folder", "photos", "photoSizes", "memos", "unsupported"}));
  EXPECT_EQ(payload["baseUrl"], "tessary-photo://photo/");
  EXPECT_EQ(payload["folder"], dir.Path().string());
  EXPECT_EQ(payload["photos"].size(), 7u);
  // Each photo's size, in the photos' order.
  ASSERT_EQ(payload["photoSizes"].size(), payload["photos"].size());
  for (std::size_t i = 0; i < payload["photos"].size(); ++i) {
    EXPECT_EQ(payload["photoSizes"][i],
              std::filesystem::file_size(dir.Path() / payload["photos"][i].get<std::string>()));
  }
  EXPECT_EQ(payload["memos"], (TJson{"notes.txt", "read.MD"}));
  // Pictures the page cannot read are named so that they do not vanish
  // without a word; other files are none of its concern.
  EXPECT_EQ(payload["unsupported"], (TJson{"anim.GIF", "scan.tiff", "sticker.webp"}));
  EXPECT_EQ(THostBridge::MaterialFolderPickedPayload(dir.Path().string(), true)["unsupported"],
            (TJson{"anim.GIF", "raw/IMG_1.CR2", "scan.tiff", "sticker.webp", "sub/pic.avif"}));
}

// Links that lead out of the folder are not listed (nor served); links that
// stay inside are.
TEST_F(FolderListing, LeavesOutLinksThatLeadOutOfTheFolder) {
  namespace fs = std::filesystem;
  TTempDir outside;
  const fs::path secret = outside.Write("secret.jpg", "x");
  outside.Write("more/deep.jpg", "x");
  outside.Write("letter.txt", "x");
  fs::create_symlink(secret, dir.Path() / "link.jpg");
  fs::create_symlink(outside.Path() / "letter.txt", dir.Path() / "letter.txt");
  fs::create_symlink(outside.Path() / "more", dir.Path() / "more");
  fs::create_symlink("b.jpg", dir.Path() / "same.jpg");
  fs::create_symlink(dir.Path() / "sub" / "A.png", dir.Path() / "sub" / "deep" / "again.png");
  EXPECT_EQ(THostBridge::ListPhotoFiles(dir.Path().string(), true),
            (TNames{"B2.PNG", "Zeta/z.jpg", "a.jpeg", "b.jpg", "iphone.HEIC", "same.jpg", "scan.bmp", "sub/A.png",
                    "sub/deep/again.png", "sub/deep/c.jpg", "two..dots.jpg", "x.heif"}));
  EXPECT_EQ(THostBridge::ListMemoFiles(dir.Path().string(), false), (TNames{"notes.txt", "read.MD"}));
}

// Names that are not UTF-8 are listed in a form the photo origin turns back
// into the bytes on disk.
TEST_F(FolderListing, NamesThatAreNotUtf8AreListedInTheirEscapedForm) {
  dir.Write("bad\xFF.jpg", "x");
  dir.Write("\x83\x74\x83\x40/memo.txt", "x");
  const TNames photos = THostBridge::ListPhotoFiles(dir.Path().string(), false);
  EXPECT_EQ(std::count(photos.begin(), photos.end(), "bad\uFFFDFF.jpg"), 1);
  EXPECT_EQ(std::count(photos.begin(), photos.end(), "bad\xFF.jpg"), 0);
  const TNames memos = THostBridge::ListMemoFiles(dir.Path().string(), true);
  EXPECT_EQ(std::count(memos.begin(), memos.end(), "\uFFFD83t\uFFFD83@/memo.txt"), 1);
}

TEST(ListedNames, AreReversibleAndUnique) {
  struct TCase {
    std::string onDisk;
    std::string listed;
  };
  const TCase cases[] = {
      {"beach.jpg", "beach.jpg"},
      {"写真/夏.png", "写真/夏.png"},
      {"100% #1 a+b.jpg", "100% #1 a+b.jpg"},
      {"bad\xFF.jpg", "bad\uFFFDFF.jpg"},
      {"caf\xE9.jpg", "caf\uFFFDE9.jpg"},                       // Latin-1
      {"\x83\x74\x83\x40.jpg", "\uFFFD83t\uFFFD83@.jpg"},   // Shift_JIS
      {"cut\xE5\x86.jpg", "cut\uFFFDE5\uFFFD86.jpg"},          // a sequence broken off
      {"\xC0\xAF.jpg", "\uFFFDC0\uFFFDAF.jpg"},                // overlong "/"
      {"\xED\xA0\x80.jpg", "\uFFFDED\uFFFDA0\uFFFD80.jpg"},  // a surrogate
      {"real\uFFFD.jpg", "real\uFFFDEF\uFFFDBF\uFFFDBD.jpg"},  // the mark itself
      {"\uFFFDFF.jpg", "\uFFFDEF\uFFFDBF\uFFFDBDFF.jpg"},      // not the same as "\xFF.jpg"
      {"\xFF.jpg", "\uFFFDFF.jpg"},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(ListedName(c.onDisk), c.listed) << c.onDisk;
    EXPECT_EQ(FileNameOfListed(c.listed), c.onDisk) << c.listed;
  }
  // Forms ListedName never makes lead to no file.
  for (const std::string& listed : {std::string("bad\uFFFD.jpg"), std::string("bad\uFFFDff.jpg"),
                                    std::string("bad\uFFFDF"), std::string("\uFFFD62each.jpg"),
                                    std::string("a\uFFFD2Fb.jpg"), std::string("\uFFFD00.jpg"),
                                    std::string("raw\xFF.jpg")}) {
    EXPECT_EQ(FileNameOfListed(listed), std::nullopt) << listed;
  }
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
