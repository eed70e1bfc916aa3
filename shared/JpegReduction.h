// Photos served at the size the page draws them. Decoding a camera JPEG in
// the page costs most of a Shuffle and of an import, although the page only
// ever draws it a few hundred pixels wide; the JPEG decoder can skip most of
// that work by decoding at 1/2, 1/4 or 1/8 of the stored size. A reduced
// JPEG keeps what the page reads from the original (the orientation tag and
// the caption in its EXIF data, its colour profile), so that decoding it
// gives the picture that decoding the original at that width gives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

class IImageCodec;

inline constexpr int kMaxReducedWidth = 8192;
inline constexpr int kReducedJpegQuality = 92;
// The photo list shows small pictures that are kept for the whole session.
inline constexpr int kMaxThumbnailEdge = 1024;
inline constexpr int kThumbnailJpegQuality = 78;

// What a JPEG's markers say before its pixels.
struct TJpegLayout {
  int width = 0;
  int height = 0;
  int components = 0;
  int precision = 0;
  bool adobe = false;       // an APP14 "Adobe" segment (CMYK values stored inverted)
  bool reducible = false;   // a frame the decoder can scale: 8-bit, sequential or progressive
  int orientation = 1;      // the EXIF orientation tag, 1..8
  // The segments a reduced copy keeps, markers included, in file order:
  // EXIF (APP1) and the colour profile (APP2 "ICC_PROFILE").
  std::vector<std::span<const std::uint8_t>> kept;
};

// The layout of a JPEG, or nothing for bytes that are no JPEG or whose
// markers end before the first scan.
std::optional<TJpegLayout> ReadJpegLayout(std::span<const std::uint8_t> bytes);

// The JPEG reduced so that its width, once its orientation tag is applied,
// is `width` (height in proportion). Nothing when it is better served as it
// is: not a JPEG the codec can scale, larger than kMaxConvertSide on a side,
// a CMYK JPEG without the Adobe marker that says how its values are stored,
// or not wider than `width`. Throws what the codec throws.
std::optional<std::vector<std::uint8_t>> ReduceJpeg(IImageCodec& codec, std::span<const std::uint8_t> jpeg,
                                                    int width);

// The thumbnail of the photo list: the picture fitted into edge × edge once
// its orientation tag is applied (never enlarged), with the original's EXIF
// data and colour profile. Made by the host, it spares the page a decode and
// an encode per listed photo. Nothing for a JPEG it cannot scale (see
// ReduceJpeg). Throws what the codec throws.
std::optional<std::vector<std::uint8_t>> ThumbnailJpeg(IImageCodec& codec, std::span<const std::uint8_t> jpeg,
                                                       int edge);

// What a photo request asks for beyond the file: nothing (both 0), the
// picture reduced to a width, or its thumbnail.
struct TPhotoReduction {
  int width = 0;
  int thumbEdge = 0;
};

// A photo request may end in "?width=N" (1 ≤ N ≤ kMaxReducedWidth) or
// "?thumb=N" (1 ≤ N ≤ kMaxThumbnailEdge): the URI without that query, and
// what it asks (nothing for any other query).
struct TReductionRequest {
  std::string uri;
  TPhotoReduction reduction;
};
TReductionRequest TakeReductionRequest(const std::string& uri);
