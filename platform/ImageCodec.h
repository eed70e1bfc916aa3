// Picture decoding and JPEG encoding (libheif + libturbojpeg on Linux).
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

// A decoded picture: 8-bit RGB, rows top to bottom, no padding.
struct TRgbImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;
};

struct TImageSize {
  int width = 0;
  int height = 0;
};

// A JPEG's pixels as the file stores them, before any orientation tag turns
// them: 1 (grey), 3 (RGB) or 4 (CMYK, with the values as the file holds
// them) bytes per pixel, rows top to bottom, no padding.
struct TJpegPixels {
  int width = 0;
  int height = 0;
  int channels = 0;
  std::vector<std::uint8_t> data;
};

// Every failure is thrown as std::runtime_error carrying the codec's message.
// Used off the window's thread: implementations keep no state between calls.
class IImageCodec {
 public:
  virtual ~IImageCodec() = default;
  // Reads the picture's pixel size without decoding the pixels.
  virtual TImageSize ReadSize(const std::vector<std::uint8_t>& encoded) = 0;
  virtual TRgbImage Decode(const std::vector<std::uint8_t>& encoded) = 0;
  virtual std::vector<std::uint8_t> EncodeJpeg(const TRgbImage& image, int quality) = 0;

  // For photos served smaller than stored (see JpegReduction.h). Decodes a
  // JPEG at the smallest scale the decoder offers whose size still covers
  // minWidth × minHeight, and encodes such pixels again as a JPEG of the
  // same kind (grey, colour or CMYK). A codec without them throws, and the
  // photo is served as stored.
  virtual TJpegPixels DecodeJpegScaled(std::span<const std::uint8_t>, int /*minWidth*/, int /*minHeight*/) {
    throw std::runtime_error("no scaled JPEG decoding");
  }
  virtual std::vector<std::uint8_t> EncodeJpegPixels(const TJpegPixels&, int /*quality*/) {
    throw std::runtime_error("no JPEG encoding of stored pixels");
  }
};
