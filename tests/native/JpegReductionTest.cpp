#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "shared/HeicConversion.h"
#include "shared/JpegReduction.h"
#include "shared/PixelResample.h"
#include "tests/native/FakePlatform.h"

namespace {

using TBytes = std::vector<std::uint8_t>;

TBytes Segment(std::uint8_t marker, const std::string& body) {
  const std::size_t length = body.size() + 2;
  const std::string bytes = std::string{'\xFF', static_cast<char>(marker), static_cast<char>(length >> 8),
                                        static_cast<char>(length & 0xFF)} + body;
  return TBytes(bytes.begin(), bytes.end());
}

std::string Be16(unsigned v) { return {static_cast<char>(v >> 8), static_cast<char>(v & 0xFF)}; }
std::string Le16(unsigned v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }

// A start-of-frame segment.
TBytes Frame(std::uint8_t marker, int width, int height, int components = 3, int precision = 8) {
  std::string body{static_cast<char>(precision)};
  body += Be16(height) + Be16(width) + static_cast<char>(components);
  for (int c = 0; c < components; ++c) body += std::string{static_cast<char>(c + 1), 0x11, 0};
  return Segment(marker, body);
}

// EXIF data whose first directory holds the orientation tag (and one tag before it).
TBytes Exif(int orientation, bool bigEndian = false) {
  const auto u16 = bigEndian ? Be16 : Le16;
  const auto u32 = [&](unsigned v) { return bigEndian ? Be16(v >> 16) + Be16(v & 0xFFFF) : Le16(v & 0xFFFF) + Le16(v >> 16); };
  std::string tiff = std::string(bigEndian ? "MM" : "II") + u16(42) + u32(8) + u16(2);
  tiff += u16(0x010F) + u16(2) + u32(4) + std::string("Cam\0", 4);              // Make
  tiff += u16(0x0112) + u16(3) + u32(1) + u16(orientation) + std::string(2, '\0');  // Orientation
  tiff += u32(0);
  return Segment(0xE1, std::string("Exif\0\0", 6) + tiff);
}

TBytes Jpeg(std::initializer_list<TBytes> segments) {
  TBytes out{0xFF, 0xD8};
  for (const TBytes& s : segments) out.insert(out.end(), s.begin(), s.end());
  const TBytes scan = Segment(0xDA, std::string("\x01\x01\x00\x00\x3F\x00", 6));
  out.insert(out.end(), scan.begin(), scan.end());
  out.insert(out.end(), {0x12, 0x34, 0xFF, 0xD9});
  return out;
}

const TBytes kIcc = Segment(0xE2, std::string("ICC_PROFILE\0\x01\x01profile", 21));
const TBytes kXmp = Segment(0xE1, "http://ns.adobe.com/xap/1.0/");
const TBytes kJfif(kFakeJfif.begin(), kFakeJfif.end());
const TBytes kAdobe = Segment(0xEE, std::string("Adobe\0\x64\0\0\0\0\x02", 12));

std::string Text(std::span<const std::uint8_t> bytes) { return {bytes.begin(), bytes.end()}; }

}  // namespace

TEST(JpegLayout, ReadsSizeKindOrientationAndTheSegmentsToKeep) {
  struct TCase {
    std::string what;
    TBytes jpeg;
    int width, height, components, orientation;
    bool reducible, adobe;
    std::size_t kept;
  };
  const TCase cases[] = {
      {"baseline", Jpeg({kJfif, Frame(0xC0, 400, 300)}), 400, 300, 3, 1, true, false, 0},
      {"progressive, EXIF turned (little-endian) and a profile", Jpeg({Exif(6), kIcc, Frame(0xC2, 4000, 3000)}), 4000,
       3000, 3, 6, true, false, 2},
      {"big-endian EXIF", Jpeg({Exif(8, true), Frame(0xC1, 64, 48)}), 64, 48, 3, 8, true, false, 1},
      {"an orientation out of range counts as upright", Jpeg({Exif(9), Frame(0xC0, 64, 48)}), 64, 48, 3, 1, true, false, 1},
      {"XMP is not kept", Jpeg({kXmp, Frame(0xC0, 64, 48)}), 64, 48, 3, 1, true, false, 0},
      {"CMYK from Adobe", Jpeg({kAdobe, Frame(0xC0, 80, 60, 4)}), 80, 60, 4, 1, true, true, 0},
      {"grey, arithmetic coded", Jpeg({Frame(0xC9, 80, 60, 1)}), 80, 60, 1, 1, true, false, 0},
      {"lossless", Jpeg({Frame(0xC3, 80, 60)}), 80, 60, 3, 1, false, false, 0},
      {"12-bit", Jpeg({Frame(0xC1, 80, 60, 3, 12)}), 80, 60, 3, 1, false, false, 0},
  };
  for (const TCase& c : cases) {
    const auto layout = ReadJpegLayout(c.jpeg);
    ASSERT_TRUE(layout) << c.what;
    EXPECT_EQ(layout->width, c.width) << c.what;
    EXPECT_EQ(layout->height, c.height) << c.what;
    EXPECT_EQ(layout->components, c.components) << c.what;
    EXPECT_EQ(layout->orientation, c.orientation) << c.what;
    EXPECT_EQ(layout->reducible, c.reducible) << c.what;
    EXPECT_EQ(layout->adobe, c.adobe) << c.what;
    EXPECT_EQ(layout->kept.size(), c.kept) << c.what;
  }
  // Fill bytes before a marker are allowed.
  TBytes filled = Jpeg({Frame(0xC0, 10, 20)});
  filled.insert(filled.begin() + 2, {0xFF, 0xFF});
  ASSERT_TRUE(ReadJpegLayout(filled));
  EXPECT_EQ(ReadJpegLayout(filled)->height, 20);
}

