#include "generator/MainForm.h"

#include <filesystem>
#include <system_error>
#include <utility>

#include "generator/HostTexts.h"
#include "generator/MainFormCommands.h"
#include "shared/CreationId.h"
#include "shared/Diagnostics.h"
#include "shared/EventScript.h"
#include "shared/Origins.h"
#include "shared/TextUtil.h"
#include "shared/WebRouting.h"

namespace {

constexpr int kWorkerTimeoutMs = 120000;
const char* const kRequestExitScript = "window.__requestExit && window.__requestExit();";

std::string PagePrefix() { return std::string(origins::kPage) + "/"; }

}  // namespace

TFormMain::TFormMain(IHostWindow& window, ISystemServices& system, IImageCodec& codec)
    : FWindow(window), FSystem(system), FCodec(codec) {}

TFormMain::~TFormMain() = default;

TStartupResult TFormMain::FormCreate(const std::vector<std::string>& args) {
  FUiIsJapanese = FSystem.UiLanguageIsJapanese();
  ApplyCaption();

  FBridge = std::make_unique<THostBridge>();
  FSaveFlow = std::make_unique<TSaveFlow>(FWindow, FSystem, *FBridge,
                                          [this](const std::string& event, const TJson& payload) {
                                            Emit(event, payload);
                                          });
  FCommands = std::make_unique<TCommands>(*this);

  FOptions = ParseOptions(args);
  // Converted pictures of an earlier run are of no use any more. A worker
  // runs beside a normal instance whose page may still fetch them, so it
  // leaves them alone.
  if (!IsWorker()) {
    std::error_code ignored;
    std::filesystem::remove_all(HeicTempDir(), ignored);
  }
  if (!FOptions.ipcAction.empty() || !FOptions.handoffSelfTest.empty()) return RunBatchMode();

  // The inter-program message window and the once-a-second live wallpaper
  // state poll join here once the live wallpaper program exists.

  if (IsWorker()) {
    FWorkerTimeout = FWindow.StartTimer(kWorkerTimeoutMs, [this] {
      // Stopping the timer destroys this closure: keep what is needed on the stack.
      TFormMain* const self = this;
      self->FWindow.StopTimer(std::exchange(self->FWorkerTimeout, -1));
      self->FWindow.Close();
    });
    FWindow.ShowOffscreenAsWorker();
  }
  return {};
}

TStartupResult TFormMain::RunBatchMode() {
  // Both batch modes talk to the live wallpaper program, which this version
  // does not have yet; saying so beats writing a result that looks real.
  if (!FOptions.ipcAction.empty()) {
    LogDiagnostic("ipc", "cannot run \"--ipc=" + FOptions.ipcAction +
                             "\": controlling the live wallpaper program is not available in this version");
  } else {
    LogDiagnostic("handoff", "cannot run \"--handoff-selftest=\": the live hand-over is not available in this version");
  }
  return {true, 2};
}

void TFormMain::OnBrowserCreated(bool ok, std::uint32_t resultCode) {
  if (!ok) {
    FWindow.ShowError(BrowserFailureText(resultCode));
    return;
  }
  if (!FOptions.webFromDisk) FWindow.LockDownBrowser();
  FWindow.Navigate(PagePrefix() + "index.html");
}

bool TFormMain::AllowNavigation(const std::string& uri) const { return StartsWithNoCase(uri, PagePrefix()); }

