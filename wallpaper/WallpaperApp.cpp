#include "wallpaper/WallpaperApp.h"

#include <utility>

#include "shared/Diagnostics.h"
#include "shared/FileAccess.h"
#include "shared/KiroHandoff.h"
#include "shared/LiveHandoff.h"
#include "shared/TextUtil.h"
#include "wallpaper/DesktopTexts.h"

TLiveOptions ParseLiveOptions(const std::vector<std::string>& args) {
  TLiveOptions options;
  const auto oneShot = [&](const std::string& arg, const char* name, TLiveOneShot kind) {
    if (!StartsWithNoCase(arg, name)) return false;
    options.oneShot = kind;
    options.oneShotValue = arg.substr(std::string(name).size());
    return true;
  };
  for (const std::string& arg : args) {
    if (EqualsNoCase(arg, "--test")) options.demo = true;
    if (options.package.empty() && !arg.empty() && !arg.starts_with("--")) options.package = arg;
    if (oneShot(arg, "--open-album-test=", loOpenAlbumTest) || oneShot(arg, "--show-main=", loShowMain)) break;
  }
  return options;
}

int RunLiveOneShot(const TLiveOptions& options, IIpcTransport& transport) {
  switch (options.oneShot) {
    case loOpenAlbumTest:
      RequestOpenAlbum(transport, options.oneShotValue);
      return 0;
    case loShowMain: {
      TJson result = TJson::object();
      result["sent"] = RequestShowMain(transport);
      try {
        WriteTextFileWithBom(options.oneShotValue, WriteJson(result));
      } catch (const std::exception& e) {
        LogDiagnostic("show-main", e.what());
        return 1;
      }
      return 0;
    }
    case loNone:
      break;
  }
  return 0;
}

TPackageOpening OpenPackageArgument(const std::string& path, IIpcTransport& transport) {
  // The import logs its own failure; it leaves the wallpaper playing before as it was.
  if (!ImportKiroToHandoff(path).ok) return poFailed;
  if (FindWallpaperIpc(transport) && SendWallpaperCommand(transport, kMsgStart)) return poHandedToRunning;
  return poPlayHere;
}

TJson DemoPlayData() {
  return TJson::parse(R"({"drawList":[],"w":1280,"h":720,"speed":1,"motion":"drop","holdSec":30})");
}

TWallpaperApp::TWallpaperApp(TFormWallpaper& form, IMainLoop& loop, std::function<void()> onExit,
                             std::function<void(const std::string&)> tell, bool japanese, TLogProc log)
    : FForm(form),
      FLoop(loop),
      FOnExit(std::move(onExit)),
      FTell(std::move(tell)),
      FJapanese(japanese),
      FLog(std::move(log)) {
  FForm.SetOnReady([this] { OnReady(); });
  FForm.SetOnFailed([this] { OnFailed(); });
}

TWallpaperApp::~TWallpaperApp() {
  StopWatchdog();
  FForm.SetOnReady({});
  FForm.SetOnFailed({});
}

bool TWallpaperApp::LoadHandoff() {
  std::string text;
  if (!ReadHandoffData(text)) return false;
  TJson data = TJson::parse(text, nullptr, false);
  if (!data.is_object()) return false;
  if (data.contains("uiJapanese") && data["uiJapanese"].is_boolean()) FJapanese = data["uiJapanese"].get<bool>();
  FPlayData = std::move(data);
  return true;
}

bool TWallpaperApp::StartLoaded() {
  if (!FPlayData) return false;
  Start(*FPlayData);
  return true;
}

void TWallpaperApp::Start(const TJson& data) {
  FPlayData = data;
  SetState(scStarting);
  if (FForm.StartWallpaper(data)) return;
  const TAttachFailure failure = FForm.AttachEngine().Failure();
  Log("start failed (unsupported desktop)");
  StopWatchdog();
  SetState(scStopped);
  // Said once: the generator may ask again with every hand-over.
  if (failure == TAttachFailure::afNoX11Session && !FToldNoX11) {
    FToldNoX11 = true;
    if (FTell) FTell(AttachFailureText(failure, FJapanese));
  }
}

void TWallpaperApp::OnReady() {
  if (FState != scStarting) return;
  SetState(scRunning);
  StartWatchdog();
  ApplyPauses();
}

void TWallpaperApp::OnFailed() {
  if (FState == scStopped) return;
  Log("page or browser failed, stopping");
  Stop();
}

void TWallpaperApp::Stop() {
  if (FState == scStopped) return;
  StopWatchdog();
  FForm.StopWallpaper();
  FUserPause = false;
  SetState(scStopped);
}

void TWallpaperApp::ToggleUserPause() {
  FUserPause = !FUserPause;
  ApplyPauses();
}

void TWallpaperApp::ToggleAutomaticPause() {
  FAutomaticPause = !FAutomaticPause;
  ApplyPauses();
}

void TWallpaperApp::ApplyPauses() {
  if (FState != scRunning && FState != scPaused) return;
  if (!FUserPause && !FAutomaticPause) {
    // Back on the desktop; when it cannot be put back behind the icons it
    // stays paused and the watchdog tries again.
    if (FState == scPaused && FForm.ResumePlayback()) SetState(scRunning);
    return;
  }
  const bool frozen = !FAutomaticPause;
  if (FState == scPaused && frozen == FFrozen) return;
  if (frozen) {
    FForm.FreezePlayback();
  } else {
    FForm.SuspendPlayback();
  }
  FFrozen = frozen;
  SetState(scPaused);
}

void TWallpaperApp::StartWatchdog() {
  if (FWatchdog >= 0) return;
  FWatchdog = FLoop.StartTimer(kWatchdogMs, [this] {
    FForm.WatchdogTick();
    // A pause that could not end because the window was not back in place.
    if (FState == scPaused && !FUserPause && !FAutomaticPause) ApplyPauses();
  });
}

void TWallpaperApp::StopWatchdog() {
  if (FWatchdog >= 0) FLoop.StopTimer(std::exchange(FWatchdog, -1));
}

void TWallpaperApp::SetState(TWallpaperStateCode state) {
  if (state == FState) return;
  FState = state;
  Log(std::string("state ") + WallpaperStateName(state));
}

void TWallpaperApp::Log(const std::string& text) const {
  if (FLog) FLog("[Wallpaper] " + text);
}

std::int32_t TWallpaperApp::HandleIpc(TIpcKind kind) {
  switch (kind) {
    case ikStateQuery:
      return StateCode();
    case ikStop:
      Stop();
      return 0;
    case ikQuit:
      Stop();
      if (FOnExit) FOnExit();
      return 0;
    case ikStart:
      if (!LoadHandoff()) return 0;
      StartLoaded();
      return 1;
  }
  return 0;
}
