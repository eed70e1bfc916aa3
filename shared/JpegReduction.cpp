#include "shared/JpegReduction.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/ImageCodec.h"
#include "shared/HeicConversion.h"
#include "shared/PixelResample.h"
#include "shared/TextUtil.h"

namespace {

constexpr std::uint8_t kMarker = 0xFF;
constexpr std::uint8_t kSoi = 0xD8;
constexpr std::uint8_t kSos = 0xDA;
constexpr std::uint8_t kEoi = 0xD9;
constexpr std::uint8_t kApp0 = 0xE0;
constexpr std::uint8_t kApp1 = 0xE1;
constexpr std::uint8_t kApp2 = 0xE2;
constexpr std::uint8_t kApp14 = 0xEE;
constexpr std::uint16_t kOrientationTag = 0x0112;

bool StartsWith(std::span<const std::uint8_t> bytes, const char* text, std::size_t length) {
  return bytes.size() >= length && std::memcmp(bytes.data(), text, length) == 0;
}

unsigned Read16(const std::uint8_t* p, bool littleEndian) {
  return littleEndian ? p[0] | p[1] << 8 : p[0] << 8 | p[1];
}

std::uint32_t Read32(const std::uint8_t* p, bool littleEndian) {
  return littleEndian ? p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24
                      : static_cast<std::uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

// The orientation tag of the first directory of EXIF data (the TIFF
// structure after "Exif\0\0"); 1 when it is missing or out of range.
int ExifOrientation(std::span<const std::uint8_t> tiff) {
  if (tiff.size() < 8) return 1;
  const bool le = tiff[0] == 'I' && tiff[1] == 'I';
  if (!le && !(tiff[0] == 'M' && tiff[1] == 'M')) return 1;
  if (Read16(&tiff[2], le) != 42) return 1;
  const std::uint32_t dir = Read32(&tiff[4], le);
  if (dir < 8 || dir > tiff.size() - 2) return 1;
  const unsigned count = Read16(&tiff[dir], le);
  for (unsigned i = 0; i < count; ++i) {
    const std::size_t entry = dir + 2 + static_cast<std::size_t>(i) * 12;
    if (entry + 12 > tiff.size()) break;
    if (Read16(&tiff[entry], le) != kOrientationTag) continue;
    const unsigned value = Read16(&tiff[entry + 8], le);  // a SHORT, held in the entry itself
    return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
  }
  return 1;
}

// Start-of-frame markers: C0..CF without DHT (C4), JPG (C8) and DAC (CC).
bool IsFrameMarker(std::uint8_t m) { return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC; }

// Baseline, extended and progressive frames, Huffman or arithmetic coded;
// not lossless and not hierarchical.
bool IsScalableFrame(std::uint8_t m) { return m == 0xC0 || m == 0xC1 || m == 0xC2 || m == 0xC9 || m == 0xCA; }

// Where the segments that open a JPEG end: after SOI and the APP0 (JFIF) or
// APP14 (Adobe) segments an encoder writes first.
std::size_t AfterLeadingHeaders(const std::vector<std::uint8_t>& jpeg) {
  std::size_t at = 2;
  while (at + 4 <= jpeg.size() && jpeg[at] == kMarker && (jpeg[at + 1] == kApp0 || jpeg[at + 1] == kApp14)) {
    at += 2 + Read16(&jpeg[at + 2], false);
  }
  return std::min(at, jpeg.size());
}

}  // namespace

std::optional<TJpegLayout> ReadJpegLayout(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 4 || bytes[0] != kMarker || bytes[1] != kSoi) return std::nullopt;
  TJpegLayout layout;
  bool haveFrame = false;
  bool haveExif = false;
  std::size_t at = 2;
  for (;;) {
    // Markers may be preceded by any number of fill bytes (0xFF).
    if (at >= bytes.size() || bytes[at] != kMarker) return std::nullopt;
    while (at < bytes.size() && bytes[at] == kMarker) ++at;
    if (at >= bytes.size()) return std::nullopt;
    const std::uint8_t marker = bytes[at++];
    if (marker == kSos) return haveFrame ? std::optional(layout) : std::nullopt;
    if (marker == kEoi || marker == kSoi) return std::nullopt;
    if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) continue;  // no length
    if (at + 2 > bytes.size()) return std::nullopt;
    const std::size_t length = Read16(&bytes[at], false);
    if (length < 2 || at + length > bytes.size()) return std::nullopt;
    const std::span<const std::uint8_t> segment = bytes.subspan(at - 2, length + 2);
    const std::span<const std::uint8_t> body = bytes.subspan(at + 2, length - 2);
    if (IsFrameMarker(marker) && !haveFrame) {
      if (body.size() < 6) return std::nullopt;
      haveFrame = true;
      layout.precision = body[0];
      layout.height = static_cast<int>(Read16(&body[1], false));
      layout.width = static_cast<int>(Read16(&body[3], false));
      layout.components = body[5];
      layout.reducible = IsScalableFrame(marker) && layout.precision == 8;
    } else if (marker == kApp1 && StartsWith(body, "Exif\0\0", 6)) {
      if (!haveExif) layout.orientation = ExifOrientation(body.subspan(6));
      haveExif = true;
      layout.kept.push_back(segment);
    } else if (marker == kApp2 && StartsWith(body, "ICC_PROFILE\0", 12)) {
      layout.kept.push_back(segment);
    } else if (marker == kApp14 && StartsWith(body, "Adobe", 5)) {
      layout.adobe = true;
    }
    at += length;
  }
}

