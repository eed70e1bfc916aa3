#include <gtest/gtest.h>

#include "generator/Options.h"

namespace {

TEST(Options, MatchIgnoringCaseAndTakeTheLastValue) {
  const TOptions o = ParseOptions({"--PHOTO-FOLDER=/first", "--photo-folder=/Photos/夏", "--Web-From-Disk",
                                   "--pdf-out=/out", "--KIRO-OUT=/k.kiro", "--ipc-out=/r.json",
                                   "--open-album=abc", "--wallpaper-test", "--unknown=1"});
  EXPECT_EQ(o.autoTestFolder, "/Photos/夏");
  EXPECT_TRUE(o.webFromDisk);
  EXPECT_TRUE(o.wallpaperTest);
  EXPECT_EQ(o.pdfOutDir, "/out");
  EXPECT_EQ(o.kiroOutPath, "/k.kiro");
  EXPECT_EQ(o.ipcOut, "/r.json");
  EXPECT_EQ(o.ipcAction, "");
  EXPECT_EQ(o.openAlbumId, "abc");
  EXPECT_FALSE(o.openAlbumAsWallpaper);
  EXPECT_FALSE(o.wallpaperWorker);
}

TEST(Options, SwitchesMatchOnlyTheWholeArgument) {
  const TOptions o = ParseOptions({"--web-from-disk=yes", "--wallpaper-testing"});
  EXPECT_FALSE(o.webFromDisk);
  EXPECT_FALSE(o.wallpaperTest);
}

TEST(Options, ValuesKeepTheirOwnCaseAndMayBeEmpty) {
  const TOptions o = ParseOptions({"--ipc=Stop", "--handoff-selftest=", "--photo-folder=--Odd=Name"});
  EXPECT_EQ(o.ipcAction, "Stop");
  EXPECT_EQ(o.handoffSelfTest, "");
  EXPECT_EQ(o.autoTestFolder, "--Odd=Name");
}

TEST(Options, SetWallpaperMakesAWorkerOnlyWhenWrittenExactly) {
  const TOptions lower = ParseOptions({"--set-wallpaper=20250101-120000-abcdef"});
  EXPECT_EQ(lower.openAlbumId, "20250101-120000-abcdef");
  EXPECT_TRUE(lower.openAlbumAsWallpaper);
  EXPECT_TRUE(lower.wallpaperWorker);
  EXPECT_TRUE(IsWorkerInvocation({"--x", "--set-wallpaper=id"}));
  EXPECT_TRUE(IsWorkerInvocation({"--set-wallpaper="}));

  // In capitals the window still takes it as the worker option, but the
  // program entry does not: it takes the single-instance lock and shows.
  const std::vector<std::string> upper = {"--SET-WALLPAPER=id"};
  EXPECT_TRUE(ParseOptions(upper).wallpaperWorker);
  EXPECT_FALSE(IsWorkerInvocation(upper));
  EXPECT_FALSE(IsWorkerInvocation({"-set-wallpaper=id", "--set-wallpaper"}));
}

}  // namespace
