#include "shared/HeicConversion.h"

#include <stdexcept>
#include <string>

#include "platform/ImageCodec.h"

std::vector<std::uint8_t> ConvertToJpeg(IImageCodec& codec, const std::vector<std::uint8_t>& encoded) {
  const TImageSize size = codec.ReadSize(encoded);
  if (size.width <= 0 || size.height <= 0 || size.width > kMaxConvertSide || size.height > kMaxConvertSide) {
    throw std::runtime_error("unsupported image size (" + std::to_string(size.width) + "x" +
                             std::to_string(size.height) + ")");
  }
  const TRgbImage image = codec.Decode(encoded);
  return codec.EncodeJpeg(image, kConvertJpegQuality);
}
