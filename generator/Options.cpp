#include "generator/Options.h"

#include <functional>

#include "shared/TextUtil.h"

namespace {

struct TValueOption {
  const char* prefix;
  std::function<void(TOptions&, const std::string&)> apply;
};

struct TSwitchOption {
  const char* name;
  bool TOptions::*field;
};

}  // namespace

TOptions ParseOptions(const std::vector<std::string>& args) {
  static const TValueOption kValueOptions[] = {
      {"--photo-folder=", [](TOptions& o, const std::string& v) { o.autoTestFolder = v; }},
      {"--pdf-out=", [](TOptions& o, const std::string& v) { o.pdfOutDir = v; }},
      {"--kiro-out=", [](TOptions& o, const std::string& v) { o.kiroOutPath = v; }},
      {"--handoff-selftest=", [](TOptions& o, const std::string& v) { o.handoffSelfTest = v; }},
      {"--ipc=", [](TOptions& o, const std::string& v) { o.ipcAction = v; }},
      {"--ipc-out=", [](TOptions& o, const std::string& v) { o.ipcOut = v; }},
      {"--open-album=", [](TOptions& o, const std::string& v) { o.openAlbumId = v; }},
      {"--set-wallpaper=",
       [](TOptions& o, const std::string& v) {
         o.openAlbumId = v;
         o.openAlbumAsWallpaper = true;
         o.wallpaperWorker = true;
       }},
  };
  static const TSwitchOption kSwitches[] = {
      {"--web-from-disk", &TOptions::webFromDisk},
      {"--wallpaper-test", &TOptions::wallpaperTest},
  };

  TOptions options;
  for (const std::string& arg : args) {
    for (const TSwitchOption& option : kSwitches) {
      if (EqualsNoCase(arg, option.name)) options.*option.field = true;
    }
    for (const TValueOption& option : kValueOptions) {
      const std::string_view prefix(option.prefix);
      if (StartsWithNoCase(arg, prefix)) option.apply(options, arg.substr(prefix.size()));
    }
  }
  return options;
}

bool IsBatchMode(const TOptions& options) { return !options.ipcAction.empty() || !options.handoffSelfTest.empty(); }

bool IsWorkerInvocation(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg.starts_with("--set-wallpaper=")) return true;
  }
  return false;
}
