#include "generator/MainFormCommands.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <memory>

#include "generator/CommandFields.h"
#include "shared/Base64.h"
#include "shared/Diagnostics.h"
#include "shared/FileAccess.h"
#include "shared/HeicConversion.h"
#include "shared/Origins.h"
#include "shared/TextUtil.h"

namespace {

constexpr std::int64_t kMissingInt = -1;
constexpr std::size_t kMaxSaveRequestIdLength = 80;
constexpr std::int64_t kTooManyConvertChunks = kMaxConvertChunks + 1;

// Conversion request ids become file names: 1 to 32 of A-Z a-z 0-9.
bool IsValidConvertId(const std::string& id) {
  return !id.empty() && id.size() <= 32 && std::all_of(id.begin(), id.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
  });
}

TJson Object() { return TJson::object(); }

}  // namespace

// Matching order of the page protocol; names compare exactly.
const TFormMain::TCommands::TEntry TFormMain::TCommands::kTable[] = {
    {"pickMaterialFolder", &TCommands::PickMaterialFolder},
    {"albumSaveList", &TCommands::AlbumUnavailable},
    {"albumSave", &TCommands::AlbumUnavailable},
    {"albumLoad", &TCommands::AlbumUnavailable},
    {"albumDelete", &TCommands::AlbumUnavailable},
    {"chooseImageSave", &TCommands::ChooseImageSave},
    {"saveImage", &TCommands::SaveImage},
    {"setUnsavedResult", &TCommands::SetUnsavedResult},
    {"setLanguage", &TCommands::SetLanguage},
    {"closeApp", &TCommands::CloseApp},
    {"convertHeic", &TCommands::ConvertHeic},
    {"beginAlbumPdf", &TCommands::BeginAlbumPdf},
    // Pages, finish and cancel only act on an open PDF writer, and without
    // PDF support none is ever open.
    {"albumPdfPage", &TCommands::Ignore},
    {"finishAlbumPdf", &TCommands::Ignore},
    {"cancelAlbumPdf", &TCommands::Ignore},
    {"setWallpaper", &TCommands::SetWallpaper},
    {"checkWallpaper", &TCommands::CheckWallpaper},
    {"checkRestore", &TCommands::CheckRestore},
    {"restoreWallpaper", &TCommands::RestoreWallpaper},
    {"getFonts", &TCommands::GetFonts},
    {"startLiveWallpaper", &TCommands::StartLiveWallpaper},
    {"commitLiveHandoff", &TCommands::CommitLiveHandoff},
    {"stopLiveWallpaper", &TCommands::StopLiveWallpaper},
    // Hand-over sessions and their photos have no answer of their own; the
    // start or commit that ends a session reports the outcome.
    {"beginLiveWallpaper", &TCommands::Ignore},
    {"cancelLiveWallpaper", &TCommands::Ignore},
    {"livePhoto", &TCommands::Ignore},
};

void TFormMain::TCommands::Dispatch(const TJson& message) {
  const std::string cmd = FieldText(message, "cmd");
  for (const TEntry& entry : kTable) {
    if (cmd == entry.name) {
      (this->*entry.handler)(message);
      return;
    }
  }
}

std::string TFormMain::TCommands::Text(THostText id) const { return HostText(id, F.FUiIsJapanese); }

void TFormMain::TCommands::PickMaterialFolder(const TJson& m) {
  const bool recursive = FieldBool(m, "recursive", false);
  const auto folder = F.FWindow.PickFolder(Text(THostText::htPickFolderTitle));
  if (folder) F.SetPhotoFolder(*folder, recursive);
}

void TFormMain::TCommands::AlbumUnavailable(const TJson&) {
  TJson payload = Object();
  payload["message"] = Text(THostText::htAlbumsUnavailable);
  F.Emit("albumError", payload);
}

void TFormMain::TCommands::ChooseImageSave(const TJson& m) {
  const std::string requestId = FieldText(m, "requestId");
  if (requestId.empty() || requestId.size() > kMaxSaveRequestIdLength) return;
  F.FSaveFlow->ChooseImageSave(requestId, FieldBool(m, "album", false), F.FOptions.kiroOutPath,
                               F.FOptions.pdfOutDir, F.FUiIsJapanese);
}

void TFormMain::TCommands::SaveImage(const TJson& m) {
  F.FSaveFlow->SaveImage(FieldText(m, "requestId"), FieldText(m, "format", "png"),
                         FieldInt(m, "chunkIndex", kMissingInt), FieldInt(m, "totalChunks", kMissingInt),
                         FieldText(m, "data"), F.FUiIsJapanese);
}

void TFormMain::TCommands::SetUnsavedResult(const TJson& m) { F.FHasUnsavedResult = FieldBool(m, "value", false); }

void TFormMain::TCommands::SetLanguage(const TJson& m) {
  const std::string lang = FieldText(m, "lang");
  if (EqualsNoCase(lang, "ja")) {
    F.FUiIsJapanese = true;
  } else if (EqualsNoCase(lang, "en")) {
    F.FUiIsJapanese = false;
  } else {
    return;
  }
  F.ApplyCaption();
}

