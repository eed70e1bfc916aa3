// The generator's main window, portable part: start-up options, the browser
// creation sequence, request routing, page commands, the page-ready sequence
// and close negotiation. The platform layer owns the real window and calls
// these entry points on the window's thread.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "generator/Options.h"
#include "generator/SaveFlow.h"
#include "platform/HostPlatform.h"
#include "shared/HostBridge.h"
#include "shared/JsonWriter.h"
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
};

class TFormMain {
 public:
  TFormMain(IHostWindow& window, ISystemServices& system, IImageCodec& codec);
  ~TFormMain();
  TFormMain(const TFormMain&) = delete;
  TFormMain& operator=(const TFormMain&) = delete;

  // Window set-up: language and caption, bridge, options, HEIC temp folder
  // cleanup, batch modes, worker timeout and placement.
  // `args` are the program arguments without the program name.
  TStartupResult FormCreate(const std::vector<std::string>& args);

  // The browser control finished creating (ok false: `resultCode` is the
  // failure code). Applies settings, then navigates to the page.
  void OnBrowserCreated(bool ok, std::uint32_t resultCode);
  // False: cancel this navigation (the page may never leave its origin).
  bool AllowNavigation(const std::string& uri) const;
  void OnNavigationCompleted(bool success);
  // The page's process ended and is not started again: the window closes
  // without asking it, and the user is told.
  void OnPageGone();
  // Routes one resource request of the browser.
  TWebResponse HandleWebResourceRequested(const std::string& uri);
  // For page-origin requests the core leaves unanswered: serve from WebDir.
  TWebResponse AnswerFromWebFolder(const std::string& uri) const;
  // A message posted by the page; `text` is nullopt when it was not a string.
  void HandleWebMessage(const std::string& sourceUri, const std::optional<std::string>& text);
  // True: the window may close now. False: the page was asked instead.
  bool CloseQuery();
  // The window is being destroyed: release transfers and pending targets.
  void OnDestroy();
  // Another program asked the generator to show itself.
  void BringToFront();

  const TOptions& Options() const { return FOptions; }
  bool UiIsJapanese() const { return FUiIsJapanese; }
  bool WebReady() const { return FWebReady; }
  bool HasUnsavedResult() const { return FHasUnsavedResult; }
  bool IsWorker() const { return FOptions.wallpaperWorker; }
  const std::string& PhotoDir() const { return FPhotoDir; }
  int LiveEpoch() const { return FLiveEpoch; }
  const TSaveFlow& SaveFlow() const { return *FSaveFlow; }
  // Folder used as the page origin's web folder and the browser's data folder.
  std::string WebDir() const;
  std::string UserDataDir() const;
  std::string HeicTempDir() const;

 private:
  class TCommands;
  friend class TCommands;

  void Emit(const std::string& event, const TJson& payload);
  void ApplyCaption();
  void SetPhotoFolder(const std::string& folder, bool recursive);
  TStartupResult RunBatchMode();
  // Chunked transfers and chosen save targets of the page that is gone.
  void DiscardPageTransfers();

  IHostWindow& FWindow;
  ISystemServices& FSystem;
  IImageCodec& FCodec;
  std::unique_ptr<THostBridge> FBridge;
  std::unique_ptr<TCommands> FCommands;
  std::unique_ptr<TSaveFlow> FSaveFlow;
  TOptions FOptions;
  std::string FPhotoDir;
  std::string FAlbumFilesDir;
  bool FUiIsJapanese = false;
  bool FWebReady = false;
  bool FForceClose = false;
  bool FHasUnsavedResult = false;
  int FLiveEpoch = 0;
  int FWorkerTimeout = -1;
};
