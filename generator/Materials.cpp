#include "generator/Materials.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <system_error>

#include "generator/HostTexts.h"
#include "shared/Base64.h"
#include "shared/CommandFields.h"
#include "shared/Diagnostics.h"
#include "shared/FileAccess.h"
#include "shared/HeicConversion.h"
#include "shared/Origins.h"

namespace {

constexpr std::int64_t kMissingInt = -1;
constexpr std::int64_t kTooManyConvertChunks = kMaxConvertChunks + 1;

// Conversion request ids become file names: 1 to 32 of A-Z a-z 0-9.
bool IsValidConvertId(const std::string& id) {
  return !id.empty() && id.size() <= 32 && std::all_of(id.begin(), id.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
  });
}

}  // namespace

TMaterials::TMaterials(const TUnitContext& context, IImageCodec& codec, std::string heicTempDir)
    : FContext(context), FCodec(codec), FHeicTempDir(std::move(heicTempDir)) {}

void TMaterials::Register(TCommandTable& table) {
  table.Add("pickMaterialFolder", [this](const TCommand& c) { PickMaterialFolder(c); });
  table.Add("convertHeic", [this](const TCommand& c) { ConvertHeic(c); },
            TErrorEvent{"heicConverted", "reqId", "error", {}});
  table.Add("getFonts", [this](const TCommand& c) { GetFonts(c); });
}

void TMaterials::PickMaterialFolder(const TCommand& command) {
  const bool recursive = FieldBool(command.message, "recursive", false);
  const auto folder = FContext.dialogs.PickFolder(HostText(THostText::htPickFolderTitle, FContext.Japanese()));
  if (folder) SetPhotoFolder(*folder, recursive);
}

void TMaterials::SetPhotoFolder(const std::string& folder, bool recursive) {
  // A folder that cannot be opened would list as empty and leave the user
  // guessing; the folder in use stays as it was.
  std::error_code error;
  std::filesystem::directory_iterator probe(folder, error);
  if (error) {
    LogDiagnostic("folder", folder + ": " + error.message());
    FContext.dialogs.ShowError(
        HostText(THostText::htFolderUnreadable, FContext.Japanese(), folder + ": " + error.message()));
    return;
  }
  FPhotoDir = folder;
  auto served = std::find(FServedDirs.begin(), FServedDirs.end(), folder);
  if (served == FServedDirs.end()) served = FServedDirs.insert(FServedDirs.end(), folder);
  TJson payload = THostBridge::MaterialFolderPickedPayload(folder, recursive);
  payload["baseUrl"] =
      std::string(origins::kPhoto) + "/__dir/" + std::to_string(served - FServedDirs.begin()) + "/";
  // The page may let go of the photos' bytes: this base URL keeps serving them.
  payload["lasting"] = true;
  FContext.Emit("materialFolderPicked", payload);
}

void TMaterials::ConvertHeic(const TCommand& command) {
  const TJson& m = command.message;
  const std::string reqId = FieldText(m, "reqId");
  const std::int64_t chunkIndex = FieldInt(m, "chunkIndex", kMissingInt);
  const std::int64_t totalChunks = FieldInt(m, "totalChunks", kMissingInt);
  if (!IsValidConvertId(reqId)) throw std::runtime_error("invalid transfer");
  if (totalChunks >= kTooManyConvertChunks) {
    // One answer per refused transfer: its first chunk gives it.
    if (chunkIndex == 0) throw std::runtime_error("file too large (max 100 MB)");
    return;
  }
  std::string base64;
  bool rejected = false;
  if (!FContext.bridge.AddConvertChunk(reqId, chunkIndex, totalChunks, FieldText(m, "data"), base64, rejected)) {
    if (rejected) throw std::runtime_error("invalid transfer");
    return;
  }
  // Decoding a large picture takes a while; the window stays responsive and
  // later commands go on meanwhile. The page waits for this reqId's answer.
  IImageCodec* codec = &FCodec;
  const std::filesystem::path file = std::filesystem::path(FHeicTempDir) / (reqId + ".jpg");
  auto text = std::make_shared<std::string>(std::move(base64));
  TEmitFn emit = FContext.emit;
  FContext.work.Run("heic:" + reqId, command.fail, [codec, file, text, emit, reqId]() -> TRequestWork::TCompletion {
    const std::vector<std::uint8_t> encoded = Base64Decode(*text);
    text->clear();
    text->shrink_to_fit();
    const std::vector<std::uint8_t> jpeg = ConvertToJpeg(*codec, encoded);
    std::filesystem::create_directories(file.parent_path());
    WriteFileReplacing(file.string(), jpeg);
    return [emit, reqId] {
      TJson payload = TJson::object();
      payload["reqId"] = reqId;
      payload["url"] = std::string(origins::kPhoto) + "/__temp/" + reqId + ".jpg";
      emit("heicConverted", payload);
    };
  });
}

void TMaterials::GetFonts(const TCommand&) {
  TJson names = TJson::array();
  for (const std::string& name : FContext.system.FontFamilies()) {
    // "@" names are the vertical-writing twins of other families.
    if (!name.empty() && name.front() != '@') names.push_back(name);
  }
  TJson payload = TJson::object();
  payload["names"] = names;
  FContext.Emit("fonts", payload);
}
