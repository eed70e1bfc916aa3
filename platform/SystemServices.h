// Facts about the system that are not tied to a window.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Known folders, resolved to XDG base directories on Linux.
enum class TKnownFolder {
  kfRoamingAppData,   // XDG_CONFIG_HOME (~/.config)
  kfLocalAppData,     // XDG_DATA_HOME (~/.local/share)
  kfPictures,         // XDG pictures folder
  kfTemp,             // temporary folder
};

struct TScreenSize {
  int width = 0;
  int height = 0;
};

// The part of the primary screen that the desktop leaves to windows (without
// its panels and docks): rows from the screen's top edge, in device pixels.
struct TWorkRows {
  int top = 0;
  int bottom = 0;
};

class ISystemServices {
 public:
  virtual ~ISystemServices() = default;
  virtual std::string KnownFolder(TKnownFolder folder) = 0;
  // Folder holding the program file.
  virtual std::string ProgramDir() = 0;
  // True when the user's interface language is Japanese.
  virtual bool UiLanguageIsJapanese() = 0;
  // Installed font family names in the system's order (unfiltered).
  virtual std::vector<std::string> FontFamilies() = 0;
  virtual TScreenSize PrimaryScreenSize() = 0;
  // Starts the generator, without options, when the user signs in (or no
  // longer). False when this form of the program cannot register it.
  virtual bool SetStartAtSignIn(bool enable) = 0;
  // Empty when the desktop does not say.
  virtual std::optional<TWorkRows> PrimaryWorkRows() { return std::nullopt; }
  // Turns a recorded video into the file to write (Linux: repairs and remuxes
  // the recorder's fragmented MP4). Never throws; returns the input unchanged
  // when it cannot improve it. Called off the window's thread, for "mp4"
  // saves, once the transfer is complete and decoded; may take long.
  virtual std::vector<std::uint8_t> FinishRecordedVideo(const std::string& format,
                                                        std::vector<std::uint8_t> bytes) {
    (void)format;
    return bytes;
  }
};
