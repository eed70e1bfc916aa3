#include <gtest/gtest.h>

#include "shared/ChunkAccumulator.h"
#include "shared/HostBridge.h"

namespace {

struct TAdd {
  TChunkResult result;
  std::string text;
  std::string format;
};

TAdd Add(TChunkMap& map, const std::string& id, std::int64_t index, std::int64_t total, const std::string& data,
         const std::string& format = "png") {
  TAdd out;
  out.result = map.Add(id, format, index, total, data, out.text, out.format);
  return out;
}

TEST(ChunkMap, JoinsChunksInOrderAndReleasesTheTransfer) {
  TChunkMap map(kMaxSaveChunks);
  EXPECT_EQ(Add(map, "req-1", 0, 3, "AAAA", "jpg").result, TChunkResult::crAccepted);
  EXPECT_EQ(Add(map, "req-1", 1, 3, "BBBB", "jpg").result, TChunkResult::crAccepted);
  EXPECT_EQ(map.PendingBytes(), 16);
  const TAdd last = Add(map, "req-1", 2, 3, "CC==", "jpg");
  EXPECT_EQ(last.result, TChunkResult::crComplete);
  EXPECT_EQ(last.text, "AAAABBBBCC==");
  EXPECT_EQ(last.format, "jpg");
  EXPECT_EQ(map.Count(), 0u);
  EXPECT_EQ(map.PendingBytes(), 0);
}

// A chunk without text (the command's `data` missing, null or not text reads
// as empty) would make a transfer of nothing, written over the user's file.
TEST(ChunkMap, AChunkWithoutTextIsRefused) {
  TChunkMap map(kMaxSaveChunks);
  EXPECT_EQ(Add(map, "r", 0, 1, "").result, TChunkResult::crRejected);
  ASSERT_EQ(Add(map, "r", 0, 2, "AAAA").result, TChunkResult::crAccepted);
  EXPECT_EQ(Add(map, "r", 1, 2, "").result, TChunkResult::crRejected);
  EXPECT_EQ(map.Count(), 0u);
  EXPECT_EQ(map.PendingBytes(), 0);
}

TEST(ChunkMap, RefusesBadChunksAndDropsWhatWasHeld) {
  struct TCase {
    const char* name;
    std::string id;
    std::int64_t index;
    std::int64_t total;
    std::size_t dataLength;
    std::string format;
  };
  // Each case follows an accepted chunk 0 of a 4-chunk "png" transfer "held".
  const TCase cases[] = {
      {"skipped index", "held", 2, 4, 8, "png"},
      {"repeated index", "held", 0, 4, 8, "png"},
      {"other total", "held", 1, 5, 8, "png"},
      {"other format", "held", 1, 4, 8, "jpg"},
      {"index past total", "held", 4, 4, 8, "png"},
      {"negative index", "held", -1, 4, 8, "png"},
      {"missing total", "held", 1, -1, 8, "png"},
      {"oversize chunk", "held", 1, 4, static_cast<std::size_t>(kMaxChunkChars) + 1, "png"},
      {"too many chunks", "held", 1, kMaxSaveChunks + 1, 8, "png"},
  };
  for (const TCase& c : cases) {
    TChunkMap map(kMaxSaveChunks);
    ASSERT_EQ(Add(map, "held", 0, 4, "AAAA").result, TChunkResult::crAccepted);
    EXPECT_EQ(Add(map, c.id, c.index, c.total, std::string(c.dataLength, 'A'), c.format).result,
              TChunkResult::crRejected)
        << c.name;
    EXPECT_EQ(map.Count(), 0u) << c.name;
    EXPECT_EQ(map.PendingBytes(), 0) << c.name;
    // Later chunks of the dropped transfer are refused one by one...
    EXPECT_EQ(Add(map, "held", 1, 4, "BBBB").result, TChunkResult::crRejected) << c.name;
    // ...and a resent chunk 0 starts afresh.
    EXPECT_EQ(Add(map, "held", 0, 4, "AAAA").result, TChunkResult::crAccepted) << c.name;
  }
}

TEST(ChunkMap, ChecksRequestIdsAndChunkLimits) {
  TChunkMap map(kMaxSaveChunks);
  EXPECT_EQ(Add(map, "", 0, 1, "AAAA").result, TChunkResult::crRejected);
  EXPECT_EQ(Add(map, "has space", 0, 1, "AAAA").result, TChunkResult::crRejected);
  EXPECT_EQ(Add(map, std::string(65, 'a'), 0, 1, "AAAA").result, TChunkResult::crRejected);
  EXPECT_EQ(Add(map, std::string(64, 'a'), 0, 1, "AAAA").result, TChunkResult::crComplete);
  EXPECT_EQ(Add(map, "A-z_09", 0, 1, "AAAA").result, TChunkResult::crComplete);
  EXPECT_EQ(Add(map, "big", 0, 257, "AAAA").result, TChunkResult::crRejected);
  EXPECT_EQ(Add(map, "big", 0, 256, "AAAA").result, TChunkResult::crAccepted);
  EXPECT_EQ(Add(map, "max", 0, 1, std::string(kMaxChunkChars, 'A')).result, TChunkResult::crComplete);
  TChunkMap convert(kMaxConvertChunks);
  EXPECT_EQ(Add(convert, "heic", 0, 141, "AAAA").result, TChunkResult::crRejected);
  EXPECT_EQ(Add(convert, "heic", 0, 140, "AAAA").result, TChunkResult::crAccepted);
}

TEST(ChunkMap, RefusesANinthTransfer) {
  TChunkMap map(kMaxSaveChunks);
  for (int i = 0; i < kMaxTransfersPerMap; ++i) {
    ASSERT_EQ(Add(map, "t" + std::to_string(i), 0, 2, "AAAA").result, TChunkResult::crAccepted);
  }
  EXPECT_EQ(Add(map, "t8", 0, 2, "AAAA").result, TChunkResult::crRejected);
  EXPECT_EQ(map.Count(), 8u);
  // The refusal of a new id leaves the others alone; once one ends, room is made.
  EXPECT_EQ(Add(map, "t0", 1, 2, "BBBB").result, TChunkResult::crComplete);
  EXPECT_EQ(Add(map, "t8", 0, 2, "AAAA").result, TChunkResult::crAccepted);
}

TEST(ChunkMap, KeepsHeldTextUnderTheByteLimit) {
  TChunkMap map(kMaxSaveChunks, 40);  // 20 characters
  EXPECT_EQ(Add(map, "a", 0, 3, std::string(12, 'A')).result, TChunkResult::crAccepted);
  EXPECT_EQ(Add(map, "b", 0, 2, std::string(8, 'A')).result, TChunkResult::crAccepted);
  EXPECT_EQ(map.PendingBytes(), 40);
  EXPECT_EQ(Add(map, "a", 1, 3, "A").result, TChunkResult::crRejected);
  EXPECT_EQ(map.PendingBytes(), 16);
  EXPECT_EQ(Add(map, "b", 1, 2, std::string(12, 'A')).result, TChunkResult::crComplete);
  EXPECT_EQ(map.PendingBytes(), 0);
  EXPECT_EQ(kMaxPendingBytes, 0x30000000);
}

TEST(HostBridge, KeepsSaveAndConversionTransfersApart) {
  THostBridge bridge;
  std::string text;
  std::string format;
  bool rejected = true;
  EXPECT_FALSE(bridge.AddSaveChunk("same", "png", 0, 2, "AAAA", text, format, rejected));
  EXPECT_FALSE(rejected);
  EXPECT_TRUE(bridge.AddConvertChunk("same", 0, 1, "BBBB", text, rejected));
  EXPECT_EQ(text, "BBBB");
  EXPECT_EQ(bridge.SavePendingBytes(), 8);
  EXPECT_TRUE(bridge.AddSaveChunk("same", "png", 1, 2, "CCCC", text, format, rejected));
  EXPECT_EQ(text, "AAAACCCC");
  EXPECT_EQ(format, "png");

  EXPECT_FALSE(bridge.AddSaveChunk("gone", "png", 0, 2, "AAAA", text, format, rejected));
  bridge.DiscardSave("gone");
  EXPECT_EQ(bridge.SavePendingBytes(), 0);
  EXPECT_FALSE(bridge.AddSaveChunk("gone", "png", 1, 2, "AAAA", text, format, rejected));
  EXPECT_TRUE(rejected);

  // Both maps refuse a chunk without text (setWallpaper and albumPdfPage use the save map).
  rejected = false;
  EXPECT_FALSE(bridge.AddSaveChunk("empty", "jpg", 0, 1, "", text, format, rejected));
  EXPECT_TRUE(rejected);
  rejected = false;
  EXPECT_FALSE(bridge.AddConvertChunk("empty", 0, 1, "", text, rejected));
  EXPECT_TRUE(rejected);
}

}  // namespace
