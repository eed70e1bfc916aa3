#include "generator/SaveFlow.h"

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <utility>

#include "generator/HostTexts.h"
#include "shared/Base64.h"
#include "shared/CommandFields.h"
#include "shared/FileAccess.h"
#include "shared/LocalTime.h"
#include "shared/TextUtil.h"

namespace {

constexpr std::int64_t kMissingInt = -1;
constexpr std::size_t kMaxSaveRequestIdLength = 80;

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

TSaveFlow::TSaveFlow(const TUnitContext& context, TPresetTargets presets)
    : FContext(context), FPresets(std::move(presets)) {}

void TSaveFlow::Register(TCommandTable& table) {
  table.Add("chooseImageSave", [this](const TCommand& c) { ChooseImageSave(c); }, ErrorEvent("saveError", "requestId"));
  table.Add("saveImage", [this](const TCommand& c) { SaveImage(c); }, ErrorEvent("saveError", "requestId"));
}

void TSaveFlow::EmitCancelled(const std::string& requestId) {
  FContext.Emit("saveCancelled", Payload({{"requestId", requestId}}));
}

void TSaveFlow::ChooseImageSave(const TCommand& command) {
  const std::string requestId = FieldText(command.message, "requestId");
  if (requestId.empty() || requestId.size() > kMaxSaveRequestIdLength) return;
  const bool album = FieldBool(command.message, "album", false);
  const bool japanese = FContext.Japanese();

  FPendingImageSaves.erase(requestId);
  FChosenKiroPath.clear();
  FChosenPdfPath.clear();
  const auto chosen = [&](const char* format) {
    FContext.Emit("saveTargetChosen", Payload({{"requestId", requestId}, {"format", format}}));
  };

  if (!FPresets.renderPath.empty()) return ChooseRenderTarget(requestId, album);
  if (!album && !FPresets.kiroOutPath.empty()) {
    FChosenKiroPath = FPresets.kiroOutPath;
    return chosen("kiro");
  }
  if (album && !FPresets.pdfOutDir.empty()) return chosen("pdf");

  TSaveDialogRequest request;
  request.title = HostText(THostText::htSaveTitle, japanese);
  // The fourth type is the one only this mode can make: albums are never a
  // live wallpaper, and a scatter has no pages to print.
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

  const TSaveDialogResult result = FContext.dialogs.ShowSaveDialog(request);
  if (!result.ok) return EmitCancelled(requestId);
  if (result.typeIndex == 4) {
    const std::string path = ForceExtension(result.path, album ? ".pdf" : ".kiro");
    if (!MayReplaceChosenFile(FContext, result, path)) return EmitCancelled(requestId);
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
  if (!MayReplaceChosenFile(FContext, result, path)) return EmitCancelled(requestId);
  FPendingImageSaves[requestId] = path;
  chosen(format);
}

void TSaveFlow::ChooseRenderTarget(const std::string& requestId, bool album) {
  const std::string& path = FPresets.renderPath;
  const std::string ext = LowerExtension(path);
  const char* format = ext == ".mp4" ? "mp4" : (ext == ".jpg" || ext == ".jpeg") ? "jpeg" : ext == ".pdf" ? "pdf" : "png";
  // An album is saved as a PDF and a pile as a picture or video, never the other way round.
  if (album != (ext == ".pdf")) throw std::runtime_error(path + ": not a type this work can be saved as");
  if (album) {
    FChosenPdfPath = path;
  } else {
    FPendingImageSaves[requestId] = path;
  }
  FContext.Emit("saveTargetChosen", Payload({{"requestId", requestId}, {"format", format}}));
}

void TSaveFlow::SaveImage(const TCommand& command) {
  const TJson& m = command.message;
  const std::string requestId = FieldText(m, "requestId");
  std::string base64;
  std::string firstFormat;
  bool rejected = false;
  if (!FContext.bridge.AddSaveChunk(requestId, FieldText(m, "format", "png"), FieldInt(m, "chunkIndex", kMissingInt),
                                    FieldInt(m, "totalChunks", kMissingInt), FieldText(m, "data"), base64,
                                    firstFormat, rejected)) {
    if (!rejected) return;
    FPendingImageSaves.erase(requestId);
    throw std::runtime_error("invalid transfer");
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
  if (saveFormat == "webm" || target.empty()) return AskAndWrite(requestId, saveFormat, std::move(base64), command.fail);
  if (!ExtensionFitsFormat(target, saveFormat)) throw std::runtime_error("save format mismatch");
  WriteInBackground(requestId, target, saveFormat, std::move(base64), command.fail);
}

void TSaveFlow::AskAndWrite(const std::string& requestId, const std::string& format, std::string base64,
                            const TFailureReport& fail) {
  const bool japanese = FContext.Japanese();
  TSaveDialogRequest request;
  request.title = HostText(THostText::htSaveTitle, japanese);
  request.types = {{ToUpperAscii(format) +
                        HostText(IsVideoFormat(format) ? THostText::htVideoSuffix : THostText::htImageSuffix, japanese),
                    "*." + format}};
  request.defaultTypeIndex = 1;
  request.defaultExt = format;
  request.fileName = "Tessary_" + LocalTimeStamp() + "." + format;

  const TSaveDialogResult result = FContext.dialogs.ShowSaveDialog(request);
  if (!result.ok || !MayReplaceChosenFile(FContext, result, result.path)) return EmitCancelled(requestId);
  WriteInBackground(requestId, result.path, format, std::move(base64), fail);
}

// Saves to one file run one after the other, so the later save is the one
// that stays; saves to different files run side by side.
void TSaveFlow::WriteInBackground(const std::string& requestId, const std::string& path, const std::string& format,
                                  std::string base64, const TFailureReport& fail) {
  // Shared, not copied: the text may be hundreds of megabytes.
  auto text = std::make_shared<std::string>(std::move(base64));
  ISystemServices* system = &FContext.system;
  TEmitFn emit = FContext.emit;
  FContext.work.Run("save:" + path, fail,
                    [text, system, emit, requestId, path, format]() -> TRequestWork::TCompletion {
                      std::vector<std::uint8_t> bytes = Base64Decode(*text);
                      text->clear();
                      text->shrink_to_fit();
                      if (format == "mp4") bytes = system->FinishRecordedVideo(format, std::move(bytes));
                      WriteFileReplacing(path, bytes);
                      return [emit, requestId, path] {
                        emit("saveDone", Payload({{"requestId", requestId}, {"path", path}}));
                      };
                    });
}

bool MayReplaceChosenFile(const TUnitContext& context, const TSaveDialogResult& result, const std::string& path) {
  const std::string& asked = result.confirmedPath.empty() ? result.path : result.confirmedPath;
  std::error_code error;
  if (path == asked || !std::filesystem::exists(path, error)) return true;
  return context.dialogs.AskYesNo(HostText(THostText::htReplaceQuestion, context.Japanese(),
                                           std::filesystem::path(path).filename().string()));
}

void TSaveFlow::ReleaseAll() {
  FPendingImageSaves.clear();
  FChosenKiroPath.clear();
  FChosenPdfPath.clear();
}
