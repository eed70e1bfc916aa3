// Crash safety of the live hand-over store: a writer looping hand-overs is
// killed with SIGKILL at random moments; after every kill the active
// generation must be whole (every photo its data names is there, complete
// and decodable) and the folders of earlier crashes must be gone once the
// next writer has committed. TESSARY_HANDOFF_KILLS sets the number of kills
// (200 by default, about 30 s; scripts/test-handoff-crash.sh runs 500).
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>

#include "platform/linux/ImageCodec.h"
#include "shared/FileAccess.h"
#include "shared/LiveHandoff.h"
#include "tests/linux/ChildProcess.h"

namespace {

namespace fs = std::filesystem;

// A noisy picture, so that its JPEG is large enough to be caught half-written.
TRgbImage Noise(int width, int height, unsigned seed) {
  TRgbImage image{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3)};
  std::mt19937 random(seed);
  for (std::uint8_t& value : image.rgb) value = static_cast<std::uint8_t>(random());
  return image;
}

int KillCount() {
  const char* text = std::getenv("TESSARY_HANDOFF_KILLS");
  return text && *text ? std::atoi(text) : 200;
}

// What the moment of a kill left besides the active generation.
struct TLeftovers {
  int pendingOrSwept = 0;   // a generation folder that is not the active one
  int pointerTmp = 0;       // "active.txt.tmp"
  int dataTmp = 0;          // "data.json.tmp" in the active generation
};

class HandoffCrashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(FHome);
    setenv("XDG_DATA_HOME", FHome.c_str(), 1);
    FRoot = FHome / "Tessary" / "live";
    const int sides[][2] = {{320, 240}, {640, 480}, {480, 640}};
    for (unsigned i = 0; i < 3; ++i) {
      const fs::path path = FHome / ("photo" + std::to_string(i) + ".jpg");
      const std::vector<std::uint8_t> jpeg = FCodec.EncodeJpeg(Noise(sides[i][0], sides[i][1], i), 90);
      WriteFileReplacing(path.string(), jpeg);
      FPhotoPaths.push_back(path.string());
    }
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(FHome, ignored);
    unsetenv("XDG_DATA_HOME");
  }

  // The active generation as a reader finds it: whole, or the test fails.
  void CheckActiveIsWhole(int kill) {
    std::string text;
    ASSERT_TRUE(ReadHandoffData(text)) << "kill " << kill;
    const TJson data = TJson::parse(text, nullptr, false);
    ASSERT_TRUE(data.is_object() && data["photoUrls"].is_object()) << "kill " << kill << ": " << text;
    ASSERT_FALSE(data["photoUrls"].empty());
    for (const auto& entry : data["photoUrls"].items()) {
      std::vector<std::uint8_t> photo;
      const int index = std::stoi(entry.key());
      ASSERT_TRUE(ReadHandoffPhoto(index, photo)) << "kill " << kill << ": photo " << index;
      ASSERT_EQ(photo.size(), data["photoBytes"][entry.key()].get<std::size_t>()) << "kill " << kill;
      const TRgbImage image = FCodec.Decode(photo);
      ASSERT_GT(image.width, 0) << "kill " << kill;
    }
  }

  void CountLeftovers(TLeftovers& leftovers, int kill) {
    const fs::path active = ActiveGenerationDir();
    int others = 0;
    for (const auto& entry : fs::directory_iterator(FRoot)) {
      if (entry.is_directory() && entry.path() != active) ++others;
      if (entry.path().filename() == "active.txt.tmp") ++leftovers.pointerTmp;
    }
    if (fs::exists(active / "data.json.tmp")) ++leftovers.dataTmp;
    // The writer's first commit swept every earlier crash's folders; since
    // then at most its pending generation, or its previous one while being
    // swept, can be there.
    EXPECT_LE(others, 1) << "kill " << kill;
    leftovers.pendingOrSwept += others;
  }

  fs::path FHome = fs::temp_directory_path() / ("tessary-crash-" + std::to_string(::getpid()));
  fs::path FRoot;
  std::vector<std::string> FPhotoPaths;
  TLinuxImageCodec FCodec;
};

TEST_F(HandoffCrashTest, KillsDuringHandOversNeverBreakTheActiveGeneration) {
  const int kills = KillCount();
  std::mt19937 random(std::random_device{}());
  std::vector<std::string> argv{TESSARY_HANDOFF_WRITER};
  argv.insert(argv.end(), FPhotoPaths.begin(), FPhotoPaths.end());

  // How long one hand-over takes here, so that the kills spread over whole cycles.
  const auto started = std::chrono::steady_clock::now();
  {
    TChildProcess writer(argv);
    ASSERT_EQ(writer.ReadLine(20000), "ready") << writer.Stderr();
  }
  const auto cycleUs = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started)
                           .count();
  std::uniform_int_distribution<long> moment(0, std::max<long>(2 * cycleUs, 1000));

  TLeftovers leftovers;
  const auto loopStart = std::chrono::steady_clock::now();
  for (int kill = 1; kill <= kills && !HasFatalFailure(); ++kill) {
    TChildProcess writer(argv);
    ASSERT_EQ(writer.ReadLine(20000), "ready") << "kill " << kill << ": " << writer.Stderr();
    std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
    writer.Signal(SIGKILL);
    ASSERT_EQ(writer.Wait(5000), 128 + SIGKILL) << "the writer stopped by itself: " << writer.Stderr();
    CheckActiveIsWhole(kill);
    CountLeftovers(leftovers, kill);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - loopStart).count();
  std::printf("%d kills in %.1f s (one hand-over ~%ld us); kills that left a second generation folder: %d, "
              "active.txt.tmp: %d, data.json.tmp: %d\n",
              kills, seconds, static_cast<long>(cycleUs), leftovers.pendingOrSwept, leftovers.pointerTmp,
              leftovers.dataTmp);

  // The next hand-over after the last crash sweeps whatever it left.
  ASSERT_TRUE(BeginHandoff());
  ASSERT_TRUE(WriteHandoffPhoto(0, ReadFileBytes(FPhotoPaths[0])));
  ASSERT_TRUE(CommitHandoff("{\"photoUrls\":{\"0\":\"tessary-live://live/0\"}}"));
  std::vector<std::string> entries;
  for (const auto& entry : fs::directory_iterator(FRoot)) entries.push_back(entry.path().filename().string());
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<std::string>{"active.txt", fs::path(ActiveGenerationDir()).filename().string()}));
}

}  // namespace
