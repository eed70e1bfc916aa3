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

// Start options that skip the save dialog.
struct TPresetTargets {
  std::string kiroOutPath;  // --kiro-out=
  std::string pdfOutDir;    // --pdf-out=
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
  // The package path chosen last, which only one package may use.
  std::string TakeChosenKiroPath() { return std::exchange(FChosenKiroPath, {}); }
  const std::string& ChosenPdfPath() const { return FChosenPdfPath; }

 private:
  void ChooseImageSave(const TCommand& command);
  void SaveImage(const TCommand& command);
  void AskAndWrite(const std::string& requestId, const std::string& format, std::string base64,
                   const TFailureReport& fail);
  void WriteInBackground(const std::string& requestId, const std::string& path, const std::string& format,
                         std::string base64, const TFailureReport& fail);
  void EmitCancelled(const std::string& requestId);
  // False when the path differs from what the dialog asked about, exists, and the user keeps it.
  bool MayReplace(const TSaveDialogResult& result, const std::string& path);

  const TUnitContext& FContext;
  TPresetTargets FPresets;
  std::map<std::string, std::string> FPendingImageSaves;
  std::string FChosenKiroPath;
  std::string FChosenPdfPath;
};