TEST(JpegLayout, BytesThatAreNoWholeJpegHeaderGiveNothing) {
  const TBytes whole = Jpeg({Exif(3), Frame(0xC0, 400, 300)});
  const TBytes cases[] = {
      {},
      {0xFF, 0xD8},
      {0x89, 'P', 'N', 'G', 0, 0, 0, 0},
      Jpeg({kJfif}),                                        // a scan without a frame
      TBytes(whole.begin(), whole.begin() + 20),            // cut inside the EXIF segment
      {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x01, 0xFF, 0xDA},     // a length below 2
      {0xFF, 0xD8, 0x00, 0xFF, 0xDA},                       // no marker where one must be
      {0xFF, 0xD8, 0xFF, 0xD9},                             // ends at once
  };
  for (const TBytes& bytes : cases) EXPECT_FALSE(ReadJpegLayout(bytes)) << Text(bytes);
  // An EXIF directory pointing outside its segment gives no orientation, not a wrong one.
  TBytes stray = Jpeg({Exif(6), Frame(0xC0, 400, 300)});
  stray[4 + 2 + 6 + 4] = 0xF0;  // the first directory's offset
  ASSERT_TRUE(ReadJpegLayout(stray));
  EXPECT_EQ(ReadJpegLayout(stray)->orientation, 1);
}

TEST(JpegReduction, ReducesToTheShownWidthAndKeepsExifAndProfileAfterTheEncodersHeader) {
  TFakeScalingCodec codec;
  const TBytes exif = Exif(1);
  const auto reduced = ReduceJpeg(codec, Jpeg({exif, kXmp, kIcc, Frame(0xC2, 4000, 3000)}), 384);
  ASSERT_TRUE(reduced);
  EXPECT_EQ(codec.askedWidth, 384);
  EXPECT_EQ(codec.askedHeight, 288);
  EXPECT_EQ(codec.encodedQuality, kReducedJpegQuality);
  const std::string expected = "\xFF\xD8" + std::string(kFakeJfif) + Text(exif) + Text(kIcc) + "384x288x3";
  EXPECT_EQ(Text(*reduced), expected);
}

TEST(JpegReduction, TurnedPhotosAreReducedToTheirShownWidthAndKeepTheTag) {
  TFakeScalingCodec codec;
  // Stored 4000 × 3000, shown 3000 × 4000 (turned a quarter): 300 wide shown is 400 × 300 stored.
  for (int orientation : {5, 6, 7, 8}) {
    const auto reduced = ReduceJpeg(codec, Jpeg({Exif(orientation), Frame(0xC0, 4000, 3000)}), 300);
    ASSERT_TRUE(reduced) << orientation;
    EXPECT_EQ(codec.askedWidth, 400) << orientation;
    EXPECT_EQ(codec.askedHeight, 300) << orientation;
    EXPECT_NE(Text(*reduced).find("Exif"), std::string::npos);
    EXPECT_TRUE(Text(*reduced).ends_with("400x300x3")) << orientation;
  }
  for (int orientation : {2, 3, 4}) {
    ASSERT_TRUE(ReduceJpeg(codec, Jpeg({Exif(orientation), Frame(0xC0, 4000, 3000)}), 300));
    EXPECT_EQ(codec.askedWidth, 300) << orientation;
    EXPECT_EQ(codec.askedHeight, 225) << orientation;
  }
}