void TFormMain::OnNavigationCompleted(bool success) {
  if (!success) return;
  // After a reload, unfinished transfers of the earlier page would hold their
  // slots and memory for ever and refuse every later save.
  DiscardPageTransfers();
  FWebReady = true;
  // A new page generation: hand-overs of the earlier page are refused.
  ++FLiveEpoch;

  // No wallpaper has been set by this version, so there is no backup to offer.
  TJson backup = TJson::object();
  backup["hasBackup"] = false;
  Emit("wallpaperBackupState", backup);

  const TScreenSize screen = FSystem.PrimaryScreenSize();
  TJson display = TJson::object();
  display["w"] = screen.width;
  display["h"] = screen.height;
  display["liveEpoch"] = FLiveEpoch;
  Emit("displayInfo", display);

  if (!FOptions.openAlbumId.empty()) {
    if (IsValidCreationId(FOptions.openAlbumId)) {
      TJson open = TJson::object();
      open["id"] = FOptions.openAlbumId;
      open["setWallpaper"] = FOptions.openAlbumAsWallpaper;
      Emit("openAlbumRequested", open);
    }
    FOptions.openAlbumId.clear();
  }

  // The live state poll, the start-at-sign-in creation (once per run, never
  // in a worker) and held live photos join this sequence with the live
  // wallpaper and the creation store.

  if (!FOptions.autoTestFolder.empty()) {
    SetPhotoFolder(FOptions.autoTestFolder, true);
    FOptions.autoTestFolder.clear();
  }
  if (FOptions.wallpaperTest) {
    FOptions.wallpaperTest = false;
    LogDiagnostic("Test", "demo wallpaper not started: the live wallpaper is not available in this version");
  }
}

TWebResponse TFormMain::HandleWebResourceRequested(const std::string& uri) {
  TWebRouteContext context;
  context.webFromDisk = FOptions.webFromDisk;
  context.photoDir = FPhotoDir;
  context.heicTempDir = HeicTempDir();
  context.albumFilesDir = FAlbumFilesDir;
  context.codec = &FCodec;
  return RouteWebRequest(uri, context);
}

TWebResponse TFormMain::AnswerFromWebFolder(const std::string& uri) const {
  return ::AnswerFromWebFolder(uri, WebDir());
}

void TFormMain::HandleWebMessage(const std::string& sourceUri, const std::optional<std::string>& text) {
  if (!StartsWithNoCase(sourceUri, PagePrefix()) || !text) return;
  const TJson message = TJson::parse(*text, nullptr, false);
  if (message.is_discarded() || !message.is_object()) return;
  FCommands->Dispatch(message);
}

bool TFormMain::CloseQuery() {
  if (!FForceClose && !IsWorker() && FWebReady) {
    FWindow.RunScript(kRequestExitScript);
    return false;
  }
  return true;
}

void TFormMain::OnPageGone() {
  FWebReady = false;
  DiscardPageTransfers();
  FWindow.ShowError(HostText(THostText::htPageGone, FUiIsJapanese));
}

void TFormMain::DiscardPageTransfers() {
  if (FBridge) FBridge->DiscardAll();
  if (FSaveFlow) FSaveFlow->ReleaseAll();
}

void TFormMain::OnDestroy() {
  if (FWorkerTimeout >= 0) {
    FWindow.StopTimer(FWorkerTimeout);
    FWorkerTimeout = -1;
  }
  DiscardPageTransfers();
}

void TFormMain::BringToFront() { FWindow.BringToFront(); }

std::string TFormMain::WebDir() const { return THostBridge::WebDir(FSystem.ProgramDir()); }

std::string TFormMain::UserDataDir() const {
  return THostBridge::UserDataDir(FSystem.KnownFolder(TKnownFolder::kfRoamingAppData));
}

std::string TFormMain::HeicTempDir() const {
  return THostBridge::HeicTempDir(FSystem.KnownFolder(TKnownFolder::kfRoamingAppData));
}

void TFormMain::Emit(const std::string& event, const TJson& payload) {
  FWindow.RunScript(BuildEventScript(event, payload));
}

void TFormMain::ApplyCaption() { FWindow.SetTitle(HostText(THostText::htCaption, FUiIsJapanese)); }

void TFormMain::SetPhotoFolder(const std::string& folder, bool recursive) {
  // A folder that cannot be opened would list as empty and leave the user
  // guessing; the folder in use stays as it was.
  std::error_code error;
  std::filesystem::directory_iterator probe(folder, error);
  if (error) {
    LogDiagnostic("folder", folder + ": " + error.message());
    std::string text = HostText(THostText::htFolderUnreadable, FUiIsJapanese);
    text.replace(text.find("%s"), 2, folder + ": " + error.message());
    FWindow.ShowError(text);
    return;
  }
  FPhotoDir = folder;
  FWindow.RunScript(THostBridge::BuildMaterialFolderPickedScript(folder, recursive));
}
