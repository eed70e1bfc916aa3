// Picture decoding and JPEG encoding on Linux: libheif for HEIC/HEIF,
// GdkPixbuf for the formats it knows (JPEG, PNG, BMP, ...), libturbojpeg
// for encoding.
#pragma once

#include "platform/ImageCodec.h"

class TLinuxImageCodec final : public IImageCodec {
 public:
  TImageSize ReadSize(const std::vector<std::uint8_t>& encoded) override;
  TRgbImage Decode(const std::vector<std::uint8_t>& encoded) override;
  std::vector<std::uint8_t> EncodeJpeg(const TRgbImage& image, int quality) override;
};
