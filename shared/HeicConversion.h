// Turns a picture the browser cannot show (HEIC, HEIF) into JPEG bytes.
#pragma once

#include <cstdint>
#include <vector>

class IImageCodec;

inline constexpr int kMaxConvertSide = 12000;
inline constexpr int kConvertJpegQuality = 92;
// Larger files are refused before reading: no phone makes one, and reading
// it would hold the whole file in memory at once.
inline constexpr std::uintmax_t kMaxConvertFileBytes = 100u * 1024 * 1024;

// Throws std::runtime_error with the codec's message or
// "unsupported image size (WxH)".
std::vector<std::uint8_t> ConvertToJpeg(IImageCodec& codec, const std::vector<std::uint8_t>& encoded);
