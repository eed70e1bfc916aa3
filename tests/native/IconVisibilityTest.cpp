#include "wallpaper/IconVisibility.h"

#include <gtest/gtest.h>

#include <functional>

#include "FakeDesktopStack.h"
#include "tests/native/FakePlatform.h"
#include "tests/native/UnprivilegedScope.h"
#include "wallpaper/DesktopAttach.h"

namespace fs = std::filesystem;

namespace {

class TFakeIconLayer : public IIconLayer {
 public:
  TIconLayer layer = TIconLayer::ilTransparent;
  bool covered = false;
  bool coverWorks = true;
  std::function<void(bool)> onCover;
  std::vector<bool> requests;

  TIconLayer IconLayer() const override { return layer; }
  bool IconsCovered() const override { return covered; }
  bool CoverIcons(bool cover) override {
    requests.push_back(cover);
    if (onCover) onCover(cover);
    if (coverWorks) covered = cover;
    return covered == cover;
  }
};

class IconVisibilityTest : public ::testing::Test {
 protected:
  TTempDir FDir;
  TWallpaperStateFile FFile{TWallpaperStateFile::PathUnder(FDir.Path().string())};
  TFakeIconLayer FLayer;
  TIconVisibility FIcons{FLayer, FFile};

  bool RecordExists() const { return fs::exists(FFile.Path()); }
};

}  // namespace

TEST_F(IconVisibilityTest, HidingWritesTheRecordFirstAndShowingRemovesIt) {
  FIcons.SaveOriginal();
  EXPECT_TRUE(FIcons.OriginalVisible());
  bool recordedBeforeHiding = false;
  FLayer.onCover = [&](bool cover) {
    if (cover) recordedBeforeHiding = FFile.Read().pending && FFile.Read().originalVisible;
  };
  EXPECT_TRUE(FIcons.SetVisible(false));
  EXPECT_TRUE(recordedBeforeHiding);
  EXPECT_FALSE(FIcons.IsVisible());
  EXPECT_TRUE(FIcons.ChangedByUs());
  EXPECT_TRUE(FIcons.SetVisible(false));  // already hidden: nothing asked
  EXPECT_EQ(FLayer.requests.size(), 1u);

  EXPECT_TRUE(FIcons.SetVisible(true));
  EXPECT_TRUE(FIcons.IsVisible());
  EXPECT_FALSE(RecordExists());
}

TEST_F(IconVisibilityTest, WithoutASeeThroughIconLayerHidingIsRefused) {
  for (const TIconLayer layer : {TIconLayer::ilNone, TIconLayer::ilOpaque}) {
    FLayer.layer = layer;
    EXPECT_FALSE(FIcons.SetVisible(false));
    EXPECT_TRUE(FIcons.SetVisible(true));
    EXPECT_TRUE(FIcons.IsVisible());
  }
  EXPECT_TRUE(FLayer.requests.empty());
  EXPECT_FALSE(RecordExists());
}

TEST_F(IconVisibilityTest, AHideThatDoesNotTakeEffectLeavesNoRecord) {
  FLayer.coverWorks = false;
  EXPECT_FALSE(FIcons.SetVisible(false));
  EXPECT_TRUE(FIcons.IsVisible());
  EXPECT_FALSE(FIcons.ChangedByUs());
  EXPECT_FALSE(RecordExists());
}

