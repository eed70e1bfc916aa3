// Photo reduction with the real libjpeg-turbo: a reduced JPEG decodes to
// the picture the original gives once decoded whole and resized, for the
// kinds of JPEG cameras and programs write.
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "platform/linux/ImageCodec.h"
#include "shared/JpegReduction.h"
#include "shared/PixelResample.h"

namespace {

using TBytes = std::vector<std::uint8_t>;

// A photo-like picture: smooth colour, shapes with hard edges and grain.
TJpegPixels Photo(int width, int height, int channels) {
  TJpegPixels p{width, height, channels, TBytes(static_cast<std::size_t>(width) * height * channels)};
  unsigned seed = 12345;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      seed = seed * 1103515245 + 12345;
      const int grain = static_cast<int>((seed >> 16) % 17) - 8;
      const bool disc = (x - width / 3) * (x - width / 3) + (y - height / 2) * (y - height / 2) < height * height / 9;
      const bool bar = x > width * 2 / 3 && x < width * 3 / 4;
      for (int c = 0; c < channels; ++c) {
        int v = (x * 255 / width * (c + 1) + y * 255 / height * (3 - c)) / 4;
        if (disc) v = 230 - c * 60;
        if (bar) v = 20 + c * 10;
        p.data[(static_cast<std::size_t>(y) * width + x) * channels + c] = static_cast<std::uint8_t>(std::clamp(v + grain, 0, 255));
      }
    }
  }
  return p;
}

TBytes Encode(const TJpegPixels& p, int flags = 0) {
  const int format = p.channels == 1 ? TJPF_GRAY : p.channels == 3 ? TJPF_RGB : TJPF_CMYK;
  const int sampling = p.channels == 1 ? TJSAMP_GRAY : p.channels == 3 ? TJSAMP_420 : TJSAMP_444;
  tjhandle h = tjInitCompress();
  unsigned char* out = nullptr;
  unsigned long size = 0;
  EXPECT_EQ(tjCompress2(h, p.data.data(), p.width, 0, p.height, format, &out, &size, sampling, 95, flags), 0);
  TBytes bytes(out, out + size);
  tjFree(out);
  tjDestroy(h);
  return bytes;
}

TJpegPixels DecodeWhole(const TBytes& jpeg, int channels) {
  const int format = channels == 1 ? TJPF_GRAY : channels == 3 ? TJPF_RGB : TJPF_CMYK;
  tjhandle h = tjInitDecompress();
  int w = 0, hgt = 0, sub = 0, cs = 0;
  EXPECT_EQ(tjDecompressHeader3(h, jpeg.data(), jpeg.size(), &w, &hgt, &sub, &cs), 0);
  TJpegPixels p{w, hgt, channels, TBytes(static_cast<std::size_t>(w) * hgt * channels)};
  EXPECT_EQ(tjDecompress2(h, jpeg.data(), jpeg.size(), p.data.data(), w, 0, hgt, format, 0), 0);
  tjDestroy(h);
  return p;
}

// EXIF data with an orientation tag, inserted after SOI.
TBytes WithExif(TBytes jpeg, int orientation) {
  const std::string tiff = std::string("II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0", 18) +
                           static_cast<char>(orientation) + std::string(7, '\0');
  const std::string body = std::string("Exif\0\0", 6) + tiff;
  const std::size_t length = body.size() + 2;
  const std::string segment = std::string{'\xFF', '\xE1', static_cast<char>(length >> 8), static_cast<char>(length)} + body;
  jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
  return jpeg;
}

// Mean and largest difference per value between two pictures of one size.
std::pair<double, int> Difference(const TJpegPixels& a, const TJpegPixels& b) {
  EXPECT_EQ(a.width, b.width);
  EXPECT_EQ(a.height, b.height);
  EXPECT_EQ(a.data.size(), b.data.size());
  double sum = 0;
  std::vector<int> diffs(a.data.size());
  for (std::size_t i = 0; i < a.data.size() && i < b.data.size(); ++i) sum += diffs[i] = std::abs(a.data[i] - b.data[i]);
  std::sort(diffs.begin(), diffs.end());
  // The 99.9th percentile: a hard edge may fall a pixel apart in a few places.
  return {sum / std::max<std::size_t>(1, a.data.size()), diffs.empty() ? 0 : diffs[diffs.size() * 999 / 1000]};
}

