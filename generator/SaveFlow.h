// Choosing where a picture or video goes (chooseImageSave) and writing it
// when its chunks are complete (saveImage). Decoding, finishing a video and
// writing run off the window's thread; `saveDone` or `saveError` comes when
// that save's own work has ended.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "shared/CommandTable.h"
#include "shared/UnitContext.h"

// Replaces the file name's extension by `dotExt` unless it already is that
// extension ignoring letter case; a name without extension gets it appended.
std::string ForceExtension(const std::string& path, const std::string& dotExt);

// Whether the chosen `path` may be written: the dialog asked about replacing
// the name as the user chose it, but an extension added afterwards may name
// another file that exists, which is replaced only when the user says so.
bool MayReplaceChosenFile(const TUnitContext& context, const TSaveDialogResult& result, const std::string& path);

// Start options that skip the save dialog.
struct TPresetTargets {
  std::string kiroOutPath;  // --kiro-out=
  std::string pdfOutDir;    // --pdf-out=
  // --render= (a batch render): every save goes to this file, in the type
  // its extension names (.png, .jpg/.jpeg, .mp4, or .pdf for an album).
  std::string renderPath;
};

class TSaveFlow {
 public:
  TSaveFlow(const TUnitContext& context, TPresetTargets presets);

  // chooseImageSave, saveImage.
  void Register(TCommandTable& table);
  // Forgets the chosen targets (the page that chose them is gone).
  void ReleaseAll();

  const std::map<std::string, std::string>& PendingImageSaves() const { return FPendingImageSaves; }
  const std::string& ChosenKiroPath() const { return FChosenKiroPath; }
  // The package target for the hand-over being committed; cleared by taking it.
  std::string TakeChosenKiroPath() { return std::exchange(FChosenKiroPath, {}); }
  const std::string& ChosenPdfPath() const { return FChosenPdfPath; }
  // The PDF file chosen in the save dialog, handed out once.
  std::string TakeChosenPdfPath() { return std::exchange(FChosenPdfPath, {}); }

 private:
  void ChooseImageSave(const TCommand& command);
  void ChooseRenderTarget(const std::string& requestId, bool album);
  void SaveImage(const TCommand& command);
  void AskAndWrite(const std::string& requestId, const std::string& format, std::string base64,
                   const TFailureReport& fail);
  void WriteInBackground(const std::string& requestId, const std::string& path, const std::string& format,
                         std::string base64, const TFailureReport& fail);
  void EmitCancelled(const std::string& requestId);

  const TUnitContext& FContext;
  TPresetTargets FPresets;
  std::map<std::string, std::string> FPendingImageSaves;
  std::string FChosenKiroPath;
  std::string FChosenPdfPath;
};
