#include "platform/linux/Mp4Repair.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// One box: 32-bit size, type, then `payload` bytes of the given fill.
Bytes Box(const std::string& type, std::size_t payload, std::uint8_t fill = 0) {
  const std::size_t size = 8 + payload;
  Bytes box = {static_cast<std::uint8_t>(size >> 24), static_cast<std::uint8_t>(size >> 16),
               static_cast<std::uint8_t>(size >> 8), static_cast<std::uint8_t>(size)};
  box.insert(box.end(), type.begin(), type.end());
  box.insert(box.end(), payload, fill);
  return box;
}

Bytes Join(const std::vector<Bytes>& boxes) {
  Bytes all;
  for (const Bytes& b : boxes) all.insert(all.end(), b.begin(), b.end());
  return all;
}

}  // namespace

TEST(Mp4Repair, DropsTheRepeatedHeaderAndTheFragmentHeaderWithoutData) {
  // What the recorder delivers: ftyp twice, and the last moof written twice
  // (the first copy's sample offsets point into the second copy).
  const Bytes recorded = Join({Box("ftyp", 24), Box("ftyp", 24), Box("moov", 40), Box("moof", 16, 1),
                               Box("mdat", 64, 2), Box("moof", 16, 3), Box("moof", 16, 4), Box("mdat", 32, 5)});
  const auto repaired = RepairRecordedMp4(recorded);
  ASSERT_TRUE(repaired);
  EXPECT_EQ(*repaired, Join({Box("ftyp", 24), Box("moov", 40), Box("moof", 16, 1), Box("mdat", 64, 2),
                             Box("moof", 16, 4), Box("mdat", 32, 5)}));
  EXPECT_TRUE(IsFragmentedMp4(recorded));
}

TEST(Mp4Repair, LeavesARegularFileAsItIs) {
  const Bytes regular = Join({Box("ftyp", 24), Box("moov", 40), Box("mdat", 100)});
  EXPECT_EQ(RepairRecordedMp4(regular), regular);
  EXPECT_FALSE(IsFragmentedMp4(regular));
}

TEST(Mp4Repair, ReadsLargeSizesAndSizeZeroToTheEnd) {
  Bytes large = {0, 0, 0, 1, 'm', 'd', 'a', 't', 0, 0, 0, 0, 0, 0, 0, 20, 9, 9, 9, 9};
  const Bytes file = Join({Box("ftyp", 8), Box("moof", 8), large, {0, 0, 0, 0, 'f', 'r', 'e', 'e', 7}});
  EXPECT_EQ(RepairRecordedMp4(file), file);
}

TEST(Mp4Repair, RefusesWhatIsNotASequenceOfBoxes) {
  const std::vector<Bytes> broken = {
      {},
      Bytes(7, 0),
      Join({Box("moov", 8), Box("mdat", 8)}),                 // no ftyp first
      [] { Bytes b = Join({Box("ftyp", 8), Box("mdat", 20)}); b.resize(b.size() - 1); return b; }(),
      Join({Box("ftyp", 8), {0, 0, 0, 4, 'b', 'a', 'd', '!'}}),  // size below its own header
  };
  for (const Bytes& bytes : broken) {
    EXPECT_FALSE(RepairRecordedMp4(bytes)) << bytes.size();
    EXPECT_FALSE(IsFragmentedMp4(bytes));
  }
}