void TFormMain::TCommands::CloseApp(const TJson&) {
  // `quitWallpaper` asks the live wallpaper program to quit as well; this
  // version starts none, so there is nothing to ask.
  F.FForceClose = true;
  F.FWindow.Close();
}

void TFormMain::TCommands::EmitHeicResult(const std::string& reqId, const char* member, const std::string& value) {
  TJson payload = Object();
  payload["reqId"] = reqId;
  payload[member] = value;
  F.Emit("heicConverted", payload);
}

void TFormMain::TCommands::ConvertHeic(const TJson& m) {
  const std::string reqId = FieldText(m, "reqId");
  const std::int64_t chunkIndex = FieldInt(m, "chunkIndex", kMissingInt);
  const std::int64_t totalChunks = FieldInt(m, "totalChunks", kMissingInt);
  if (!IsValidConvertId(reqId)) return EmitHeicResult(reqId, "error", "invalid transfer");
  if (totalChunks >= kTooManyConvertChunks) {
    if (chunkIndex == 0) EmitHeicResult(reqId, "error", "file too large (max 100 MB)");
    return;
  }
  std::string base64;
  bool rejected = false;
  if (!F.FBridge->AddConvertChunk(reqId, chunkIndex, totalChunks, FieldText(m, "data"), base64, rejected)) {
    if (rejected) EmitHeicResult(reqId, "error", "invalid transfer");
    return;
  }
  // Decoding a large picture takes a while; the window stays responsive and
  // later commands go on meanwhile. The page waits for this reqId's answer.
  auto failure = std::make_shared<std::string>();
  IImageCodec* codec = &F.FCodec;
  const std::filesystem::path file = std::filesystem::path(F.HeicTempDir()) / (reqId + ".jpg");
  F.FWindow.RunInBackground(
      [codec, file, failure, base64 = std::move(base64)] {
        try {
          const std::vector<std::uint8_t> jpeg = ConvertToJpeg(*codec, Base64Decode(base64));
          std::filesystem::create_directories(file.parent_path());
          WriteFileReplacing(file.string(), jpeg);
        } catch (const std::exception& error) {
          *failure = error.what();
          if (failure->empty()) *failure = "conversion failed";
        }
      },
      [this, reqId, failure] {
        if (failure->empty()) return EmitHeicResult(reqId, "url", std::string(origins::kPhoto) + "/__temp/" + reqId + ".jpg");
        LogDiagnostic("heic", reqId + ": " + *failure);
        EmitHeicResult(reqId, "error", *failure);
      });
}

void TFormMain::TCommands::BeginAlbumPdf(const TJson& m) {
  TJson payload = Object();
  payload["requestId"] = FieldText(m, "requestId");
  payload["message"] = Text(THostText::htPdfUnavailable);
  F.Emit("albumPdfError", payload);
}

void TFormMain::TCommands::SetWallpaper(const TJson& m) {
  // One answer per transfer: the first chunk (or a chunk without an index)
  // answers, the rest of the transfer is dropped unread.
  if (FieldInt(m, "chunkIndex", kMissingInt) > 0) return;
  TJson payload = Object();
  payload["requestId"] = FieldText(m, "requestId");
  payload["message"] = Text(THostText::htWallpaperUnavailable);
  F.Emit("wallpaperError", payload);
}

void TFormMain::TCommands::CheckWallpaper(const TJson&) {
  TJson payload = Object();
  payload["restorable"] = false;
  payload["hasBackup"] = false;
  F.Emit("wallpaperCheck", payload);
}

void TFormMain::TCommands::CheckRestore(const TJson&) {
  TJson payload = Object();
  payload["hasBackup"] = false;
  payload["missing"] = false;
  payload["matchesLastSet"] = false;
  F.Emit("restoreCheck", payload);
}

void TFormMain::TCommands::RestoreWallpaper(const TJson&) {
  TJson payload = Object();
  payload["message"] = Text(THostText::htRestoreUnavailable);
  F.Emit("restoreError", payload);
}

void TFormMain::TCommands::GetFonts(const TJson&) {
  TJson names = TJson::array();
  for (const std::string& name : F.FSystem.FontFamilies()) {
    // "@" names are the vertical-writing twins of other families.
    if (!name.empty() && name.front() != '@') names.push_back(name);
  }
  TJson payload = Object();
  payload["names"] = names;
  F.Emit("fonts", payload);
}

void TFormMain::TCommands::EmitWallpaperStopped() {
  TJson payload = Object();
  payload["state"] = "stopped";
  payload["pauseReasons"] = TJson::array();
  F.Emit("wallpaperState", payload);
}

void TFormMain::TCommands::StartLiveWallpaper(const TJson&) {
  // The page leaves its transfer state on the next state report; reporting
  // "stopped" at once keeps it from waiting for a wallpaper that never starts.
  LogDiagnostic("live", Text(THostText::htLiveUnavailable));
  EmitWallpaperStopped();
}

void TFormMain::TCommands::CommitLiveHandoff(const TJson&) {
  TJson payload = Object();
  payload["format"] = "kiro";
  payload["error"] = Text(THostText::htKiroUnavailable);
  F.Emit("kiroExported", payload);
}

void TFormMain::TCommands::StopLiveWallpaper(const TJson&) { EmitWallpaperStopped(); }

void TFormMain::TCommands::Ignore(const TJson&) {}