TEST(JpegReduction, ADecodeLargerThanAskedIsResampledToTheExactSize) {
  TFakeScalingCodec codec;
  codec.decodedWidth = 500;  // the decoder's 1/8 of 4000
  codec.decodedHeight = 375;
  const auto reduced = ReduceJpeg(codec, Jpeg({Frame(0xC0, 4000, 3000)}), 384);
  ASSERT_TRUE(reduced);
  EXPECT_TRUE(Text(*reduced).ends_with("384x288x3"));
  codec.channels = 4;
  codec.decodedWidth = codec.decodedHeight = 0;
  const auto cmyk = ReduceJpeg(codec, Jpeg({kAdobe, Frame(0xC0, 4000, 3000, 4)}), 100);
  ASSERT_TRUE(cmyk);
  EXPECT_TRUE(Text(*cmyk).ends_with("100x75x4"));
}

TEST(JpegReduction, WhatIsBetterServedAsStoredIsNotReduced) {
  TFakeScalingCodec codec;
  const std::pair<std::string, TBytes> cases[] = {
      {"as wide as asked", Jpeg({Frame(0xC0, 384, 288)})},
      {"narrower than asked", Jpeg({Frame(0xC0, 200, 900)})},
      {"turned, shown no wider than asked", Jpeg({Exif(6), Frame(0xC0, 4000, 384)})},
      {"CMYK without the Adobe marker", Jpeg({Frame(0xC0, 4000, 3000, 4)})},
      {"two components", Jpeg({Frame(0xC0, 4000, 3000, 2)})},
      {"lossless", Jpeg({Frame(0xC3, 4000, 3000)})},
      {"larger than any camera", Jpeg({Frame(0xC0, kMaxConvertSide + 1, 3000)})},
      {"no JPEG", Bytes("IMG 4000 3000")},
  };
  for (const auto& [what, jpeg] : cases) EXPECT_FALSE(ReduceJpeg(codec, jpeg, 384)) << what;
  EXPECT_EQ(codec.askedWidth, 0) << "nothing was decoded";
  // A codec that cannot scale throws, and the caller serves the photo as stored.
  TFakeCodec plain;
  EXPECT_THROW(ReduceJpeg(plain, Jpeg({Frame(0xC0, 4000, 3000)}), 384), std::runtime_error);
}

TEST(JpegReduction, OnlyAWidthOrThumbnailQueryAsksForAReduction) {
  struct TAsked {
    std::string uri, rest;
    int width;
    int edge = 0;
  };
  const TAsked cases[] = {
      {"tessary-photo://photo/a.jpg?width=384", "tessary-photo://photo/a.jpg", 384},
      {"tessary-photo://photo/__temp/abc.jpg?width=1", "tessary-photo://photo/__temp/abc.jpg", 1},
      {"tessary-photo://photo/a.jpg?width=8192", "tessary-photo://photo/a.jpg", 8192},
      {"tessary-photo://photo/a.jpg?width=8193", "tessary-photo://photo/a.jpg?width=8193", 0},
      {"tessary-photo://photo/a.jpg?width=0", "tessary-photo://photo/a.jpg?width=0", 0},
      {"tessary-photo://photo/a.jpg?width=-5", "tessary-photo://photo/a.jpg?width=-5", 0},
      {"tessary-photo://photo/a.jpg?width=12px", "tessary-photo://photo/a.jpg?width=12px", 0},
      {"tessary-photo://photo/a.jpg?v=2&width=384", "tessary-photo://photo/a.jpg?v=2&width=384", 0},
      {"tessary-photo://photo/a.jpg", "tessary-photo://photo/a.jpg", 0},
      {"tessary-photo://photo/a%3Fwidth=384.jpg", "tessary-photo://photo/a%3Fwidth=384.jpg", 0},
      {"tessary-photo://photo/a.jpg?thumb=240", "tessary-photo://photo/a.jpg", 0, 240},
      {"tessary-album://album/0.jpg?thumb=1024", "tessary-album://album/0.jpg", 0, 1024},
      {"tessary-photo://photo/a.jpg?thumb=1025", "tessary-photo://photo/a.jpg?thumb=1025", 0},
      {"tessary-photo://photo/a.jpg?thumb=0", "tessary-photo://photo/a.jpg?thumb=0", 0},
      {"tessary-photo://photo/a.jpg?thumb=240&width=9", "tessary-photo://photo/a.jpg?thumb=240&width=9", 0},
  };
  for (const auto& [uri, rest, width, edge] : cases) {
    const TReductionRequest asked = TakeReductionRequest(uri);
    EXPECT_EQ(asked.uri, rest) << uri;
    EXPECT_EQ(asked.reduction.width, width) << uri;
    EXPECT_EQ(asked.reduction.thumbEdge, edge) << uri;
  }
}

