// The generator's main window, portable part: start-up options, the browser
// creation sequence, request routing, the page-ready sequence and close
// negotiation. It assembles the command table from its units and answers the
// browser's events (IBrowserEvents); the platform layer owns the real window
// and calls these entry points on the window's thread.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "generator/AlbumPdfCommands.h"
#include "generator/AlbumWorks.h"
#include "generator/BatchRender.h"
#include "generator/DesktopWallpaper.h"
#include "generator/LiveWallpaper.h"
#include "generator/Materials.h"
#include "generator/Options.h"
#include "generator/SaveFlow.h"
#include "platform/DesktopWallpaperSetting.h"
#include "platform/HostPlatform.h"
#include "platform/IpcTransport.h"
#include "shared/CommandTable.h"
#include "shared/HostBridge.h"
#include "shared/JsonWriter.h"
#include "shared/RequestWork.h"
#include "shared/UnitContext.h"
#include "shared/WallpaperIpc.h"
#include "shared/WebResponse.h"

inline constexpr const char* kApplicationTitle = "Tessary Maker";
inline constexpr int kMainMinWidth = 1100;
inline constexpr int kMainMinHeight = 700;
inline constexpr int kMainClientWidth = 1400;
inline constexpr int kMainClientHeight = 940;

// What the program entry does after FormCreate.
struct TStartupResult {
  bool endNow = false;   // batch mode finished (or failed): do not show the window
  int exitCode = 0;
  TWindowKind windowKind = TWindowKind::wkNormal;  // a worker's window is never shown
};

class TFormMain final : public IBrowserEvents {
 public:
  // `desktopWallpaper`: this session's wallpaper setting, opened per command.
  // `ipc` reaches the live wallpaper program; it must outlive `loop`, whose
  // background work uses it.
  TFormMain(IHostWindow& window, IDialogs& dialogs, IMainLoop& loop, ISystemServices& system, IImageCodec& codec,
            IDesktopWallpaperProvider& desktopWallpaper, IIpcTransport& ipc);
  ~TFormMain() override;
  TFormMain(const TFormMain&) = delete;
  TFormMain& operator=(const TFormMain&) = delete;

  // Window set-up: language and caption, options, batch modes, units and
  // their commands, HEIC temp folder cleanup, the generator's message name,
  // the live wallpaper state poll, worker timeout.
  // `args` are the program arguments without the program name.
  TStartupResult FormCreate(const std::vector<std::string>& args);
  // Before FormCreate: the window makes `request`'s pile without ever being
  // shown, reporting to `console`, and ends (see BatchRender.h).
  void PrepareBatchRender(TBatchRequest request, TBatchConsole& console);
  // A batch render ends with this code; 0 otherwise.
  int ExitCode() const { return FBatch ? FBatch->ExitCode() : 0; }
  // Something that would have been shown to the user: a batch render ends with it.
  void FailBatch(const std::string& reason);

  // Applies the browser settings, then navigates to the page; a browser that
  // could not be made is reported to the user.
  void OnBrowserCreated(bool ok, const std::string& failure) override;
  // The page may never leave its origin.
  bool AllowNavigation(const std::string& uri) override;
  // A successful load runs the page-ready sequence.
  void OnNavigationCompleted(bool success) override;
  // The page's process ended and is not started again: the user is told,
  // the page's transfers are dropped, and closing the window no longer waits
  // for a page that cannot answer.
  void OnPageGone() override;
  // The four origins, then the web folder for page files not embedded.
  TWebResponse RouteRequest(const std::string& uri) override;
  // A command from the page: checked, parsed and dispatched through the table.
  void OnPageMessage(const std::string& sourceUri, const std::optional<std::string>& text) override;
  // True: the window may close now. False: the page was asked instead.
  bool CloseQuery() override;
  // The window is being destroyed: release transfers and targets, delete an
  // unfinished album PDF, stop the worker timer.
  void OnDestroyed() override;
  // Another program asked the generator to show itself.
  void BringToFront();

  const TOptions& Options() const { return FOptions; }
  bool UiIsJapanese() const { return FUiIsJapanese; }
  bool WebReady() const { return FWebReady; }
  bool HasUnsavedResult() const { return FHasUnsavedResult; }
  bool IsWorker() const { return FOptions.wallpaperWorker; }
  const std::string& PhotoDir() const;
  int LiveEpoch() const { return FLive ? FLive->Epoch() : 0; }
  const TLiveWallpaper& LiveWallpaper() const { return *FLive; }
  const TSaveFlow& SaveFlow() const { return *FSaveFlow; }
  const TAlbumWorks& AlbumWorks() const { return *FAlbumWorks; }
  const TAlbumPdfCommands& AlbumPdf() const { return *FAlbumPdf; }
  const TCommandTable& Commands() const { return FCommands; }
  // Folder used as the page origin's web folder and the browser's data folder.
  std::string WebDir() const;
  std::string UserDataDir() const;
  std::string HeicTempDir() const;

 private:
  // The window's own commands: setUnsavedResult, setLanguage, closeApp.
  void RegisterOwnCommands();
  void Emit(const std::string& event, const TJson& payload);
  void ApplyCaption();
  TStartupResult RunBatchMode();
  // The live wallpaper program asked to open a creation.
  void OpenCreationRequested(const std::string& id);
  // Chunked transfers, chosen save targets and the album PDF being written
  // by the page that is gone.
  void DiscardPageTransfers();

  IHostWindow& FWindow;
  IDialogs& FDialogs;
  IMainLoop& FLoop;
  ISystemServices& FSystem;
  IImageCodec& FCodec;
  IDesktopWallpaperProvider& FDesktopWallpaper;
  IIpcTransport& FIpc;
  THostBridge FBridge;
  TRequestWork FWork;
  TUnitContext FContext;
  TCommandTable FCommands;
  std::unique_ptr<TMaterials> FMaterials;
  std::unique_ptr<TSaveFlow> FSaveFlow;
  std::unique_ptr<TAlbumPdfCommands> FAlbumPdf;
  std::unique_ptr<TDesktopWallpaper> FWallpaper;
  std::unique_ptr<TAlbumWorks> FAlbumWorks;
  std::unique_ptr<TLiveWallpaper> FLive;
  std::unique_ptr<TMainIpcServer> FMainIpc;
  std::unique_ptr<TBatchRender> FBatch;
  std::optional<TBatchRequest> FBatchRequest;
  TBatchConsole* FBatchConsole = nullptr;
  TOptions FOptions;
  bool FUiIsJapanese = false;
  bool FWebReady = false;
  bool FForceClose = false;
  bool FHasUnsavedResult = false;
  int FWallpaperPoll = -1;
  int FWorkerTimeout = -1;
};
