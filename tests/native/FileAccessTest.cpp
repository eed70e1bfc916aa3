#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <string>
#include <vector>

#include "shared/FileAccess.h"
#include "tests/native/FakePlatform.h"

namespace {

// What fsync was asked to flush while recording, by path.
bool gRecordSyncs = false;
std::vector<std::string> gSynced;

}  // namespace

// Stands in for the C library's fsync in this test program: notes which file
// each call flushes, then flushes it for real.
extern "C" int fsync(int fd) {
  using TFsync = int (*)(int);
  static const auto real = reinterpret_cast<TFsync>(dlsym(RTLD_NEXT, "fsync"));
  if (gRecordSyncs) {
    char target[PATH_MAX];
    const ssize_t length = readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), target, sizeof target - 1);
    gSynced.emplace_back(target, length > 0 ? static_cast<std::size_t>(length) : 0);
  }
  return real(fd);
}

namespace {

// A rename reaches the disk only with the folder's own entries: without a
// flush of the folder a crash can bring the old file back.
TEST(FileAccess, TheWrittenFileAndThenItsFolderAreFlushed) {
  TTempDir dir;
  const std::filesystem::path folder = std::filesystem::canonical(dir.Path());
  const std::string target = (folder / "picture.png").string();
  gSynced.clear();
  gRecordSyncs = true;
  WriteFileReplacing(target, Bytes("new picture"));
  gRecordSyncs = false;
  ASSERT_EQ(gSynced.size(), 2u);
  EXPECT_TRUE(gSynced[0].starts_with(target + ".") && gSynced[0].ends_with(".tmp")) << gSynced[0];
  EXPECT_EQ(gSynced[1], folder.string());
  EXPECT_EQ(ReadText(target), "new picture");
}

}  // namespace