struct TKind {
  std::string what;
  int channels;
  int flags;
};

}  // namespace

TEST(JpegReductionWithLibjpeg, ReducedDecodesLikeTheWholeDecodeResized) {
  TLinuxImageCodec codec;
  for (const TKind& kind : {TKind{"baseline colour", 3, 0}, TKind{"progressive colour", 3, TJFLAG_PROGRESSIVE},
                            TKind{"grey", 1, 0}, TKind{"CMYK (Adobe, YCCK)", 4, 0}}) {
    const TBytes original = Encode(Photo(1600, 1200, kind.channels), kind.flags);
    const auto reduced = ReduceJpeg(codec, original, 384);
    ASSERT_TRUE(reduced) << kind.what;
    EXPECT_LT(reduced->size(), original.size() / 4) << kind.what;
    const auto layout = ReadJpegLayout(*reduced);
    ASSERT_TRUE(layout) << kind.what;
    EXPECT_EQ(layout->width, 384) << kind.what;
    EXPECT_EQ(layout->height, 288) << kind.what;
    EXPECT_EQ(layout->components, kind.channels) << kind.what;
    EXPECT_EQ(layout->adobe, kind.channels == 4) << kind.what << ": CMYK keeps saying how its values are stored";

    const TJpegPixels expected = ResamplePixels(DecodeWhole(original, kind.channels), 384, 288);
    const auto [mean, worst] = Difference(DecodeWhole(*reduced, kind.channels), expected);
    EXPECT_LT(mean, 2.5) << kind.what;
    EXPECT_LT(worst, 40) << kind.what;
  }
}

TEST(JpegReductionWithLibjpeg, DecodesAtTheSmallestScaleThatCoversTheWantedSize) {
  TLinuxImageCodec codec;
  const TBytes jpeg = Encode(Photo(1600, 1200, 3));
  const std::tuple<int, int, int, int> cases[] = {
      {384, 288, 400, 300},    // 1/4
      {401, 300, 600, 450},    // 3/8
      {200, 150, 200, 150},    // 1/8
      {1600, 1200, 1600, 1200},
      {1000, 10, 1000, 750},   // 5/8
  };
  for (const auto& [minW, minH, w, h] : cases) {
    const TJpegPixels p = codec.DecodeJpegScaled(jpeg, minW, minH);
    EXPECT_EQ(p.width, w) << minW;
    EXPECT_EQ(p.height, h) << minW;
    EXPECT_EQ(p.channels, 3);
  }
  EXPECT_THROW(codec.DecodeJpegScaled(TBytes{0xFF, 0xD8, 0xFF, 0xD9}, 10, 10), std::runtime_error);
}

TEST(JpegReductionWithLibjpeg, ATurnedPhotoKeepsItsTagAndIsReducedToItsShownWidth) {
  TLinuxImageCodec codec;
  const TBytes original = WithExif(Encode(Photo(1600, 1200, 3)), 6);
  const auto reduced = ReduceJpeg(codec, original, 300);
  ASSERT_TRUE(reduced);
  const auto layout = ReadJpegLayout(*reduced);
  ASSERT_TRUE(layout);
  // Shown 1200 × 1600, so 300 × 400 shown is 400 × 300 stored, still turned by its tag.
  EXPECT_EQ(layout->width, 400);
  EXPECT_EQ(layout->height, 300);
  EXPECT_EQ(layout->orientation, 6);
}

TEST(JpegReductionWithLibjpeg, AFileCutShortIsReducedAsFarAsItGoes) {
  TLinuxImageCodec codec;
  TBytes cut = Encode(Photo(1600, 1200, 3));
  cut.resize(cut.size() * 2 / 3);
  const auto reduced = ReduceJpeg(codec, cut, 384);
  ASSERT_TRUE(reduced);
  EXPECT_EQ(ReadJpegLayout(*reduced)->width, 384);
}
