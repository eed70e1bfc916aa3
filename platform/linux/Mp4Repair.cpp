#include "platform/linux/Mp4Repair.h"

#include <cstring>
#include <string_view>

namespace {

struct TBox {
  std::string_view type;
  std::size_t offset = 0;
  std::size_t size = 0;
};

std::uint64_t ReadBigEndian(const std::uint8_t* p, int bytes) {
  std::uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) value = (value << 8) | p[i];
  return value;
}

// Splits the bytes into top-level boxes; empty when any box is cut short.
std::optional<std::vector<TBox>> TopLevelBoxes(const std::vector<std::uint8_t>& bytes) {
  std::vector<TBox> boxes;
  std::size_t offset = 0;
  while (offset < bytes.size()) {
    const std::size_t left = bytes.size() - offset;
    if (left < 8) return std::nullopt;
    const std::uint8_t* p = bytes.data() + offset;
    std::uint64_t size = ReadBigEndian(p, 4);
    std::size_t header = 8;
    if (size == 1) {
      if (left < 16) return std::nullopt;
      size = ReadBigEndian(p + 8, 8);
      header = 16;
    } else if (size == 0) {
      size = left;
    }
    if (size < header || size > left) return std::nullopt;
    boxes.push_back({std::string_view(reinterpret_cast<const char*>(p + 4), 4), offset,
                     static_cast<std::size_t>(size)});
    offset += static_cast<std::size_t>(size);
  }
  if (boxes.empty()) return std::nullopt;
  return boxes;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> RepairRecordedMp4(const std::vector<std::uint8_t>& bytes) {
  const auto boxes = TopLevelBoxes(bytes);
  if (!boxes || (*boxes)[0].type != "ftyp") return std::nullopt;
  std::vector<std::uint8_t> out;
  out.reserve(bytes.size());
  bool haveFtyp = false;
  for (std::size_t i = 0; i < boxes->size(); ++i) {
    const TBox& box = (*boxes)[i];
    if (box.type == "ftyp") {
      if (haveFtyp) continue;
      haveFtyp = true;
    }
    if (box.type == "moof" && (i + 1 == boxes->size() || (*boxes)[i + 1].type != "mdat")) continue;
    out.insert(out.end(), bytes.begin() + box.offset, bytes.begin() + box.offset + box.size);
  }
  return out;
}

bool IsFragmentedMp4(const std::vector<std::uint8_t>& bytes) {
  const auto boxes = TopLevelBoxes(bytes);
  if (!boxes) return false;
  for (const TBox& box : *boxes)
    if (box.type == "moof") return true;
  return false;
}
