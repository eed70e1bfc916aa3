#include "generator/SaveFlow.h"

#include <ctime>
#include <exception>
#include <filesystem>
#include <stdexcept>

#include "generator/HostTexts.h"
#include "shared/Base64.h"
#include "shared/Diagnostics.h"
#include "shared/FileAccess.h"
#include "shared/TextUtil.h"

namespace {

TJson Payload(std::initializer_list<std::pair<const char*, TJson>> members) {
  TJson payload = TJson::object();
  for (const auto& [name, value] : members) payload[name] = value;
  return payload;
}

bool ExtensionFitsFormat(const std::string& path, const std::string& format) {
  const std::string ext = LowerExtension(path);
  if (format == "png") return ext == ".png";
  if (format == "jpg") return ext == ".jpg" || ext == ".jpeg";
  if (format == "mp4") return ext == ".mp4";
  return false;
}

bool IsVideoFormat(const std::string& format) { return format == "mp4" || format == "webm"; }

}  // namespace

std::string ForceExtension(const std::string& path, const std::string& dotExt) {
  std::filesystem::path p(path);
  if (EqualsNoCase(p.extension().string(), dotExt)) return path;
  p.replace_extension(dotExt);
  return p.string();
}

std::string LocalTimeStamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d_%H%M%S", &local);
  return text;
}

TSaveFlow::TSaveFlow(IHostWindow& window, ISystemServices& system, THostBridge& bridge, TEmitFn emit)
    : FWindow(window), FSystem(system), FBridge(bridge), FEmit(std::move(emit)) {}

void TSaveFlow::ChooseImageSave(const std::string& requestId, bool album, const std::string& kiroOutPath,
                                const std::string& pdfOutDir, bool japanese) {
  FPendingImageSaves.erase(requestId);
  FChosenKiroPath.clear();
  FChosenPdfPath.clear();
  const auto chosen = [&](const char* format) {
    FEmit("saveTargetChosen", Payload({{"requestId", requestId}, {"format", format}}));
  };

  if (!album && !kiroOutPath.empty()) {
    FChosenKiroPath = kiroOutPath;
    return chosen("kiro");
  }
  if (album && !pdfOutDir.empty()) return chosen("pdf");

  TSaveDialogRequest request;
  request.title = HostText(THostText::htSaveTitle, japanese);
  request.types = {
      {HostText(THostText::htTypePng, japanese), "*.png"},
      {HostText(THostText::htTypeJpeg, japanese), "*.jpg;*.jpeg"},
      {HostText(THostText::htTypeMp4, japanese), "*.mp4"},
      album ? TFileType{HostText(THostText::htTypePdf, japanese), "*.pdf"}
            : TFileType{HostText(THostText::htTypeKiro, japanese), "*.kiro"},
  };
  request.defaultTypeIndex = album ? 4 : 1;
  request.defaultExt = album ? "pdf" : "png";
  request.fileName = (album ? "TessaryAlbum_" : "Tessary_") + LocalTimeStamp() + (album ? ".pdf" : ".png");

  const TSaveDialogResult result = FWindow.ShowSaveDialog(request);
  if (!result.ok) {
    FEmit("saveCancelled", Payload({{"requestId", requestId}}));
    return;
  }
  const auto cancelled = [&] { FEmit("saveCancelled", Payload({{"requestId", requestId}})); };
  if (result.typeIndex == 4) {
    const std::string path = ForceExtension(result.path, album ? ".pdf" : ".kiro");
    if (!MayReplace(result, path, japanese)) return cancelled();
    (album ? FChosenPdfPath : FChosenKiroPath) = path;
    return chosen(album ? "pdf" : "kiro");
  }
  std::string path;
  const char* format = "png";
  if (result.typeIndex == 3) {
    path = ForceExtension(result.path, ".mp4");
    format = "mp4";
  } else if (result.typeIndex == 2) {
    const std::string ext = LowerExtension(result.path);
    path = (ext == ".jpg" || ext == ".jpeg") ? result.path : ForceExtension(result.path, ".jpg");
    format = "jpeg";
  } else {
    path = ForceExtension(result.path, ".png");
  }
  if (!MayReplace(result, path, japanese)) return cancelled();
  FPendingImageSaves[requestId] = path;
  chosen(format);
}

