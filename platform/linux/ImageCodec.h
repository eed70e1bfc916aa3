// Picture decoding and JPEG encoding on Linux: libheif for HEIC/HEIF,
// GdkPixbuf for the formats it knows (JPEG, PNG, BMP, ...), libturbojpeg
// for encoding and for decoding JPEGs at a reduced scale.
#pragma once

#include "platform/ImageCodec.h"

class TLinuxImageCodec final : public IImageCodec {
 public:
  TImageSize ReadSize(const std::vector<std::uint8_t>& encoded) override;
  TRgbImage Decode(const std::vector<std::uint8_t>& encoded) override;
  std::vector<std::uint8_t> EncodeJpeg(const TRgbImage& image, int quality) override;
  // libjpeg-turbo's scaled decoding (sixteen scales from 2/1 to 1/8).
  TJpegPixels DecodeJpegScaled(std::span<const std::uint8_t> jpeg, int minWidth, int minHeight) override;
  std::vector<std::uint8_t> EncodeJpegPixels(const TJpegPixels& pixels, int quality) override;
};
