#include "platform/linux/VideoRemux.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/linux/Mp4Repair.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string CommandOutput(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe)) out += buffer;
    pclose(pipe);
  }
  return out;
}

class VideoRemuxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FDir = fs::temp_directory_path() / ("tessary-remux-" + std::to_string(::getpid()));
    fs::create_directories(FDir);
  }
  void TearDown() override { fs::remove_all(FDir); }
  fs::path FDir;
};

}  // namespace

TEST_F(VideoRemuxTest, AFragmentedRecordingBecomesARegularMp4WithItsFrames) {
  const fs::path in = FDir / "fragmented.mp4";
  const std::string make = "ffmpeg -v error -y -f lavfi -i testsrc=duration=2:size=160x120:rate=30 -c:v libx264 "
                           "-pix_fmt yuv420p -movflags frag_keyframe+empty_moov -frag_duration 500000 '" +
                           in.string() + "' 2>/dev/null";
  if (std::system(make.c_str()) != 0) GTEST_SKIP() << "ffmpeg with H.264 not available";
  const Bytes fragmented = ReadFile(in);
  ASSERT_TRUE(IsFragmentedMp4(fragmented));

  const Bytes regular = FinishRecordedMp4(fragmented);
  EXPECT_FALSE(IsFragmentedMp4(regular));
  const fs::path out = FDir / "regular.mp4";
  std::ofstream(out, std::ios::binary).write(reinterpret_cast<const char*>(regular.data()), regular.size());
  const std::string probe = CommandOutput("ffprobe -v error -count_frames -show_entries format=duration:stream=nb_read_frames "
                                "-of csv=p=0 '" + out.string() + "'");
  EXPECT_EQ(probe, "60\n2.000000\n");
}

TEST_F(VideoRemuxTest, AVideoThatCannotBeRemuxedIsKeptAsItCame) {
  // Fragments without any track header: no demuxer can read them.
  const Bytes broken = {0, 0, 0, 16, 'f', 't', 'y', 'p', 'i', 's', 'o', 'm', 0, 0, 0, 0,
                        0, 0, 0, 8,  'm', 'o', 'o', 'f', 0, 0, 0, 12, 'm', 'd', 'a', 't', 1, 2, 3, 4};
  EXPECT_THROW(RemuxToRegularMp4(broken), std::runtime_error);
  EXPECT_EQ(FinishRecordedMp4(broken), broken);
}

TEST_F(VideoRemuxTest, WhatIsNotAFragmentedMp4PassesUntouched) {
  const Bytes webmLike = {0x1A, 0x45, 0xDF, 0xA3, 1, 2, 3};
  EXPECT_EQ(FinishRecordedMp4(webmLike), webmLike);
}