TEST_F(IconVisibilityTest, AReadOnlyDataFolderRefusesToHide) {
  fs::permissions(FDir.Path(), fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                   fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  {
    TUnprivilegedScope user;
    EXPECT_FALSE(FIcons.SetVisible(false));
  }
  EXPECT_TRUE(FLayer.requests.empty());
  EXPECT_TRUE(FIcons.IsVisible());
  EXPECT_FALSE(FIcons.ChangedByUs());
}

TEST_F(IconVisibilityTest, RestoreBringsTheIconsBackOrKeepsEverythingForALaterTry) {
  FIcons.SaveOriginal();
  ASSERT_TRUE(FIcons.SetVisible(false));
  FLayer.coverWorks = false;
  EXPECT_FALSE(FIcons.Restore());
  EXPECT_TRUE(RecordExists());
  EXPECT_TRUE(FIcons.ChangedByUs());

  FLayer.coverWorks = true;
  EXPECT_TRUE(FIcons.Restore());
  EXPECT_TRUE(FIcons.IsVisible());
  EXPECT_FALSE(FIcons.ChangedByUs());
  EXPECT_FALSE(RecordExists());

  // Nothing changed by the program: a stale record goes, nothing is switched.
  ASSERT_TRUE(FFile.Write(true));
  FLayer.requests.clear();
  EXPECT_TRUE(FIcons.Restore());
  EXPECT_FALSE(RecordExists());
  EXPECT_TRUE(FLayer.requests.empty());
}

TEST_F(IconVisibilityTest, TheOriginalVisibilityIsSavedOnce) {
  FLayer.covered = true;
  FIcons.SaveOriginal();
  FLayer.covered = false;
  FIcons.SaveOriginal();
  EXPECT_FALSE(FIcons.OriginalVisible());
}

TEST_F(IconVisibilityTest, RecoveryAtStartRepairsOnlyItsOwnPendingRecord) {
  const struct {
    const char* name;
    std::string content;
    bool covered;      // the icons are hidden when the program starts
    bool coverWorks;
    bool recordStays;
    bool coveredAfter;
  } cases[] = {
      {"hidden icons come back", "{\"iconsChangedByUs\":true,\"originalIconsVisible\":true}", true, true, false, false},
      {"the wallpaper went with its process", "{\"iconsChangedByUs\":true,\"originalIconsVisible\":true}", false,
       true, false, false},
      {"no visibility: visible", "\xEF\xBB\xBF{\"iconsChangedByUs\":true}", true, true, false, false},
      {"a failed repair is tried again next start", "{\"iconsChangedByUs\":true}", true, false, true, true},
      {"not changed by us", "{\"iconsChangedByUs\":false}", true, true, true, true},
      {"foreign content", "[1,2]", true, true, true, true},
      {"garbage", "\x01\x02", true, true, true, true},
  };
  for (const auto& c : cases) {
    FDir.Write("Tessary/wallpaper-state.json", c.content);
    FDir.Write("Tessary/wallpaper-state.json.k3j5x9aa.tmp", "{\"iconsChanged");  // a crash while writing
    TFakeIconLayer layer;
    layer.covered = c.covered;
    layer.coverWorks = c.coverWorks;
    TIconVisibility::RecoverPending(layer, FFile);
    EXPECT_EQ(RecordExists(), c.recordStays) << c.name;
    EXPECT_EQ(layer.covered, c.coveredAfter) << c.name;
    EXPECT_FALSE(fs::exists(FFile.Path() + ".k3j5x9aa.tmp")) << c.name;
  }
}

// The icon switch on the real attachment logic: hiding stacks the wallpaper
// over the icon layer, stopping (detach, then restore) brings them back.
TEST_F(IconVisibilityTest, OnTheAttachmentHidingStacksTheWallpaperOverTheIconLayer) {
  constexpr TNativeWindow kWallpaper = 0x100, kIcons = 0x400;
  TFakeDesktopStack stack;
  stack.Add(stack.DesktopWindow(kIcons, true));
  stack.Add(TFakeDesktopStack::Normal(kWallpaper));
  TDesktopAttach attach(stack, kWallpaper, nullptr);
  TIconVisibility icons(attach, FFile);
  ASSERT_TRUE(attach.Attach());
  icons.SaveOriginal();
  ASSERT_TRUE(icons.SetVisible(false));
  EXPECT_EQ(stack.Order(), (std::vector<TNativeWindow>{kIcons, kWallpaper}));
  EXPECT_TRUE(RecordExists());

  attach.Detach();
  EXPECT_TRUE(icons.Restore());
  EXPECT_FALSE(RecordExists());
  EXPECT_TRUE(icons.IsVisible());
}
