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

// A PNG of one colour, encoded by GdkPixbuf.
std::vector<std::uint8_t> SolidPng(int width, int height, bool alpha, guint32 rgba) {
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, alpha, 8, width, height);
  gdk_pixbuf_fill(pixbuf, rgba);
  gchar* png = nullptr;
  gsize size = 0;
  const bool saved = gdk_pixbuf_save_to_buffer(pixbuf, &png, &size, "png", nullptr, nullptr);
  g_object_unref(pixbuf);
  std::vector<std::uint8_t> bytes(png, png + (saved ? size : 0));
  g_free(png);
  return bytes;
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
  const auto png = SolidPng(2, 1, true, 0x00000000);  // fully transparent black
  ASSERT_FALSE(png.empty());
  TLinuxImageCodec codec;
  const TRgbImage decoded = codec.Decode(png);
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

// The decoders' messages reach the page as they are; some end in a line
// break ("...: EOF\n") that would show as a stray blank line.
TEST(ImageCodec, DecoderMessagesComeWithoutTrailingLineBreaks) {
  TLinuxImageCodec codec;
  const auto heic = MakeHeic(codec, 64, 48);
  if (heic.empty()) GTEST_SKIP() << "heif-enc not available";
  const auto png = SolidPng(8, 8, false, 0x808080ff);
  const std::vector<std::vector<std::uint8_t>> broken = {
      {heic.begin(), heic.begin() + static_cast<std::ptrdiff_t>(heic.size() / 2)},
      {heic.begin(), heic.begin() + 40},
      {png.begin(), png.begin() + 40},
  };
  for (std::size_t i = 0; i < broken.size(); ++i) {
    try {
      ConvertToJpeg(codec, broken[i]);
      ADD_FAILURE() << "case " << i << ": no error";
    } catch (const std::runtime_error& e) {
      const std::string message = e.what();
      EXPECT_FALSE(message.empty()) << "case " << i;
      EXPECT_EQ(message.find_last_not_of(" \t\r\n"), message.size() - 1) << "case " << i << ": [" << message << "]";
    }
  }
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

// A picture's size comes from its header, so an oversized one is refused
// before anything is allocated for its pixels.
TEST(ImageCodec, OversizedPictureIsRefusedFromItsHeaderAlone) {
  // A small real PNG whose header is rewritten to claim 100000x90000 pixels
  // (27 GB decoded); its IHDR checksum is recomputed so the claim is believed.
  auto png = SolidPng(16, 16, false, 0x808080ff);
  ASSERT_GT(png.size(), 33u);
  const auto putBigEndian = [&](std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) png[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
  };
  putBigEndian(16, 100000);
  putBigEndian(20, 90000);
  std::uint32_t crc = 0xFFFFFFFF;
  for (std::size_t i = 12; i < 29; ++i) {
    crc ^= png[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
  }
  putBigEndian(29, ~crc);
  TLinuxImageCodec codec;
  EXPECT_EQ(codec.ReadSize(png).width, 100000);
  EXPECT_EQ(codec.ReadSize(png).height, 90000);
  try {
    ConvertToJpeg(codec, png);
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "unsupported image size (100000x90000)");
  }
}
