// The page's commands: the table that names them in matching order, their
// fields with defaults, and their handlers.
#pragma once

#include <string>

#include "generator/HostTexts.h"
#include "generator/MainForm.h"
#include "shared/JsonWriter.h"

class TFormMain::TCommands {
 public:
  explicit TCommands(TFormMain& form) : F(form) {}

  // Runs the first command whose name equals `cmd` exactly; unknown
  // commands are ignored without an answer.
  void Dispatch(const TJson& message);

 private:
  using THandler = void (TCommands::*)(const TJson&);
  struct TEntry {
    const char* name;
    THandler handler;
  };
  static const TEntry kTable[];

  void PickMaterialFolder(const TJson& m);
  void AlbumUnavailable(const TJson& m);
  void ChooseImageSave(const TJson& m);
  void SaveImage(const TJson& m);
  void SetUnsavedResult(const TJson& m);
  void SetLanguage(const TJson& m);
  void CloseApp(const TJson& m);
  void ConvertHeic(const TJson& m);
  void BeginAlbumPdf(const TJson& m);
  void SetWallpaper(const TJson& m);
  void CheckWallpaper(const TJson& m);
  void CheckRestore(const TJson& m);
  void RestoreWallpaper(const TJson& m);
  void GetFonts(const TJson& m);
  void StartLiveWallpaper(const TJson& m);
  void CommitLiveHandoff(const TJson& m);
  void StopLiveWallpaper(const TJson& m);
  void Ignore(const TJson& m);

  void EmitHeicResult(const std::string& reqId, const char* member, const std::string& value);
  void EmitWallpaperStopped();
  std::string Text(THostText id) const;

  TFormMain& F;
};
