#include "shared/ListedName.h"

#include <string_view>

#include "shared/Utf8.h"

namespace {

constexpr std::string_view kMark = "\xEF\xBF\xBD";  // U+FFFD in UTF-8
constexpr char kHexDigits[] = "0123456789ABCDEF";

int UpperHexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string ListedName(const std::string& fileName) {
  std::string listed;
  listed.reserve(fileName.size());
  for (std::size_t i = 0; i < fileName.size();) {
    const std::size_t start = i;
    // A malformed byte and a real U+FFFD both read as U+FFFD; either way
    // each of its bytes is escaped.
    if (NextCodePoint(fileName, i) != kReplacementCharacter) {
      listed.append(fileName, start, i - start);
      continue;
    }
    for (std::size_t k = start; k < i; ++k) {
      const auto byte = static_cast<unsigned char>(fileName[k]);
      listed += kMark;
      listed += kHexDigits[byte >> 4];
      listed += kHexDigits[byte & 0x0F];
    }
  }
  return listed;
}

std::optional<std::string> FileNameOfListed(const std::string& listed) {
  std::string name;
  name.reserve(listed.size());
  for (std::size_t i = 0; i < listed.size();) {
    if (listed.compare(i, kMark.size(), kMark) != 0) {
      name += listed[i++];
      continue;
    }
    const std::size_t digits = i + kMark.size();
    if (digits + 2 > listed.size()) return std::nullopt;
    const int high = UpperHexValue(listed[digits]);
    const int low = UpperHexValue(listed[digits + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    name += static_cast<char>(high * 16 + low);
    i = digits + 2;
  }
  // Only the one form ListedName makes leads to a file: "\uFFFD41" is not
  // another name of "A", and "\uFFFD2F" never becomes a "/".
  if (ListedName(name) != listed) return std::nullopt;
  return name;
}
