// Crash safety of the creation store: a writer saving, renaming, marking and
// deleting creations is killed with SIGKILL at random moments; after every
// kill a listing shows only complete creations (each copy its record names
// is there with its size and checksum, the cover too) and each one opens.
// TESSARY_ALBUM_KILLS sets the number of kills (200 by default).
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>

#include "shared/AlbumStore.h"
#include "shared/FileAccess.h"
#include "tests/linux/ChildProcess.h"

namespace {

namespace fs = std::filesystem;

int KillCount() {
  const char* text = std::getenv("TESSARY_ALBUM_KILLS");
  return text && *text ? std::atoi(text) : 200;
}

std::uint32_t Checksum(const std::vector<std::uint8_t>& bytes) {
  std::uint32_t hash = 2166136261u;
  for (std::uint8_t b : bytes) hash = (hash ^ b) * 16777619u;
  return hash;
}

class AlbumCrashTest : public ::testing::Test {
 protected:
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(FRoot.parent_path(), ignored);
  }

  // Every listed creation opens and holds exactly what its record names.
  int CheckListedAreWhole(int kill) {
    const std::vector<TAlbumSummary> list = FStore.List();
    for (const TAlbumSummary& summary : list) {
      const TAlbumLoaded loaded = FStore.Load(summary.id);
      const TJson& checks = loaded.record["checks"];
      EXPECT_EQ(summary.photoCount, static_cast<int>(checks.size())) << "kill " << kill << ": " << summary.id;
      EXPECT_EQ(summary.availableCount, summary.photoCount) << "kill " << kill << ": " << summary.id;
      for (const auto& check : checks.items()) {
        const std::vector<std::uint8_t> bytes = ReadFileBytes((fs::path(loaded.filesDir) / check.key()).string());
        EXPECT_EQ(bytes.size(), check.value()["size"].get<std::size_t>()) << "kill " << kill << ": " << summary.id;
        EXPECT_EQ(Checksum(bytes), check.value()["sum"].get<std::uint32_t>()) << "kill " << kill;
      }
      EXPECT_EQ(summary.cover.size(), std::string("data:image/jpeg;base64,").size() + 6668) << "kill " << kill;
    }
    return static_cast<int>(list.size());
  }

  fs::path FRoot = fs::temp_directory_path() / ("tessary-album-crash-" + std::to_string(::getpid())) / "albums";
  TAlbumStore FStore{FRoot.string()};
};

TEST_F(AlbumCrashTest, KillsDuringSavesRenamesAndDeletesLeaveOnlyCompleteCreations) {
  const int kills = KillCount();
  std::mt19937 random(std::random_device{}());
  std::uniform_int_distribution<long> moment(2000, 120000);  // microseconds after "ready"
  int listed = 0;
  const auto started = std::chrono::steady_clock::now();
  for (int kill = 1; kill <= kills && !HasFailure(); ++kill) {
    TChildProcess writer({TESSARY_ALBUM_WRITER, FRoot.string()});
    ASSERT_EQ(writer.ReadLine(20000), "ready") << "kill " << kill << ": " << writer.Stderr();
    std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
    writer.Signal(SIGKILL);
    ASSERT_EQ(writer.Wait(5000), 128 + SIGKILL) << "the writer stopped by itself: " << writer.Stderr();
    listed += CheckListedAreWhole(kill);
  }
  int leftovers = 0;
  for (const auto& entry : fs::directory_iterator(FRoot)) {
    if (entry.path().filename().string().find('.') != std::string::npos) ++leftovers;
  }
  std::printf("%d kills in %.1f s; %.1f creations listed on average; %d leftover folders before the sweep\n", kills,
              std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(),
              static_cast<double>(listed) / kills, leftovers);

  FStore.SweepLeftovers();
  for (const auto& entry : fs::directory_iterator(FRoot)) {
    EXPECT_EQ(entry.path().filename().string().find('.'), std::string::npos) << entry.path();
  }
}

}  // namespace
