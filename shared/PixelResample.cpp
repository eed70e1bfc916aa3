#include "shared/PixelResample.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <stdexcept>

namespace {

constexpr int kWeightBits = 14;
constexpr int kWeightOne = 1 << kWeightBits;

// The source positions and fixed-point weights that make each result
// position along one axis.
struct TTaps {
  std::vector<int> first;     // first source position of each result position
  std::vector<int> count;     // how many follow
  std::vector<int> weights;   // `count` weights per result position, in order
  int stride = 0;             // weights per result position (the largest count)
};

TTaps MakeTaps(int source, int result) {
  const double scale = static_cast<double>(source) / result;
  const double support = std::max(1.0, scale);
  TTaps taps;
  taps.stride = static_cast<int>(std::ceil(support * 2)) + 1;
  taps.first.resize(result);
  taps.count.resize(result);
  taps.weights.assign(static_cast<std::size_t>(result) * taps.stride, 0);
  std::vector<double> raw(taps.stride);
  for (int i = 0; i < result; ++i) {
    // Every source pixel closer to the centre than `support` counts (always
    // at least one, since neighbouring source pixels are 1 apart).
    const double centre = (i + 0.5) * scale - 0.5;
    const int lo = std::max(0, static_cast<int>(std::floor(centre - support)) + 1);
    const int hi = std::min(source - 1, static_cast<int>(std::ceil(centre + support)) - 1);
    const int n = std::min(taps.stride, hi - lo + 1);
    double sum = 0;
    for (int k = 0; k < n; ++k) sum += raw[k] = std::max(0.0, 1.0 - std::abs(lo + k - centre) / support);
    taps.first[i] = lo;
    taps.count[i] = n;
    int* out = &taps.weights[static_cast<std::size_t>(i) * taps.stride];
    int given = 0;
    for (int k = 0; k < n; ++k) given += out[k] = static_cast<int>(std::lround(raw[k] / sum * kWeightOne));
    out[n / 2] += kWeightOne - given;  // the weights add up to exactly one
  }
  return taps;
}

std::uint8_t Clamp(int value) {
  return static_cast<std::uint8_t>(std::clamp((value + kWeightOne / 2) >> kWeightBits, 0, 255));
}

}  // namespace

TJpegPixels ResamplePixels(const TJpegPixels& source, int width, int height) {
  const int channels = source.channels;
  if (width < 1 || height < 1 || source.width < 1 || source.height < 1 || channels < 1 ||
      source.data.size() != static_cast<std::size_t>(source.width) * source.height * channels)
    throw std::invalid_argument("no pixels to resize");
  const TTaps across = MakeTaps(source.width, width);
  const TTaps down = MakeTaps(source.height, height);

  // Rows first, into width × source height, then columns.
  std::vector<std::uint8_t> rows(static_cast<std::size_t>(width) * source.height * channels);
  std::vector<int> sum(channels);
  for (int y = 0; y < source.height; ++y) {
    const std::uint8_t* in = &source.data[static_cast<std::size_t>(y) * source.width * channels];
    std::uint8_t* out = &rows[static_cast<std::size_t>(y) * width * channels];
    for (int x = 0; x < width; ++x) {
      std::fill(sum.begin(), sum.end(), 0);
      const int* w = &across.weights[static_cast<std::size_t>(x) * across.stride];
      const std::uint8_t* px = in + static_cast<std::size_t>(across.first[x]) * channels;
      for (int k = 0; k < across.count[x]; ++k, px += channels)
        for (int c = 0; c < channels; ++c) sum[c] += w[k] * px[c];
      for (int c = 0; c < channels; ++c) out[static_cast<std::size_t>(x) * channels + c] = Clamp(sum[c]);
    }
  }
  TJpegPixels result{width, height, channels, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * channels)};
  const std::size_t rowBytes = static_cast<std::size_t>(width) * channels;
  std::vector<int> acc(rowBytes);
  for (int y = 0; y < height; ++y) {
    std::fill(acc.begin(), acc.end(), 0);
    const int* w = &down.weights[static_cast<std::size_t>(y) * down.stride];
    for (int k = 0; k < down.count[y]; ++k) {
      const std::uint8_t* in = &rows[static_cast<std::size_t>(down.first[y] + k) * rowBytes];
      for (std::size_t i = 0; i < rowBytes; ++i) acc[i] += w[k] * in[i];
    }
    std::uint8_t* out = &result.data[static_cast<std::size_t>(y) * rowBytes];
    for (std::size_t i = 0; i < rowBytes; ++i) out[i] = Clamp(acc[i]);
  }
  return result;
}
