// Command-line options of the generator.
#pragma once

#include <string>
#include <vector>

struct TOptions {
  std::string autoTestFolder;     // --photo-folder=
  bool webFromDisk = false;       // --web-from-disk
  bool wallpaperTest = false;     // --wallpaper-test
  std::string pdfOutDir;          // --pdf-out=
  std::string kiroOutPath;        // --kiro-out=
  std::string handoffSelfTest;    // --handoff-selftest=
  std::string ipcAction;          // --ipc=
  std::string ipcOut;             // --ipc-out=
  std::string openAlbumId;        // --open-album= or --set-wallpaper=
  bool openAlbumAsWallpaper = false;
  bool wallpaperWorker = false;   // --set-wallpaper=
};

// Every argument is tested against every option; a later value wins.
// Option names match ignoring letter case.
TOptions ParseOptions(const std::vector<std::string>& args);

// A batch mode ("--ipc=" or "--handoff-selftest=" with a value): one job,
// then the program ends without a window.
bool IsBatchMode(const TOptions& options);

// Program entry's worker test: some argument begins with "--set-wallpaper="
// exactly (letter case counts, unlike ParseOptions).
bool IsWorkerInvocation(const std::vector<std::string>& args);