TEST(JpegReduction, ThumbnailsFitTheirBoxAsShownAndAreNeverEnlarged) {
  TFakeScalingCodec codec;
  struct TCase {
    const char* what;
    TBytes jpeg;
    int storedWidth, storedHeight;  // what the decoder is asked for
  };
  const TCase cases[] = {
      {"landscape", Jpeg({Exif(1), Frame(0xC0, 2048, 1536)}), 240, 180},
      {"portrait", Jpeg({Frame(0xC2, 1536, 2048)}), 180, 240},
      {"turned a quarter: stored landscape, shown portrait", Jpeg({Exif(6), Frame(0xC0, 2048, 1536)}), 240, 180},
      {"smaller than the box", Jpeg({Frame(0xC0, 200, 100)}), 200, 100},
      {"a thin strip keeps one pixel", Jpeg({Frame(0xC0, 4000, 10)}), 240, 1},
  };
  for (const TCase& c : cases) {
    const auto thumbnail = ThumbnailJpeg(codec, c.jpeg, 240);
    ASSERT_TRUE(thumbnail) << c.what;
    EXPECT_EQ(codec.askedWidth, c.storedWidth) << c.what;
    EXPECT_EQ(codec.askedHeight, c.storedHeight) << c.what;
    EXPECT_EQ(codec.encodedQuality, kThumbnailJpegQuality) << c.what;
  }
  // The orientation tag and the caption travel with the thumbnail.
  EXPECT_NE(Text(*ThumbnailJpeg(codec, Jpeg({Exif(6), Frame(0xC0, 2048, 1536)}), 240)).find("Exif"), std::string::npos);
  EXPECT_FALSE(ThumbnailJpeg(codec, Jpeg({Frame(0xC0, 4000, 3000, 4)}), 240)) << "CMYK without the Adobe marker";
  EXPECT_FALSE(ThumbnailJpeg(codec, Bytes("IMG 4000 3000"), 240));
}

TEST(PixelResample, AveragesWhatEachResultPixelCovers) {
  // A flat picture stays flat, at any size.
  TJpegPixels flat{37, 23, 3, TBytes(37 * 23 * 3, 77)};
  for (auto [w, h] : {std::pair{5, 3}, {36, 23}, {1, 1}, {37, 23}, {74, 46}}) {
    const TJpegPixels out = ResamplePixels(flat, w, h);
    ASSERT_EQ(out.data.size(), static_cast<std::size_t>(w) * h * 3);
    for (std::uint8_t v : out.data) ASSERT_EQ(v, 77) << w << "x" << h;
  }
  // Grain finer than the result becomes its average, not a pattern: a
  // one-pixel checkerboard of 0 and 200 halved in both directions is 100.
  TJpegPixels board{64, 64, 1, TBytes(64 * 64)};
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) board.data[y * 64 + x] = (x + y) % 2 ? 200 : 0;
  for (int side : {32, 27, 13}) {
    const TJpegPixels out = ResamplePixels(board, side, side);
    for (std::uint8_t v : out.data) ASSERT_NEAR(v, 100, 12) << side;
  }
  // A ramp keeps its ends and its order.
  TJpegPixels ramp{256, 1, 1, TBytes(256)};
  for (int x = 0; x < 256; ++x) ramp.data[x] = static_cast<std::uint8_t>(x);
  const TJpegPixels out = ResamplePixels(ramp, 64, 1);
  EXPECT_LE(out.data.front(), 4);
  EXPECT_GE(out.data.back(), 251);
  for (int x = 1; x < 64; ++x) EXPECT_GT(out.data[x], out.data[x - 1]);
  EXPECT_THROW(ResamplePixels(ramp, 0, 1), std::invalid_argument);
  EXPECT_THROW(ResamplePixels(TJpegPixels{4, 4, 3, TBytes(5)}, 2, 2), std::invalid_argument);
}