void TSaveFlow::SaveImage(const std::string& requestId, const std::string& format, std::int64_t chunkIndex,
                          std::int64_t totalChunks, const std::string& data, bool japanese) {
  std::string base64;
  std::string firstFormat;
  bool rejected = false;
  if (!FBridge.AddSaveChunk(requestId, format, chunkIndex, totalChunks, data, base64, firstFormat, rejected)) {
    if (rejected) {
      FPendingImageSaves.erase(requestId);
      ReportError(requestId, "invalid transfer");
    }
    return;
  }

  const bool known = firstFormat == "jpg" || firstFormat == "png" || firstFormat == "webm" || firstFormat == "mp4";
  const std::string saveFormat = known ? firstFormat : "png";
  // The completed transfer ends its pending target, used or not (a WebM
  // video never fits the MP4 target chosen before recording).
  const auto pending = FPendingImageSaves.find(requestId);
  std::string target;
  if (pending != FPendingImageSaves.end()) {
    target = pending->second;
    FPendingImageSaves.erase(pending);
  }
  if (saveFormat != "webm" && !target.empty()) {
    WritePendingTarget(requestId, target, saveFormat, base64);
  } else {
    AskAndWrite(requestId, saveFormat, base64, japanese);
  }
}

void TSaveFlow::WritePendingTarget(const std::string& requestId, const std::string& path, const std::string& format,
                                   const std::string& base64) {
  try {
    if (!ExtensionFitsFormat(path, format)) throw std::runtime_error("save format mismatch");
    WriteFileReplacing(path, DecodeForWriting(base64, format));
    FEmit("saveDone", Payload({{"requestId", requestId}, {"path", path}}));
  } catch (const std::exception& error) {
    ReportError(requestId, error.what());
  }
}

void TSaveFlow::AskAndWrite(const std::string& requestId, const std::string& format, const std::string& base64,
                            bool japanese) {
  TSaveDialogRequest request;
  request.title = HostText(THostText::htSaveTitle, japanese);
  request.types = {{ToUpperAscii(format) +
                        HostText(IsVideoFormat(format) ? THostText::htVideoSuffix : THostText::htImageSuffix, japanese),
                    "*." + format}};
  request.defaultTypeIndex = 1;
  request.defaultExt = format;
  request.fileName = "Tessary_" + LocalTimeStamp() + "." + format;

  const TSaveDialogResult result = FWindow.ShowSaveDialog(request);
  if (!result.ok || !MayReplace(result, result.path, japanese)) {
    FEmit("saveCancelled", Payload({{"requestId", requestId}}));
    return;
  }
  try {
    WriteFileReplacing(result.path, DecodeForWriting(base64, format));
    FEmit("saveDone", Payload({{"requestId", requestId}, {"path", result.path}}));
  } catch (const std::exception& error) {
    ReportError(requestId, error.what());
  }
}

// The dialog asked about replacing the name as the user chose it; an
// extension added afterwards may name another file that exists.
bool TSaveFlow::MayReplace(const TSaveDialogResult& result, const std::string& path, bool japanese) {
  const std::string& asked = result.confirmedPath.empty() ? result.path : result.confirmedPath;
  std::error_code error;
  if (path == asked || !std::filesystem::exists(path, error)) return true;
  std::string question = HostText(THostText::htReplaceQuestion, japanese);
  question.replace(question.find("%s"), 2, std::filesystem::path(path).filename().string());
  return FWindow.AskYesNo(question);
}

std::vector<std::uint8_t> TSaveFlow::DecodeForWriting(const std::string& base64, const std::string& format) {
  std::vector<std::uint8_t> bytes = Base64Decode(base64);
  return format == "mp4" ? FSystem.FinishRecordedVideo(format, std::move(bytes)) : bytes;
}

void TSaveFlow::ReportError(const std::string& requestId, const std::string& message) {
  LogDiagnostic("save", requestId + ": " + message);
  FEmit("saveError", Payload({{"requestId", requestId}, {"message", message}}));
}

void TSaveFlow::ReleaseAll() {
  FPendingImageSaves.clear();
  FChosenKiroPath.clear();
  FChosenPdfPath.clear();
}
