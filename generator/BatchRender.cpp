#include "generator/BatchRender.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <iomanip>
#include <ostream>
#include <random>
#include <sstream>
#include <system_error>

#include "shared/CommandFields.h"
#include "shared/Diagnostics.h"
#include "shared/FileAccess.h"
#include "shared/HostBridge.h"
#include "shared/Origins.h"
#include "shared/ReplacingFile.h"
#include "shared/TextUtil.h"
#include "shared/WebRouting.h"

namespace fs = std::filesystem;

namespace {

// Long steps (recording a video, decoding hundreds of photos) report often;
// a page that says nothing for this long has stopped.
constexpr auto kSilenceLimit = std::chrono::minutes(5);
constexpr int kWatchIntervalMs = 5000;
// Plain lines: a line when the step changes, else one every so often.
constexpr auto kPlainLineEvery = std::chrono::seconds(5);
const char* const kBackgroundPath = "/__batch/background";

std::string BackgroundUrl() { return std::string(origins::kPhoto) + kBackgroundPath; }

// "Preparing photos… 12/100" and "… 13/100" are one step.
std::string StepOf(const std::string& text) {
  std::string step;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) step += c;
  }
  return step;
}

std::string Megabytes(const std::string& path) {
  std::error_code error;
  const auto bytes = fs::file_size(path, error);
  std::ostringstream text;
  text << std::fixed << std::setprecision(1) << (error ? 0.0 : static_cast<double>(bytes) / 1048576.0) << " MB";
  return text.str();
}

bool ListedAmong(const std::vector<std::string>& listed, const std::string& name) {
  // By the name alone, or with its sub-folder as listed.
  return std::any_of(listed.begin(), listed.end(), [&](const std::string& path) {
    return path == name || fs::path(path).filename().string() == name;
  });
}

TBatchCheck CheckOutput(const std::string& path) {
  std::error_code error;
  if (fs::is_directory(path, error)) return {TBatchExit::beCannotWrite, "--render: " + path + " is a folder"};
  const fs::path folder = fs::path(path).parent_path();
  if (!fs::is_directory(folder, error)) {
    return {TBatchExit::beCannotWrite, "--render: the folder " + folder.string() + " does not exist"};
  }
  // The save writes a sibling and renames it over the target: try exactly that.
  try {
    TReplacingFile probe(path);
    probe.Discard();
  } catch (const std::exception& failure) {
    return {TBatchExit::beCannotWrite, std::string("--render: cannot write there: ") + failure.what()};
  }
  return {};
}

}  // namespace

TBatchCheck CheckBatchInputs(const TBatchRequest& request, ISystemServices& system) {
  std::error_code error;
  if (!fs::is_directory(request.photoFolder, error)) {
    return {TBatchExit::beBadArguments, "--photo-folder: " + request.photoFolder + ": no such folder"};
  }
  {
    // A folder that cannot be opened lists as empty: say why instead.
    fs::directory_iterator probe(request.photoFolder, error);
    if (error) return {TBatchExit::beNoPhotos, "--photo-folder: " + request.photoFolder + ": " + error.message()};
  }
  const std::vector<std::string> photos = THostBridge::ListPhotoFiles(request.photoFolder, true);
  if (photos.empty()) {
    return {TBatchExit::beNoPhotos, "no photos in " + request.photoFolder +
                                        " (looked for .jpg, .jpeg, .png, .bmp, .heic, .heif, sub-folders included)"};
  }
  for (const std::string& name : request.favourites) {
    if (!ListedAmong(photos, name)) {
      return {TBatchExit::beBadArguments, "--favourites: no photo named \"" + name + "\" in " + request.photoFolder};
    }
  }
  if (!request.backgroundImage.empty() && !IsRegularFile(request.backgroundImage)) {
    return {TBatchExit::beBadArguments, "--background-image: " + request.backgroundImage + ": no such file"};
  }
  if (!request.titleFont.empty()) {
    const std::vector<std::string> fonts = system.FontFamilies();
    if (std::find(fonts.begin(), fonts.end(), request.titleFont) == fonts.end()) {
      return {TBatchExit::beBadArguments,
              "--title-font: \"" + request.titleFont +
                  "\" is not installed; accepted: gothic, meiryo, mincho, yomogi, yusei, mochiy, hachimaru, or an "
                  "installed font's name"};
    }
  }
  return CheckOutput(request.outputPath);
}

// ---------------------------------------------------------------- console

TBatchConsole::TBatchConsole(std::ostream& out, bool terminal, bool quiet)
    : FOut(out), FTerminal(terminal), FQuiet(quiet) {}

void TBatchConsole::Progress(const std::string& text) {
  if (FQuiet || text.empty()) return;
  if (FTerminal) {
    // Back to the line's start and clear it: one line that changes.
    FOut << "\r\033[2K" << text << std::flush;
    FLineOpen = true;
    return;
  }
  const auto now = std::chrono::steady_clock::now();
  const std::string step = StepOf(text);
  if (step == FLastStep && now - FLastLine < kPlainLineEvery) return;
  FLastStep = step;
  FLastLine = now;
  FOut << text << "\n" << std::flush;
}

void TBatchConsole::EndLine() {
  if (FLineOpen) FOut << "\r\033[2K";
  FLineOpen = false;
}

void TBatchConsole::Done(const std::string& text) {
  if (FQuiet) return;
  EndLine();
  FOut << text << "\n" << std::flush;
}

void TBatchConsole::Error(const std::string& text) {
  EndLine();
  FOut << "TessaryMaker: " << text << "\n" << std::flush;
}

