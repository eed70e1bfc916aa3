// Turns a picture the browser cannot show (HEIC, HEIF) into JPEG bytes.
#pragma once

#include <cstdint>
#include <vector>

class IImageCodec;

inline constexpr int kMaxConvertSide = 12000;
inline constexpr int kConvertJpegQuality = 92;

// Throws std::runtime_error with the codec's message or
// "unsupported image size (WxH)".
std::vector<std::uint8_t> ConvertToJpeg(IImageCodec& codec, const std::vector<std::uint8_t>& encoded);
