#include "generator/MainForm.h"

#include <filesystem>
#include <system_error>
#include <utility>

#include "generator/HostTexts.h"
#include "generator/WallpaperFolder.h"
#include "shared/CommandFields.h"
#include "shared/CreationId.h"
#include "shared/Diagnostics.h"
#include "shared/EventScript.h"
#include "shared/Origins.h"
#include "shared/TextUtil.h"
#include "shared/WallpaperIpc.h"
#include "shared/WebRouting.h"

namespace {

constexpr int kWorkerTimeoutMs = 120000;
constexpr int kWallpaperPollMs = 1000;
const char* const kRequestExitScript = "window.__requestExit && window.__requestExit();";

std::string PagePrefix() { return std::string(origins::kPage) + "/"; }

const std::string kNoFolder;

}  // namespace

TFormMain::TFormMain(IHostWindow& window, IDialogs& dialogs, IMainLoop& loop, ISystemServices& system,
                     IImageCodec& codec, IDesktopWallpaperProvider& desktopWallpaper, IIpcTransport& ipc)
    : FWindow(window),
      FDialogs(dialogs),
      FLoop(loop),
      FSystem(system),
      FCodec(codec),
      FDesktopWallpaper(desktopWallpaper),
      FIpc(ipc),
      FWork(loop),
      FContext{[this](const std::string& event, const TJson& payload) { Emit(event, payload); },
               [this] { return FUiIsJapanese; },
               dialogs,
               loop,
               system,
               FBridge,
               FWork},
      FCommands([this](const std::string& event, const TJson& payload) { Emit(event, payload); }) {}

TFormMain::~TFormMain() = default;

TStartupResult TFormMain::FormCreate(const std::vector<std::string>& args) {
  FUiIsJapanese = FSystem.UiLanguageIsJapanese();
  ApplyCaption();

  FOptions = ParseOptions(args);
  FMaterials = std::make_unique<TMaterials>(FContext, FCodec, HeicTempDir());
  FSaveFlow = std::make_unique<TSaveFlow>(FContext, TPresetTargets{FOptions.kiroOutPath, FOptions.pdfOutDir});
  FWallpaper = std::make_unique<TDesktopWallpaper>(
      FDesktopWallpaper, FCodec, FBridge, FContext.emit,
      WallpaperFolderPath(FSystem.KnownFolder(TKnownFolder::kfPictures)),
      WallpaperBackupPath(FSystem.KnownFolder(TKnownFolder::kfRoamingAppData)));
  FAlbumWorks = std::make_unique<TAlbumWorks>(
      FContext, FSystem.KnownFolder(TKnownFolder::kfLocalAppData) + "/Tessary/albums",
      [this](const std::string& photoDir) { FMaterials->UsePhotoFolder(photoDir); });
  FLiveReceiver = std::make_unique<TLiveReceiver>(
      FContext, FIpc,
      TLiveReceiver::THooks{[this] { return FLiveEpoch; }, [this] { return FSaveFlow->TakeChosenKiroPath(); },
                            [this] {
                              // The worker's job ends with the hand-over it was started for.
                              if (IsWorker()) FWindow.Close();
                            }});
  FUnavailable = std::make_unique<TUnavailableFeatures>(FContext);
  FMaterials->Register(FCommands);
  FSaveFlow->Register(FCommands);
  FWallpaper->Register(FCommands);
  FAlbumWorks->Register(FCommands);
  FLiveReceiver->Register(FCommands);
  RegisterOwnCommands();
  FUnavailable->Register(FCommands);

  // Converted pictures of an earlier run are of no use any more. A worker
  // runs beside a normal instance whose page may still fetch them, so it
  // leaves them alone.
  if (!IsWorker()) {
    std::error_code ignored;
    std::filesystem::remove_all(HeicTempDir(), ignored);
  }
  if (!FOptions.ipcAction.empty() || !FOptions.handoffSelfTest.empty()) return RunBatchMode();
  // Only the one normal instance saves creations, so nothing is being saved now.
  if (!IsWorker()) FAlbumWorks->SweepLeftovers();

  FWallpaperPoll = FLoop.StartTimer(kWallpaperPollMs, [this] {
    if (FWebReady) FLiveReceiver->PollState();
  });

  if (!IsWorker()) return {};
  FWorkerTimeout = FLoop.StartTimer(kWorkerTimeoutMs, [this] {
    // Stopping the timer destroys this closure: keep what is needed on the stack.
    TFormMain* const self = this;
    self->FLoop.StopTimer(std::exchange(self->FWorkerTimeout, -1));
    self->FWindow.Close();
  });
  return {false, 0, TWindowKind::wkHiddenWorker};
}

