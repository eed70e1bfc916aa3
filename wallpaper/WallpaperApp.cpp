#include "wallpaper/WallpaperApp.h"

#include <utility>

#include "shared/Diagnostics.h"
#include "shared/FileAccess.h"
#include "shared/KiroHandoff.h"
#include "shared/LiveHandoff.h"
#include "shared/TextUtil.h"

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

TWallpaperApp::TWallpaperApp(std::function<void()> onExit) : FOnExit(std::move(onExit)) {}

bool TWallpaperApp::LoadHandoff() {
  std::string text;
  if (!ReadHandoffData(text)) return false;
  TJson data = TJson::parse(text, nullptr, false);
  if (!data.is_object()) return false;
  FPlayData = std::move(data);
  return true;
}

bool TWallpaperApp::StartLoaded() {
  if (!FPlayData) return false;
  FPlaying = true;
  return true;
}

void TWallpaperApp::Start(const TJson& data) {
  FPlayData = data;
  FPlaying = true;
}

void TWallpaperApp::Stop() { FPlaying = false; }

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
