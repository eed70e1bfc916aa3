// libFuzzer target: the JPEG marker reader and the reduction around it on
// any bytes at all, as a photo folder may hold them. Beyond what the
// sanitizers catch, it stops when the reader breaks its own promises: the
// segments it keeps lie inside the bytes and are whole segments, and a
// reduction is a JPEG of the asked width carrying them.
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/ImageCodec.h"
#include "shared/JpegReduction.h"

namespace {

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

// Hands back flat pixels of the size asked for and encodes them as SOI plus
// a marker-free body, as the real codec's output begins.
class TFlatCodec : public IImageCodec {
 public:
  TImageSize ReadSize(const std::vector<std::uint8_t>&) override { return {}; }
  TRgbImage Decode(const std::vector<std::uint8_t>&) override { return {}; }
  std::vector<std::uint8_t> EncodeJpeg(const TRgbImage&, int) override { return {}; }
  TJpegPixels DecodeJpegScaled(std::span<const std::uint8_t>, int w, int h) override {
    return {w + 1, h + 1, 3, std::vector<std::uint8_t>(static_cast<std::size_t>(w + 1) * (h + 1) * 3, 9)};
  }
  std::vector<std::uint8_t> EncodeJpegPixels(const TJpegPixels& p, int) override {
    lastWidth = p.width;
    lastHeight = p.height;
    return {0xFF, 0xD8, 0x00};
  }
  int lastWidth = 0;
  int lastHeight = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::span<const std::uint8_t> bytes(data + 1, size - 1);
  const auto layout = ReadJpegLayout(bytes);
  if (layout) {
    Require(layout->orientation >= 1 && layout->orientation <= 8);
    for (const auto& segment : layout->kept) {
      Require(segment.data() >= bytes.data() && segment.data() + segment.size() <= bytes.data() + bytes.size());
      Require(segment.size() >= 4 && segment[0] == 0xFF && (segment[2] << 8 | segment[3]) + 2u == segment.size());
    }
  }
  TFlatCodec codec;
  const int width = 1 + data[0] % 64;
  const auto reduced = ReduceJpeg(codec, bytes, width);
  if (reduced) {
    Require(layout && layout->reducible);
    Require((layout->orientation >= 5 ? codec.lastHeight : codec.lastWidth) == width);
    std::size_t kept = 0;
    for (const auto& segment : layout->kept) kept += segment.size();
    Require(reduced->size() == 3 + kept && (*reduced)[0] == 0xFF && (*reduced)[1] == 0xD8);
  }
  return 0;
}
