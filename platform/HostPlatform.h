// Services the portable host core needs from the operating system. The Linux
// layer (platform/linux) implements them with GTK and WebKitGTK; the tests use
// fakes. Everything is called on the window's thread.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// One file type of a save dialog. `mask` lists patterns separated by ";",
// for example "*.jpg;*.jpeg".
struct TFileType {
  std::string name;
  std::string mask;
};

struct TSaveDialogRequest {
  std::string title;
  std::vector<TFileType> types;
  int defaultTypeIndex = 1;   // 1-based index into `types`
  std::string defaultExt;     // without the dot; appended when the typed name has none
  std::string fileName;       // suggested file name
};

struct TSaveDialogResult {
  bool ok = false;            // false: the user cancelled
  std::string path;           // full path as chosen
  int typeIndex = 1;          // 1-based index of the file type selected when OK
  // The path the dialog itself asked about replacing, when that differs from
  // `path` (a default extension added afterwards); empty: `path`.
  std::string confirmedPath;
};

struct TScreenSize {
  int width = 0;
  int height = 0;
};

// The generator's main window with its browser view.
class IHostWindow {
 public:
  virtual ~IHostWindow() = default;

  // Runs one line of script in the page, fire and forget, in call order.
  virtual void RunScript(const std::string& script) = 0;
  // Locks the browser down: developer tools, context menu and accelerator keys off.
  virtual void LockDownBrowser() = 0;
  virtual void Navigate(const std::string& uri) = 0;

  virtual void SetTitle(const std::string& utf8Title) = 0;
  // Closes the window without asking the core again for leave.
  virtual void Close() = 0;
  virtual void BringToFront() = 0;
  // Worker mode: the window exists and runs its browser but is never visible
  // and gets no taskbar entry.
  virtual void ShowOffscreenAsWorker() = 0;

  // Modal dialogs owned by the window.
  virtual std::optional<std::string> PickFolder(const std::string& title) = 0;
  virtual TSaveDialogResult ShowSaveDialog(const TSaveDialogRequest& request) = 0;
  virtual void ShowError(const std::string& text) = 0;
  // A question answered with Yes (true) or No.
  virtual bool AskYesNo(const std::string& text) = 0;

  // Repeating timer on the window's thread; returns an id for StopTimer.
  // StopTimer may be called from inside the timer's own callback.
  virtual int StartTimer(int intervalMs, std::function<void()> onTick) = 0;
  virtual void StopTimer(int id) = 0;
  // Long work (decoding a large picture) off the window's thread: `work` runs
  // on a worker thread, then `done` on the window's thread. `work` must only
  // touch what it owns or what outlives the window.
  virtual void RunInBackground(std::function<void()> work, std::function<void()> done) = 0;
};

// Known folders, resolved to XDG base directories on Linux.
enum class TKnownFolder {
  kfRoamingAppData,   // XDG_CONFIG_HOME (~/.config)
  kfLocalAppData,     // XDG_DATA_HOME (~/.local/share)
  kfPictures,         // XDG pictures folder
  kfTemp,             // temporary folder
};

// Facts about the system that are not tied to the window.
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
  // Turns a recorded video into the file to write (Linux: repairs and remuxes
  // the recorder's fragmented MP4). Never throws; returns the input unchanged
  // when it cannot improve it. Called for "mp4" saves once the transfer is
  // complete and decoded.
  virtual std::vector<std::uint8_t> FinishRecordedVideo(const std::string& format,
                                                        std::vector<std::uint8_t> bytes) {
    (void)format;
    return bytes;
  }
};

// A decoded picture: 8-bit RGB, rows top to bottom, no padding.
struct TRgbImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;
};

struct TImageSize {
  int width = 0;
  int height = 0;
};

// Picture decoding and JPEG encoding (libheif + libturbojpeg on Linux).
// Every failure is thrown as std::runtime_error carrying the codec's message.
class IImageCodec {
 public:
  virtual ~IImageCodec() = default;
  // Reads the picture's pixel size without decoding the pixels.
  virtual TImageSize ReadSize(const std::vector<std::uint8_t>& encoded) = 0;
  virtual TRgbImage Decode(const std::vector<std::uint8_t>& encoded) = 0;
  virtual std::vector<std::uint8_t> EncodeJpeg(const TRgbImage& image, int quality) = 0;
};
