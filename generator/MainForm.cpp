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
#include "shared/FileAccess.h"
#include "shared/LiveHandoff.h"
#include "shared/Origins.h"
#include "shared/TextUtil.h"
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
  // Batch runs come before anything of the window: they may run beside a
  // normal instance, whose converted pictures and names they leave alone.
  if (IsBatchMode(FOptions)) return RunBatchMode();

  FMaterials = std::make_unique<TMaterials>(FContext, FCodec, HeicTempDir());
  FSaveFlow = std::make_unique<TSaveFlow>(
      FContext, TPresetTargets{FOptions.kiroOutPath, FOptions.pdfOutDir,
                               FBatchRequest ? FBatchRequest->outputPath : std::string()});
  FAlbumPdf = std::make_unique<TAlbumPdfCommands>(
      FContext, [this] { return FSaveFlow->TakeChosenPdfPath(); }, FOptions.pdfOutDir);
  FWallpaper = std::make_unique<TDesktopWallpaper>(
      FDesktopWallpaper, FCodec, FBridge, FContext.emit,
      WallpaperFolderPath(FSystem.KnownFolder(TKnownFolder::kfPictures)),
      WallpaperBackupPath(FSystem.KnownFolder(TKnownFolder::kfRoamingAppData)));
  FAlbumWorks = std::make_unique<TAlbumWorks>(
      FContext, FSystem.KnownFolder(TKnownFolder::kfLocalAppData) + "/Tessary/albums",
      [this](const std::string& photoDir) { FMaterials->UsePhotoFolder(photoDir); });
  FLive = std::make_unique<TLiveWallpaper>(
      FContext, FIpc,
      TLiveWallpaper::THooks{[this] { return FSaveFlow->TakeChosenKiroPath(); },
                             [this] {
                               // The worker's one job is done.
                               if (IsWorker()) FWindow.Close();
                             }});
  FMaterials->Register(FCommands);
  FSaveFlow->Register(FCommands);
  FAlbumPdf->Register(FCommands);
  FWallpaper->Register(FCommands);
  FAlbumWorks->Register(FCommands);
  FLive->Register(FCommands);
  RegisterOwnCommands();
  if (FBatchRequest) {
    FBatch = std::make_unique<TBatchRender>(FContext, *FMaterials, std::move(*FBatchRequest), *FBatchConsole, [this] {
      FForceClose = true;
      FWindow.Close();
    });
    FBatchRequest.reset();
    FBatch->Register(FCommands);
    FWallpaper->KeepUsersOwnBackup(true);
    // It runs beside the user's window and leaves its pictures, its name and
    // its live wallpaper alone.
    return {false, 0, TWindowKind::wkHiddenWorker};
  }

  // Converted pictures of an earlier run are of no use any more. A worker
  // runs beside a normal instance whose page may still fetch them, so it
  // leaves them alone.
  if (!IsWorker()) {
    std::error_code ignored;
    std::filesystem::remove_all(HeicTempDir(), ignored);
    // Only the one normal instance saves creations, so nothing is being saved now.
    FAlbumWorks->SweepLeftovers();
  }

  // A hidden worker never takes the generator's name: a request to show the
  // generator would bring up a window nobody can see instead of starting one.
  if (!IsWorker()) {
    try {
      FMainIpc = std::make_unique<TMainIpcServer>(
          FIpc, [this] { BringToFront(); }, [this](const std::string& id) { OpenCreationRequested(id); });
    } catch (const std::exception& e) {
      // The window works without it; only the live wallpaper's tray cannot reach it.
      LogDiagnostic("ipc", std::string("no session bus for the generator's name: ") + e.what());
    }
  }
  FWallpaperPoll = FLoop.StartTimer(kWallpaperPollMs, [this] {
    if (FWebReady) FLive->PollState();
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

void TFormMain::PrepareBatchRender(TBatchRequest request, TBatchConsole& console) {
  FBatchRequest = std::move(request);
  FBatchConsole = &console;
}

void TFormMain::FailBatch(const std::string& reason) {
  if (FBatch) FBatch->Fail(TBatchExit::beFailed, reason);
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
    if (FieldBool(c.message, "quitWallpaper", false)) FLive->QuitWallpaper();
    FForceClose = true;
    FWindow.Close();
  });
}

