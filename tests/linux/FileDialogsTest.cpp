#include "platform/linux/FileDialogs.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TSaveDialogRequest ImageSaveRequest() {
  TSaveDialogRequest request;
  request.types = {{"PNG image", "*.png"}, {"JPEG image", "*.jpg;*.jpeg"}, {"MP4 video", "*.mp4"},
                   {"Live wallpaper", "*.kiro"}};
  request.defaultTypeIndex = 1;
  request.defaultExt = "png";
  return request;
}

}  // namespace

TEST(FileDialogs, TheTypeFollowsTheExtensionIgnoringCase) {
  const TSaveDialogRequest request = ImageSaveRequest();
  const struct {
    const char* path;
    int type;
  } cases[] = {{"/t/a.png", 1}, {"/t/a.JPEG", 2}, {"/t/a.jpg", 2}, {"/t/v.Mp4", 3},
               {"/t/w.kiro", 4}, {"/t/a.txt", 9}, {"/t/noext", 9}, {"/t.jpg/noext", 9}};
  for (const auto& c : cases) EXPECT_EQ(FileTypeForPath(request, c.path, 9), c.type) << c.path;
}

TEST(FileDialogs, TheTestHookAnswersWithoutADialog) {
  setenv("TESSARY_TEST_SAVE_PATH", "/tmp/out/video.mp4", 1);
  const TSaveDialogResult result = RunSaveDialog(nullptr, ImageSaveRequest());
  unsetenv("TESSARY_TEST_SAVE_PATH");
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.path, "/tmp/out/video.mp4");
  EXPECT_EQ(result.typeIndex, 3);
}
