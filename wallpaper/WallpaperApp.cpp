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
    if (oneShot(arg, "--open-album-test=", loOpenAlbumTest) || oneShot(arg, "--import-kiro-test=", loImportKiroTest) ||
        oneShot(arg, "--pick-wallpaper-test=", loPickWallpaperTest) || oneShot(arg, "--show-main=", loShowMain)) {
      break;
    }
  }
  return options;
}

int RunLiveOneShot(const TLiveOptions& options, IIpcTransport& transport) {
  switch (options.oneShot) {
    case loOpenAlbumTest:
      RequestOpenAlbum(transport, options.oneShotValue);
      return 0;
    case loImportKiroTest: {
      // A failure is logged by the import itself ("Tessary [kiro] import failed: ").
      return ImportKiroToHandoff(options.oneShotValue).ok ? 0 : 1;
    }
    case loPickWallpaperTest:
      transport.StartSiblingProgram(kMakerProgramFile, {"--set-wallpaper=" + options.oneShotValue});
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

TWallpaperApp::TWallpaperApp(TWallpaperController& controller, TFormWallpaper& form, IIpcTransport& transport,
                             TLiveAppEnv env, bool japanese)
    : FController(controller), FForm(form), FTransport(transport), FEnv(std::move(env)) {
  FController.SetUiJapanese(japanese);
  TControllerHooks hooks;
  hooks.onError = [this] { OnError(); };
  hooks.onOpenRequest = [this] { ShowMain(); };
  hooks.onToggleRequest = [this] { ShowMain(); };
  hooks.onExitRequest = [this] { Exit(); };
  hooks.onHostCommand = [this](int id) { HostCommand(id); };
  hooks.onBuildHostMenu = [this] {
    // Listed anew with every menu, so that new creations show up.
    FPicks = FEnv.picks ? FEnv.picks() : std::vector<TCreationPick>{};
    TLiveMenuInput input;
    input.data = &FPlayData;
    input.stopped = FController.State() == wsStopped;
    input.japanese = FController.UiJapanese();
    input.picks = FPicks;
    input.buildStamp = FEnv.buildStamp;
    input.canOpenPackages = static_cast<bool>(FEnv.choosePackage);
    return BuildLiveMenu(input);
  };
  FController.SetHooks(std::move(hooks));
}

TWallpaperApp::~TWallpaperApp() { FController.SetHooks({}); }

bool TWallpaperApp::LoadHandoff() {
  std::string text;
  if (!ReadHandoffData(text)) return false;
  TJson data = TJson::parse(text, nullptr, false);
  if (!data.is_object()) return false;
  if (data.contains("uiJapanese") && data["uiJapanese"].is_boolean()) {
    FController.SetUiJapanese(data["uiJapanese"].get<bool>());
  }
  FPlayData = std::move(data);
  FController.RefreshTray();
  return true;
}

bool TWallpaperApp::StartLoaded() {
  if (!FPlayData) return false;
  Start(*FPlayData);
  return true;
}

void TWallpaperApp::Start(const TJson& data) {
  FPlayData = data;
  // The same hand-over again (the generator's start message for what this
  // program found at start) plays on rather than starting over.
  if (FController.Active() && FController.Data() == data) return;
  FController.Stop();
  FController.Start(data);
}

void TWallpaperApp::OnError() {
  // Said once: the generator may ask again with every hand-over.
  const TAttachFailure failure = FForm.AttachEngine().Failure();
  if (failure != TAttachFailure::afNoX11Session || FToldNoX11) return;
  FToldNoX11 = true;
  if (FEnv.tell) FEnv.tell(AttachFailureText(failure, FController.UiJapanese()));
}

void TWallpaperApp::ShowMain() {
  if (RequestShowMain(FTransport)) return;
  FTransport.StartSiblingProgram(kMakerProgramFile, {});
}

void TWallpaperApp::Exit() {
  FController.Stop();
  FController.RemoveTrayIcon();
  if (FEnv.exit) FEnv.exit();
}

void TWallpaperApp::HostCommand(int id) {
  if (FPlayData) {
    if (std::optional<TJson> changed = ApplyMotionOrSpeed(*FPlayData, id)) {
      FPlayData = std::move(*changed);
      if (!UpdateHandoffData(WriteJson(*FPlayData))) LogDiagnostic("handoff", "the changed play data was not kept");
      if (FController.State() != wsStopped) Start(*FPlayData);
      FController.RefreshTray();
      return;
    }
  }
  if (id == lmStart) {
    StartLoaded();
  } else if (id == lmOpenInMaker && FPlayData) {
    const std::string album = FPlayData->value("albumId", std::string());
    if (!RequestOpenAlbum(FTransport, album)) FTransport.StartSiblingProgram(kMakerProgramFile, {"--open-album=" + album});
  } else if (id == lmOpenPackage) {
    OpenPackage();
  } else if (id >= lmFirstPick && id < lmFirstPick + static_cast<int>(FPicks.size())) {
    FTransport.StartSiblingProgram(kMakerProgramFile, {"--set-wallpaper=" + FPicks[id - lmFirstPick].id});
  }
}

void TWallpaperApp::OpenPackage() {
  if (!FEnv.choosePackage) return;
  const bool ja = FController.UiJapanese();
  const std::optional<std::string> path = FEnv.choosePackage(ja ? "ライブ壁紙ファイルを開く" : "Open a live wallpaper file",
                                                             ja ? "ライブ壁紙" : "Live wallpaper");
  if (!path) return;
  const auto warn = [&](const std::string& text) {
    if (FEnv.warn) FEnv.warn(ja ? "テッサリー" : "Tessary", text);
  };
  const TKiroResult imported = ImportKiroToHandoff(*path);
  if (!imported.ok) {
    // What played before plays on: a failed import leaves the hand-over as it was.
    warn((ja ? "このファイルを開けませんでした: " : "Could not open this file: ") + imported.error);
    return;
  }
  FController.Stop();
  if (!LoadHandoff() || !StartLoaded()) warn(ja ? "再生を始められませんでした" : "Could not start playback");
}

std::int32_t TWallpaperApp::HandleIpc(TIpcKind kind) {
  switch (kind) {
    case ikStateQuery:
      return StateCode();
    case ikStop:
      FController.Stop();
      return 0;
    case ikQuit:
      Exit();
      return 0;
    case ikStart:
      if (!LoadHandoff()) return 0;
      StartLoaded();
      return 1;
  }
  return 0;
}