namespace {

// The photo decoded at the smallest scale that covers `shownWidth` ×
// `shownHeight` once its orientation tag is applied, resampled to that size
// and encoded again with the EXIF data and colour profile of the original.
std::vector<std::uint8_t> EncodeShownSize(IImageCodec& codec, std::span<const std::uint8_t> jpeg,
                                          const TJpegLayout& layout, int shownWidth, int shownHeight, int quality) {
  const bool turned = layout.orientation >= 5;
  const int storedWidth = turned ? shownHeight : shownWidth;
  const int storedHeight = turned ? shownWidth : shownHeight;
  const TJpegPixels decoded = codec.DecodeJpegScaled(jpeg, storedWidth, storedHeight);
  const TJpegPixels pixels = decoded.width == storedWidth && decoded.height == storedHeight
                                 ? decoded
                                 : ResamplePixels(decoded, storedWidth, storedHeight);
  std::vector<std::uint8_t> reduced = codec.EncodeJpegPixels(pixels, quality);
  if (reduced.size() < 2 || reduced[0] != kMarker || reduced[1] != kSoi) throw std::runtime_error("no JPEG encoded");
  // The EXIF data and the colour profile go right after the encoder's own headers.
  std::vector<std::uint8_t> kept;
  for (const auto& segment : layout.kept) kept.insert(kept.end(), segment.begin(), segment.end());
  reduced.insert(reduced.begin() + static_cast<std::ptrdiff_t>(AfterLeadingHeaders(reduced)), kept.begin(), kept.end());
  return reduced;
}

// The layout of a JPEG this module can scale, or nothing.
std::optional<TJpegLayout> ScalableLayout(std::span<const std::uint8_t> jpeg) {
  std::optional<TJpegLayout> layout = ReadJpegLayout(jpeg);
  if (!layout || !layout->reducible) return std::nullopt;
  // Beyond any camera's size the decoder's memory is better not risked.
  if (layout->width < 1 || layout->height < 1 || layout->width > kMaxConvertSide || layout->height > kMaxConvertSide)
    return std::nullopt;
  const int channels = layout->components;
  if (channels != 1 && channels != 3 && !(channels == 4 && layout->adobe)) return std::nullopt;
  return layout;
}

// Orientations 5 to 8 turn the picture a quarter: its shown width is the stored height.
int ShownWidth(const TJpegLayout& layout) { return layout.orientation >= 5 ? layout.height : layout.width; }
int ShownHeight(const TJpegLayout& layout) { return layout.orientation >= 5 ? layout.width : layout.height; }

int Scaled(int side, double scale) { return std::max(1, static_cast<int>(std::lround(side * scale))); }

}  // namespace

std::optional<std::vector<std::uint8_t>> ReduceJpeg(IImageCodec& codec, std::span<const std::uint8_t> jpeg, int width) {
  const std::optional<TJpegLayout> layout = ScalableLayout(jpeg);
  if (!layout || width < 1) return std::nullopt;
  const int shownWidth = ShownWidth(*layout);
  if (shownWidth <= width) return std::nullopt;
  const int height = Scaled(ShownHeight(*layout), static_cast<double>(width) / shownWidth);
  return EncodeShownSize(codec, jpeg, *layout, width, height, kReducedJpegQuality);
}

std::optional<std::vector<std::uint8_t>> ThumbnailJpeg(IImageCodec& codec, std::span<const std::uint8_t> jpeg,
                                                       int edge) {
  const std::optional<TJpegLayout> layout = ScalableLayout(jpeg);
  if (!layout || edge < 1) return std::nullopt;
  const int shownWidth = ShownWidth(*layout);
  const int shownHeight = ShownHeight(*layout);
  const double scale = std::min(1.0, static_cast<double>(edge) / std::max(shownWidth, shownHeight));
  return EncodeShownSize(codec, jpeg, *layout, Scaled(shownWidth, scale), Scaled(shownHeight, scale),
                         kThumbnailJpegQuality);
}

TReductionRequest TakeReductionRequest(const std::string& uri) {
  const std::size_t query = uri.find('?');
  if (query == std::string::npos) return {uri, {}};
  const std::string_view asked = std::string_view(uri).substr(query + 1);
  const auto valueOf = [&](std::string_view key) -> std::optional<int> {
    if (!asked.starts_with(key)) return std::nullopt;
    return ParseDecimalInt(asked.substr(key.size()));
  };
  TPhotoReduction reduction;
  if (const std::optional<int> width = valueOf("width="); width && *width >= 1 && *width <= kMaxReducedWidth)
    reduction.width = *width;
  else if (const std::optional<int> edge = valueOf("thumb="); edge && *edge >= 1 && *edge <= kMaxThumbnailEdge)
    reduction.thumbEdge = *edge;
  else
    return {uri, {}};
  return {uri.substr(0, query), reduction};
}
