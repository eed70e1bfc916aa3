// The host's side of the page bridge shared by both programs: chunked
// transfers, material folder listings and the folders the hosts use.
#pragma once

#include <string>
#include <vector>

#include "shared/ChunkAccumulator.h"
#include "shared/JsonWriter.h"

class THostBridge {
 public:
  // Save-type transfers (saveImage, setWallpaper, albumPdfPage). True when
  // this chunk completed the transfer; `rejected` tells a refusal from "more
  // expected" when false.
  bool AddSaveChunk(const std::string& reqId, const std::string& format, std::int64_t chunkIndex,
                    std::int64_t totalChunks, const std::string& data, std::string& base64,
                    std::string& saveFormat, bool& rejected);
  // HEIC conversion transfers (format "heic", at most 140 chunks).
  bool AddConvertChunk(const std::string& reqId, std::int64_t chunkIndex, std::int64_t totalChunks,
                       const std::string& data, std::string& base64, bool& rejected);
  void DiscardSave(const std::string& reqId) { FSaveBuffers.Discard(reqId); }
  void DiscardConvert(const std::string& reqId) { FConvertBuffers.Discard(reqId); }
  void DiscardAll();

  std::int64_t SavePendingBytes() const { return FSaveBuffers.PendingBytes(); }
  std::int64_t ConvertPendingBytes() const { return FConvertBuffers.PendingBytes(); }

  // Sorted (ordinal) paths relative to `folder`, "/"-separated, in their
  // listed form (ListedName.h); links leading out of the folder are left out.
  static std::vector<std::string> ListPhotoFiles(const std::string& folder, bool recursive);
  static std::vector<std::string> ListMemoFiles(const std::string& folder, bool recursive);
  // Pictures in formats the page cannot read (GIF, WebP, TIFF, AVIF, JPEG XL, camera raw).
  static std::vector<std::string> ListUnsupportedPictures(const std::string& folder, bool recursive);
  // The `materialFolderPicked` payload for `folder`.
  static TJson MaterialFolderPickedPayload(const std::string& folder, bool recursive);

  // "web" beside the program, else programDir/../../../web.
  static std::string WebDir(const std::string& programDir);
  // roamingAppData/TessaryMaker/WebView2
  static std::string UserDataDir(const std::string& roamingAppData);
  // roamingAppData/TessaryMaker/heic-temp
  static std::string HeicTempDir(const std::string& roamingAppData);

 private:
  TChunkMap FSaveBuffers{kMaxSaveChunks};
  TChunkMap FConvertBuffers{kMaxConvertChunks};
};