void TFormMain::RegisterOwnCommands() {
  FCommands.Add("setUnsavedResult",
                [this](const TCommand& c) { FHasUnsavedResult = FieldBool(c.message, "value", false); });
  FCommands.Add("setLanguage", [this](const TCommand& c) {
    const std::string lang = FieldText(c.message, "lang");
    if (EqualsNoCase(lang, "ja")) {
      FUiIsJapanese = true;
    } else if (EqualsNoCase(lang, "en")) {
      FUiIsJapanese = false;
    } else {
      return;
    }
    ApplyCaption();
  });
  FCommands.Add("closeApp", [this](const TCommand& c) {
    if (FieldBool(c.message, "quitWallpaper", false)) SendWallpaperCommand(FIpc, kMsgQuit);
    FForceClose = true;
    FWindow.Close();
  });
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

void TFormMain::OnBrowserCreated(bool ok, const std::string& failure) {
  if (!ok) {
    LogDiagnostic("browser", failure);
    FDialogs.ShowError(HostText(THostText::htBrowserFailed, FUiIsJapanese, failure));
    return;
  }
  if (!FOptions.webFromDisk) FWindow.LockDownBrowser();
  FWindow.Navigate(PagePrefix() + "index.html");
}

bool TFormMain::AllowNavigation(const std::string& uri) { return StartsWithNoCase(uri, PagePrefix()); }

void TFormMain::OnNavigationCompleted(bool success) {
  if (!success) return;
  // After a reload, unfinished transfers of the earlier page would hold their
  // slots and memory for ever and refuse every later save.
  DiscardPageTransfers();
  FWebReady = true;
  // A new page generation: hand-overs of the earlier page are refused.
  ++FLiveEpoch;

  FWallpaper->EmitBackupState();

  const TScreenSize screen = FSystem.PrimaryScreenSize();
  TJson display = TJson::object();
  display["w"] = screen.width;
  display["h"] = screen.height;
  display["liveEpoch"] = FLiveEpoch;
  Emit("displayInfo", display);
  FLiveReceiver->OnPageLoad();

  if (!FOptions.openAlbumId.empty()) {
    if (IsValidCreationId(FOptions.openAlbumId)) {
      TJson open = TJson::object();
      open["id"] = FOptions.openAlbumId;
      open["setWallpaper"] = FOptions.openAlbumAsWallpaper;
      Emit("openAlbumRequested", open);
    }
    FOptions.openAlbumId.clear();
  }

  if (!IsWorker()) FAlbumWorks->RestoreAtSignInOnce();

  if (!FOptions.autoTestFolder.empty()) {
    FMaterials->SetPhotoFolder(FOptions.autoTestFolder, true);
    FOptions.autoTestFolder.clear();
  }
  if (FOptions.wallpaperTest) {
    FOptions.wallpaperTest = false;
    LogDiagnostic("Test", "demo wallpaper not started: the live wallpaper is not available in this version");
  }
}

TWebResponse TFormMain::RouteRequest(const std::string& uri) {
  TWebRouteContext context;
  context.webFromDisk = FOptions.webFromDisk;
  context.photoDir = PhotoDir();
  context.heicTempDir = HeicTempDir();
  context.albumFilesDir = FAlbumWorks ? FAlbumWorks->AlbumFilesDir() : std::string();
  context.codec = &FCodec;
  TWebResponse answer = RouteWebRequest(uri, context);
  return answer.answered ? answer : AnswerFromWebFolder(uri, WebDir());
}

void TFormMain::OnPageMessage(const std::string& sourceUri, const std::optional<std::string>& text) {
  if (!StartsWithNoCase(sourceUri, PagePrefix()) || !text) return;
  const TJson message = TJson::parse(*text, nullptr, false);
  if (message.is_discarded() || !message.is_object()) return;
  FCommands.Dispatch(message);
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
  FDialogs.ShowError(HostText(THostText::htPageGone, FUiIsJapanese));
}

void TFormMain::DiscardPageTransfers() {
  FBridge.DiscardAll();
  if (FSaveFlow) FSaveFlow->ReleaseAll();
}

void TFormMain::OnDestroyed() {
  if (FWorkerTimeout >= 0) FLoop.StopTimer(std::exchange(FWorkerTimeout, -1));
  if (FWallpaperPoll >= 0) FLoop.StopTimer(std::exchange(FWallpaperPoll, -1));
  DiscardPageTransfers();
}

void TFormMain::BringToFront() { FWindow.BringToFront(); }

const std::string& TFormMain::PhotoDir() const { return FMaterials ? FMaterials->PhotoDir() : kNoFolder; }

std::string TFormMain::WebDir() const { return THostBridge::WebDir(FSystem.ProgramDir()); }

std::string TFormMain::UserDataDir() const {
  return THostBridge::UserDataDir(FSystem.KnownFolder(TKnownFolder::kfRoamingAppData));
}

std::string TFormMain::HeicTempDir() const {
  return THostBridge::HeicTempDir(FSystem.KnownFolder(TKnownFolder::kfRoamingAppData));
}

void TFormMain::Emit(const std::string& event, const TJson& payload) {
  FWindow.RunScript(payload.is_null() ? BuildEventScript(event) : BuildEventScript(event, payload));
}

void TFormMain::ApplyCaption() { FWindow.SetTitle(HostText(THostText::htCaption, FUiIsJapanese)); }