TStartupResult TFormMain::RunBatchMode() {
  std::string path;
  TJson result;
  if (!FOptions.ipcAction.empty()) {
    result = IpcBatchResultJson(RunIpcBatchAction(FIpc, FOptions.ipcAction));
    path = FOptions.ipcOut;
  } else {
    result = RunHandoffSelfTest();
    path = FOptions.handoffSelfTest;
  }
  if (path.empty()) return {true, 0};
  try {
    WriteTextFileWithBom(path, WriteJson(result));
  } catch (const std::exception& e) {
    LogDiagnostic("batch", std::string("the result could not be written: ") + e.what());
    return {true, 1};
  }
  return {true, 0};
}

void TFormMain::OpenCreationRequested(const std::string& id) {
  BringToFront();
  if (!IsValidCreationId(id)) return;
  if (!FWebReady) {
    // The page asks for it once it has loaded.
    FOptions.openAlbumId = id;
    FOptions.openAlbumAsWallpaper = false;
    return;
  }
  TJson open = TJson::object();
  open["id"] = id;
  open["setWallpaper"] = false;
  Emit("openAlbumRequested", open);
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
  if (FBatch) return FBatch->PageLoaded();

  FWallpaper->EmitBackupState();

  // A new page generation (hand-overs of the earlier page are refused), the
  // screen, and the live wallpaper's state.
  FLive->PageLoaded();

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
    FLive->RunWallpaperTest();
  }
}

TWebResponse TFormMain::RouteRequest(const std::string& uri) {
  TWebRouteContext context;
  context.webFromDisk = FOptions.webFromDisk;
  context.photoDir = PhotoDir();
  if (FMaterials) context.servedPhotoDirs = FMaterials->ServedPhotoDirs();
  context.heicTempDir = HeicTempDir();
  context.albumFilesDir = FAlbumWorks ? FAlbumWorks->AlbumFilesDir() : std::string();
  context.codec = &FCodec;
  context.livePhoto = [this](int index) { return FLive ? FLive->HeldPhoto(index) : nullptr; };
  if (FBatch) {
    if (TWebResponse background = FBatch->Route(uri); background.answered) return background;
  }
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
  if (!FForceClose && !IsWorker() && !FBatch && FWebReady) {
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
  if (FAlbumPdf) FAlbumPdf->DropOpenDocument();
}

void TFormMain::OnDestroyed() {
  if (FWorkerTimeout >= 0) FLoop.StopTimer(std::exchange(FWorkerTimeout, -1));
  if (FWallpaperPoll >= 0) FLoop.StopTimer(std::exchange(FWallpaperPoll, -1));
  DiscardPageTransfers();
  if (FLive) FLive->ClearBuffers();
}

void TFormMain::BringToFront() { FWindow.BringToFront(); }

const std::string& TFormMain::PhotoDir() const { return FMaterials ? FMaterials->PhotoDir() : kNoFolder; }

std::string TFormMain::WebDir() const { return THostBridge::WebDir(FSystem.ProgramDir()); }

std::string TFormMain::UserDataDir() const {
  if (FBatch) return FBatch->ProfileDir();
  return THostBridge::UserDataDir(FSystem.KnownFolder(TKnownFolder::kfRoamingAppData));
}

std::string TFormMain::HeicTempDir() const {
  return THostBridge::HeicTempDir(FSystem.KnownFolder(TKnownFolder::kfRoamingAppData));
}

void TFormMain::Emit(const std::string& event, const TJson& payload) {
  FWindow.RunScript(payload.is_null() ? BuildEventScript(event) : BuildEventScript(event, payload));
}

void TFormMain::ApplyCaption() { FWindow.SetTitle(HostText(THostText::htCaption, FUiIsJapanese)); }
