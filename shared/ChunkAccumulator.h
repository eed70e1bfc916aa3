// Reassembles base64 text that the page sends in chunks, with hard limits on
// chunk counts, open transfers and memory so a faulty or hostile page cannot
// exhaust the host.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

inline constexpr std::int64_t kMaxChunkChars = 1052672;        // 1 MiB + 4096
inline constexpr int kMaxTransfersPerMap = 8;
inline constexpr std::int64_t kMaxPendingBytes = 805306368;    // 0x30000000
inline constexpr int kMaxSaveChunks = 256;
inline constexpr int kMaxConvertChunks = 140;

// One transfer in progress.
struct TSaveAcc {
  std::string Buffer;
  std::string FmtExt;
  std::int32_t Expected = 0;
  std::int32_t Received = 0;
  std::int32_t NextChunk = 0;
  std::int64_t AccumChars = 0;
};

enum class TChunkResult {
  crAccepted,   // more chunks expected
  crComplete,   // the transfer is whole; see TChunkMap::Add's out values
  crRejected,   // refused; whatever the id held was dropped
};

// Request ids of chunked transfers: 1 to 64 of A-Z a-z 0-9 - _.
bool IsValidTransferId(const std::string& id);

// One map of transfers with its byte counter (2 bytes per character held).
// The chunked commands that go through THostBridge (saveImage, setWallpaper,
// albumPdfPage, convertHeic) thus refuse the same broken chunks: one whose
// `data` is empty, missing or not text is refused like one out of order.
class TChunkMap {
 public:
  explicit TChunkMap(int chunkLimit, std::int64_t byteLimit = kMaxPendingBytes)
      : FChunkLimit(chunkLimit), FByteLimit(byteLimit) {}

  TChunkResult Add(const std::string& reqId, const std::string& format, std::int64_t chunkIndex,
                   std::int64_t totalChunks, const std::string& data, std::string& base64Out,
                   std::string& formatOut);
  void Discard(const std::string& reqId);
  void Clear();

  std::int64_t PendingBytes() const { return FPendingBytes; }
  std::size_t Count() const { return FTransfers.size(); }

 private:
  int FChunkLimit;
  std::int64_t FByteLimit;
  std::map<std::string, std::unique_ptr<TSaveAcc>> FTransfers;
  std::int64_t FPendingBytes = 0;
};
