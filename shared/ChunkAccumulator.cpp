#include "shared/ChunkAccumulator.h"

#include <algorithm>

bool IsValidTransferId(const std::string& id) {
  if (id.empty() || id.size() > 64) return false;
  return std::all_of(id.begin(), id.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_';
  });
}

TChunkResult TChunkMap::Add(const std::string& reqId, const std::string& format, std::int64_t chunkIndex,
                            std::int64_t totalChunks, const std::string& data, std::string& base64Out,
                            std::string& formatOut) {
  const auto reject = [&] {
    Discard(reqId);
    return TChunkResult::crRejected;
  };
  // A chunk without text (a missing or non-text `data` reads as empty) is
  // broken: the page cuts only non-empty text into chunks, and a transfer of
  // nothing would replace the user's file with an empty one.
  if (!IsValidTransferId(reqId) || totalChunks < 1 || totalChunks > FChunkLimit || chunkIndex < 0 ||
      chunkIndex >= totalChunks || data.empty() || static_cast<std::int64_t>(data.size()) > kMaxChunkChars) {
    return reject();
  }

  auto found = FTransfers.find(reqId);
  if (found == FTransfers.end()) {
    if (chunkIndex != 0 || static_cast<int>(FTransfers.size()) >= kMaxTransfersPerMap) {
      return TChunkResult::crRejected;
    }
    auto acc = std::make_unique<TSaveAcc>();
    acc->FmtExt = format;
    acc->Expected = static_cast<std::int32_t>(totalChunks);
    // Room for the whole transfer at once: growing a buffer of hundreds of
    // megabytes copies it each time, a long stall of the window's thread.
    // Until the chunks fill it the room is address space, not memory.
    const std::int64_t room = std::min<std::int64_t>(totalChunks * static_cast<std::int64_t>(data.size()),
                                                     (FByteLimit - FPendingBytes) / 2);
    if (room > 0) acc->Buffer.reserve(static_cast<std::size_t>(room));
    found = FTransfers.emplace(reqId, std::move(acc)).first;
  }
  TSaveAcc& acc = *found->second;

  if (chunkIndex != acc.NextChunk || totalChunks != acc.Expected || format != acc.FmtExt) {
    return reject();
  }
  const auto bytes = 2 * static_cast<std::int64_t>(data.size());
  if (FPendingBytes + bytes > FByteLimit) return reject();

  acc.Buffer += data;
  acc.AccumChars += static_cast<std::int64_t>(data.size());
  FPendingBytes += bytes;
  ++acc.Received;
  ++acc.NextChunk;

  if (acc.Received < acc.Expected) return TChunkResult::crAccepted;
  base64Out = std::move(acc.Buffer);
  formatOut = acc.FmtExt;
  Discard(reqId);
  return TChunkResult::crComplete;
}

void TChunkMap::Discard(const std::string& reqId) {
  const auto found = FTransfers.find(reqId);
  if (found == FTransfers.end()) return;
  FPendingBytes = std::max<std::int64_t>(0, FPendingBytes - 2 * found->second->AccumChars);
  FTransfers.erase(found);
}

void TChunkMap::Clear() {
  FTransfers.clear();
  FPendingBytes = 0;
}
