#include "platform/linux/ImageCodec.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "shared/HeicConversion.h"

namespace {

namespace fs = std::filesystem;

TRgbImage Gradient(int width, int height) {
  TRgbImage image{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3)};
  for (std::size_t i = 0; i < image.rgb.size(); ++i) image.rgb[i] = static_cast<std::uint8_t>(i * 7 / 3);
  return image;
}

// A real HEIC made by libheif's own encoder tool; empty when it is missing.
std::vector<std::uint8_t> MakeHeic(TLinuxImageCodec& codec, int width, int height) {
  const fs::path dir = fs::temp_directory_path() / ("tessary-heic-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const auto jpeg = codec.EncodeJpeg(Gradient(width, height), 90);
  std::ofstream(dir / "in.jpg", std::ios::binary).write(reinterpret_cast<const char*>(jpeg.data()), jpeg.size());
  const std::string command = "heif-enc -q 50 '" + (dir / "in.jpg").string() + "' -o '" + (dir / "out.heic").string() +
                              "' >/dev/null 2>&1";
  std::vector<std::uint8_t> heic;
  if (std::system(command.c_str()) == 0) {
    std::ifstream in(dir / "out.heic", std::ios::binary);
    heic.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  fs::remove_all(dir);
  return heic;
}

}  // namespace

TEST(ImageCodec, JpegRoundTripKeepsTheSize) {
  TLinuxImageCodec codec;
  const auto jpeg = codec.EncodeJpeg(Gradient(37, 21), 92);
  ASSERT_GT(jpeg.size(), 3u);
  EXPECT_EQ(jpeg[0], 0xFF);
  EXPECT_EQ(jpeg[1], 0xD8);
  EXPECT_EQ(codec.ReadSize(jpeg).width, 37);
  const TRgbImage decoded = codec.Decode(jpeg);
  EXPECT_EQ(decoded.width, 37);
  EXPECT_EQ(decoded.height, 21);
  EXPECT_EQ(decoded.rgb.size(), 37u * 21u * 3u);
}

TEST(ImageCodec, TransparentPixelsBecomeWhitePaper) {
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 2, 1);
  gdk_pixbuf_fill(pixbuf, 0x00000000);  // fully transparent black
  gchar* png = nullptr;
  gsize size = 0;
  ASSERT_TRUE(gdk_pixbuf_save_to_buffer(pixbuf, &png, &size, "png", nullptr, nullptr));
  g_object_unref(pixbuf);
  TLinuxImageCodec codec;
  const TRgbImage decoded = codec.Decode(std::vector<std::uint8_t>(png, png + size));
  g_free(png);
  EXPECT_EQ(decoded.rgb, std::vector<std::uint8_t>(6, 255));
}

TEST(ImageCodec, UnreadableBytesFailWithTheDecodersMessage) {
  TLinuxImageCodec codec;
  const std::vector<std::uint8_t> junk(100, 0x42);
  EXPECT_THROW(codec.Decode(junk), std::runtime_error);
  EXPECT_THROW(codec.ReadSize({}), std::runtime_error);
  EXPECT_THROW(codec.EncodeJpeg(TRgbImage{}, 92), std::runtime_error);
}

TEST(ImageCodec, HeicDecodesAndConvertsToJpeg) {
  TLinuxImageCodec codec;
  const auto heic = MakeHeic(codec, 64, 48);
  if (heic.empty()) GTEST_SKIP() << "heif-enc not available";
  EXPECT_EQ(codec.ReadSize(heic).width, 64);
  EXPECT_EQ(codec.ReadSize(heic).height, 48);
  const auto jpeg = ConvertToJpeg(codec, heic);
  const TRgbImage back = codec.Decode(jpeg);
  EXPECT_EQ(back.width, 64);
  EXPECT_EQ(back.height, 48);
}

TEST(ImageCodec, HeicWiderThan12000PixelsIsRefusedWithItsSize) {
  TLinuxImageCodec codec;
  const auto heic = MakeHeic(codec, 12001, 64);
  if (heic.empty()) GTEST_SKIP() << "heif-enc not available";
  try {
    ConvertToJpeg(codec, heic);
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "unsupported image size (12001x64)");
  }
}
