#include "shared/Base64.h"

#include <array>
#include <stdexcept>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<signed char, 256> MakeDecodeTable() {
  std::array<signed char, 256> table{};
  for (auto& v : table) v = -1;
  for (int i = 0; i < 64; ++i) table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<signed char>(i);
  return table;
}

constexpr auto kDecode = MakeDecodeTable();

}  // namespace

std::string Base64Encode(const std::vector<std::uint8_t>& bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const std::uint32_t n = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += kAlphabet[(n >> 6) & 63];
    out += kAlphabet[n & 63];
  }
  const std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    const std::uint32_t n = (bytes[i] << 16) | (rest == 2 ? bytes[i + 1] << 8 : 0);
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += rest == 2 ? kAlphabet[(n >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::vector<std::uint8_t> Base64Decode(const std::string& text) {
  std::size_t length = text.size();
  std::size_t padding = 0;
  while (length > 0 && text[length - 1] == '=' && padding < 2) {
    --length;
    ++padding;
  }
  if (length % 4 == 1 || (padding > 0 && (length + padding) % 4 != 0)) {
    throw std::runtime_error("invalid base64 data");
  }
  std::vector<std::uint8_t> out;
  out.reserve(length / 4 * 3 + 2);
  std::uint32_t acc = 0;
  int bits = 0;
  for (std::size_t i = 0; i < length; ++i) {
    const int v = kDecode[static_cast<unsigned char>(text[i])];
    if (v < 0) throw std::runtime_error("invalid base64 data");
    acc = (acc << 6) | static_cast<std::uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<std::uint8_t>((acc >> bits) & 0xFF));
    }
  }
  return out;
}