// ---------------------------------------------------------------- the run

TBatchRender::TBatchRender(const TUnitContext& context, TMaterials& materials, TBatchRequest request,
                           TBatchConsole& console, std::function<void()> close)
    : FContext(context),
      FMaterials(materials),
      FRequest(std::move(request)),
      FConsole(console),
      FClose(std::move(close)) {
  FWatchTimer = FContext.loop.StartTimer(kWatchIntervalMs, [this] { Watch(); });
}

TBatchRender::~TBatchRender() {
  if (FWatchTimer >= 0) FContext.loop.StopTimer(FWatchTimer);
  if (!FProfileDir.empty()) {
    std::error_code ignored;
    fs::remove_all(FProfileDir, ignored);
  }
}

void TBatchRender::Register(TCommandTable& table) {
  table.Add("batchProgress", [this](const TCommand& c) { Progress(c); });
  table.Add("batchDone", [this](const TCommand& c) { Done(c); });
}

const std::string& TBatchRender::ProfileDir() {
  if (!FProfileDir.empty()) return FProfileDir;
  const fs::path temp = FContext.system.KnownFolder(TKnownFolder::kfTemp);
  std::random_device random;
  std::error_code ignored;
  fs::create_directories(temp, ignored);
  for (int attempt = 0; attempt < 100 && FProfileDir.empty(); ++attempt) {
    const fs::path dir = temp / ("tessary-batch-" + std::to_string(random()));
    std::error_code error;
    // Made here, not found: another run's folder is never shared.
    if (fs::create_directory(dir, error)) FProfileDir = dir.string();
  }
  if (FProfileDir.empty()) FProfileDir = (temp / "tessary-batch").string();
  return FProfileDir;
}

void TBatchRender::PageLoaded() {
  if (FEnded) return;
  FLastHeard = std::chrono::steady_clock::now();
  FMaterials.ServePhotoFolder(FRequest.photoFolder);
  TJson payload = BatchRequestJson(FRequest);
  TJson folder = TJson::object();
  folder["baseUrl"] = std::string(origins::kPhoto) + "/";
  folder["photos"] = THostBridge::ListPhotoFiles(FRequest.photoFolder, true);
  folder["memos"] = FRequest.memos ? TJson(THostBridge::ListMemoFiles(FRequest.photoFolder, true)) : TJson::array();
  payload["folder"] = folder;
  if (FRequest.screenSize) {
    const TScreenSize screen = FContext.system.PrimaryScreenSize();
    if (screen.width <= 0 || screen.height <= 0) return Fail(TBatchExit::beFailed, "--size=display: no screen size");
    TJson size = TJson::object();
    size["w"] = std::clamp(screen.width, 320, 8192);
    size["h"] = std::clamp(screen.height, 320, 8192);
    payload["screen"] = size;
  }
  payload["backgroundUrl"] = FRequest.backgroundImage.empty() ? TJson() : TJson(BackgroundUrl());
  FContext.Emit("batchRender", payload);
}

TWebResponse TBatchRender::Route(const std::string& uri) {
  if (FRequest.backgroundImage.empty() || uri != BackgroundUrl()) return {};
  return AnswerPhotoFile(FRequest.backgroundImage, nullptr);
}

void TBatchRender::Progress(const TCommand& command) {
  FLastHeard = std::chrono::steady_clock::now();
  if (!FEnded) FConsole.Progress(FieldText(command.message, "text"));
}

void TBatchRender::Done(const TCommand& command) {
  const TJson& m = command.message;
  const std::int64_t code = FieldInt(m, "code", static_cast<int>(TBatchExit::beFailed));
  const std::string message = FieldText(m, "message");
  if (code != 0) {
    const bool known = code >= 1 && code <= static_cast<int>(TBatchExit::beCannotWrite);
    return End(known ? static_cast<TBatchExit>(code) : TBatchExit::beFailed, message.empty() ? "failed" : message);
  }
  // The page's word is not enough: the file must be there.
  if (!IsRegularFile(FRequest.outputPath))
    return End(TBatchExit::beCannotWrite, FRequest.outputPath + " was not written");
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - FStarted).count();
  std::ostringstream text;
  text << "Wrote " << FRequest.outputPath << " (";
  const std::int64_t w = FieldInt(m, "width", 0);
  const std::int64_t h = FieldInt(m, "height", 0);
  if (w > 0 && h > 0) text << w << " x " << h << " ";
  text << BatchOutputName(FRequest.output) << ", " << Megabytes(FRequest.outputPath) << ") in " << std::fixed
       << std::setprecision(1) << seconds << " s";
  if (FRequest.setAsWallpaper) text << "; it is now the desktop wallpaper";
  FConsole.Done(text.str());
  End(TBatchExit::beDone, {});
}

void TBatchRender::Fail(TBatchExit exit, const std::string& reason) { End(exit, reason); }

void TBatchRender::End(TBatchExit exit, const std::string& reason) {
  if (FEnded) return;
  FEnded = true;
  FExit = exit;
  if (exit != TBatchExit::beDone) {
    LogDiagnostic("batch", reason);
    FConsole.Error(reason);
  }
  if (FWatchTimer >= 0) {
    FContext.loop.StopTimer(FWatchTimer);
    FWatchTimer = -1;
  }
  FClose();
}

void TBatchRender::Watch() {
  if (std::chrono::steady_clock::now() - FLastHeard > kSilenceLimit) {
    Fail(TBatchExit::beFailed, "the page stopped answering");
  }
}
