// The messages between the generator and the live wallpaper program: one
// definition of the wire format for both sides. The live wallpaper program
// serves "org.tessary.Live" (state query, stop, quit, start); the generator
// serves "org.tessary.Maker" (show main window, open a creation). Each
// program uses its own server and the other half's senders. The play data
// never travels here: it goes through the live hand-over store.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/IpcTransport.h"
#include "shared/JsonWriter.h"

// Message numbers, kept from the window-message protocol of the Windows
// programs so that both platforms name the same requests the same way.
inline constexpr std::uint32_t kWmApp = 0x8000;
inline constexpr std::uint32_t kMsgStateQuery = kWmApp + 0x47;
inline constexpr std::uint32_t kMsgStop = kWmApp + 0x48;
inline constexpr std::uint32_t kMsgQuit = kWmApp + 0x49;
inline constexpr std::uint32_t kMsgStart = kWmApp + 0x4A;
inline constexpr std::uint32_t kMsgShowMain = kWmApp + 0x51;

inline constexpr int kIpcTimeoutMs = 500;
inline constexpr int kOpenCreationTimeoutMs = 2000;
// After a launch: look for the live wallpaper program's name this often, this many times.
inline constexpr int kLaunchPollMs = 100;
inline constexpr int kLaunchPollCount = 50;

inline constexpr const char* kLiveProgramFile = "TessaryLive";

// The live wallpaper program's state as the state query answers it.
enum TWallpaperStateCode : std::int32_t {
  scStopped = 0,   // also: no controller yet
  scRunning = 1,
  scPaused = 2,
  scStarting = 3,  // starting, pausing, resuming or stopping
};
// Any answer outside 0..3 counts as stopped.
TWallpaperStateCode ToWallpaperState(std::int32_t code);
// "stopped", "running", "paused", "starting".
const char* WallpaperStateName(TWallpaperStateCode code);

const TIpcService& LiveIpcService();
const TIpcService& MainIpcService();
// The bus method that carries a message number; empty for an unknown one.
std::string IpcMethodFor(std::uint32_t message);

// ---- live wallpaper program side

enum TIpcKind : int { ikStateQuery = 0, ikStop = 1, ikQuit = 2, ikStart = 3 };
using TIpcHandler = std::function<std::int32_t(TIpcKind kind)>;

// Owns the live wallpaper program's name; when another instance owns it,
// nothing is served and Started() is false: that process is the one that
// runs, and this one should end at once and silently.
class TWallpaperIpcServer {
 public:
  // Throws std::runtime_error when the bus cannot be reached.
  TWallpaperIpcServer(IIpcTransport& transport, TIpcHandler handler);
  TWallpaperIpcServer(const TWallpaperIpcServer&) = delete;
  TWallpaperIpcServer& operator=(const TWallpaperIpcServer&) = delete;
  bool Started() const { return FOwnership != nullptr; }

 private:
  TIpcHandler FHandler;
  std::unique_ptr<IIpcNameOwnership> FOwnership;
};

// Asks the generator to show its window; true when delivered.
bool RequestShowMain(IIpcTransport& transport);
// Asks the generator to open a saved creation; false for an empty id or when
// not delivered.
bool RequestOpenAlbum(IIpcTransport& transport, const std::string& id);

// ---- generator side

using TShowProc = std::function<void()>;
using TOpenAlbumProc = std::function<void(const std::string& id)>;

// Owns the generator's name. A second generator (the hidden worker beside a
// normal instance) finds it taken and serves nothing; the requests then go
// to the normal instance, which is the one the user sees.
class TMainIpcServer {
 public:
  // Throws std::runtime_error when the bus cannot be reached.
  TMainIpcServer(IIpcTransport& transport, TShowProc onShow, TOpenAlbumProc onOpenAlbum);
  TMainIpcServer(const TMainIpcServer&) = delete;
  TMainIpcServer& operator=(const TMainIpcServer&) = delete;
  bool Started() const { return FOwnership != nullptr; }

 private:
  TShowProc FOnShow;
  TOpenAlbumProc FOnOpenAlbum;
  std::unique_ptr<IIpcNameOwnership> FOwnership;
};

// Whether the live wallpaper program is running (owns its name).
bool FindWallpaperIpc(IIpcTransport& transport);
// The state code; scStopped when unreachable or out of range.
TWallpaperStateCode QueryWallpaperState(IIpcTransport& transport);
// Sends kMsgStop, kMsgQuit or kMsgStart (or the state query); true when the
// message reached the program, whatever it answered.
bool SendWallpaperCommand(IIpcTransport& transport, std::uint32_t message);
// Starts the live wallpaper program from our own folder, without options.
bool LaunchWallpaperProgram(IIpcTransport& transport);
// Launches the program when it is not running, waits up to 5 s for its name,
// then sends the start request; true when that was delivered.
bool EnsureWallpaperStarted(IIpcTransport& transport);

// The generator's "--ipc=" batch mode.
struct TIpcBatchResult {
  bool found = false;   // the live wallpaper program ran before the action
  bool sent = false;    // the action's outcome (an unknown action counts as sent)
  TWallpaperStateCode state = scStopped;  // queried afterwards
};
// Actions, ignoring case: "stop", "start", "quit", "launch"; any other word
// sends nothing.
TIpcBatchResult RunIpcBatchAction(IIpcTransport& transport, const std::string& action);
// {"found":..,"sent":..,"state":..}
TJson IpcBatchResultJson(const TIpcBatchResult& result);
