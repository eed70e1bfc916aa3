// Choosing where a picture or video goes (chooseImageSave) and writing it
// when its chunks are complete (saveImage).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "platform/HostPlatform.h"
#include "shared/HostBridge.h"
#include "shared/JsonWriter.h"

using TEmitFn = std::function<void(const std::string& event, const TJson& payload)>;

// Replaces the file name's extension by `dotExt` unless it already is that
// extension ignoring letter case; a name without extension gets it appended.
std::string ForceExtension(const std::string& path, const std::string& dotExt);
// Local time as "yyyymmdd_hhnnss".
std::string LocalTimeStamp();

class TSaveFlow {
 public:
  TSaveFlow(IHostWindow& window, ISystemServices& system, THostBridge& bridge, TEmitFn emit);

  // `kiroOutPath` / `pdfOutDir`: start options that skip the dialog.
  void ChooseImageSave(const std::string& requestId, bool album, const std::string& kiroOutPath,
                       const std::string& pdfOutDir, bool japanese);
  void SaveImage(const std::string& requestId, const std::string& format, std::int64_t chunkIndex,
                 std::int64_t totalChunks, const std::string& data, bool japanese);
  void ReleaseAll();

  const std::map<std::string, std::string>& PendingImageSaves() const { return FPendingImageSaves; }
  const std::string& ChosenKiroPath() const { return FChosenKiroPath; }
  const std::string& ChosenPdfPath() const { return FChosenPdfPath; }

 private:
  void WritePendingTarget(const std::string& requestId, const std::string& path, const std::string& format,
                          const std::string& base64);
  void AskAndWrite(const std::string& requestId, const std::string& format, const std::string& base64,
                   bool japanese);
  void ReportError(const std::string& requestId, const std::string& message);
  // False when the path differs from what the dialog asked about, exists, and the user keeps it.
  bool MayReplace(const TSaveDialogResult& result, const std::string& path, bool japanese);
  std::vector<std::uint8_t> DecodeForWriting(const std::string& base64, const std::string& format);

  IHostWindow& FWindow;
  ISystemServices& FSystem;
  THostBridge& FBridge;
  TEmitFn FEmit;
  std::map<std::string, std::string> FPendingImageSaves;
  std::string FChosenKiroPath;
  std::string FChosenPdfPath;
};
