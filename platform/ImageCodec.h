// Picture decoding and JPEG encoding (libheif + libturbojpeg on Linux).
#pragma once

#include <cstdint>
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

// Every failure is thrown as std::runtime_error carrying the codec's message.
// Used off the window's thread: implementations keep no state between calls.
class IImageCodec {
 public:
  virtual ~IImageCodec() = default;
  // Reads the picture's pixel size without decoding the pixels.
  virtual TImageSize ReadSize(const std::vector<std::uint8_t>& encoded) = 0;
  virtual TRgbImage Decode(const std::vector<std::uint8_t>& encoded) = 0;
  virtual std::vector<std::uint8_t> EncodeJpeg(const TRgbImage& image, int quality) = 0;
};
