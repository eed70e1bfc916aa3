// The generator's side of the live wallpaper. The page hands a pile over in
// sessions: it opens one (beginLiveWallpaper), sends every photo in chunks
// (livePhoto) and ends with the play data (startLiveWallpaper, or
// commitLiveHandoff for a package). Two counters make everything of an older
// attempt stale: the page epoch, raised here at every page load, and the
// session, raised by the page at every attempt. The photos of the open session
// are held in memory, then written with the play data into a new generation
// of the live hand-over store; the live wallpaper program is started or told
// to start, and its state is reported to the page whenever it changes. A
// package commit packs the photos and the play data into the file chosen in
// the save dialog instead, and leaves the store to the wallpaper that plays.
//
// Everything that waits for the other program or the disk (the hand-over
// write with its flushes, starting the program, the state query with its
// 500 ms time-out) runs off the window's thread in one lane, so the window
// never waits for it and the steps keep their order; a package is written
// off the window's thread in the lane of its file.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/IpcTransport.h"
#include "shared/CommandTable.h"
#include "shared/UnitContext.h"
#include "shared/WallpaperIpc.h"

inline constexpr int kLiveMaxChunks = 16;
inline constexpr std::size_t kLiveMaxChunkChars = 1052672;
inline constexpr std::uint64_t kLiveMaxPendingBytes = 67108864;  // text in transfer, 2 bytes per character

// The screen the live wallpaper fills, as the hand-over records it.
struct TLiveScreen {
  int width = 0;   // device pixels
  int height = 0;
  double workTopFrac = 0;     // the desktop's work area, as fractions of the height
  double workBottomFrac = 1;
};

// The screen and work area from the system, with the fallbacks of a desktop
// that does not tell its work area.
TLiveScreen ReadLiveScreen(ISystemServices& system);

// The page's play data as the hand-over stores it: the page's own members,
// then the screen's size, the creation's size, the work area and the
// language of the interface.
TJson HandoverData(const TJson& pageData, const TLiveScreen& screen, bool japanese);

// The play data of "--wallpaper-test": an empty album, shown for 5 s.
std::string DemoWallpaperData(const TLiveScreen& screen);

class TLiveWallpaper {
 public:
  struct THooks {
    // The package target chosen in the save dialog, taken (and so cleared).
    std::function<std::string()> takeKiroPath;
    // A hand-over was stored and the live wallpaper told to play it.
    std::function<void()> onHandedOver;
  };

  // `ipc` must outlive the main loop: the lane's work uses it off the
  // window's thread.
  TLiveWallpaper(const TUnitContext& context, IIpcTransport& ipc, THooks hooks);
  TLiveWallpaper(const TLiveWallpaper&) = delete;
  TLiveWallpaper& operator=(const TLiveWallpaper&) = delete;

  // beginLiveWallpaper, livePhoto, startLiveWallpaper, commitLiveHandoff,
  // cancelLiveWallpaper, stopLiveWallpaper.
  void Register(TCommandTable& table);

  // The page has loaded: a new epoch (transfers of the earlier page are
  // refused), displayInfo, and the state asked at once.
  void PageLoaded();
  // Asks the live wallpaper program for its state unless a question or a
  // hand-over is on its way already; a change is reported to the page.
  void PollState();
  // closeApp with quitWallpaper: the program is asked to quit before the
  // window closes (waits at most the message's time-out).
  void QuitWallpaper();
  // "--wallpaper-test": hands over an empty demonstration and starts it.
  void RunWallpaperTest();
  // Drops every photo held and in transfer.
  void ClearBuffers();

  // The photo held under `index` for the live photo origin, or nullptr.
  const std::vector<std::uint8_t>* HeldPhoto(int index) const;
  int Epoch() const { return FLiveEpoch; }
  bool SessionOpen() const { return FLiveActive; }
  std::uint64_t StoredBytes() const { return FLiveStoredBytes; }
  std::uint64_t PendingBytes() const { return FLivePendingBytes; }
  std::size_t HeldPhotoCount() const { return FLivePhotos.size(); }

 private:
  struct TChunkAcc {
    std::string buffer;
    int expected = 0;
    int nextChunk = 0;
    std::uint64_t accumLen = 0;  // 2 per character
  };
  using TPhotoBytes = std::shared_ptr<const std::vector<std::uint8_t>>;
  using TPhotoMap = std::map<int, TPhotoBytes>;
  // What the lane's work found out, handed back to the window's thread.
  struct TProgramAnswer {
    TWallpaperStateCode state = scStopped;
    bool pageLoad = false;   // the first question for a page that has just loaded
    bool handOver = false;   // the answer ends a hand-over
    bool committed = false;  // the hand-over became the active one
  };
  using TProgramJob = std::function<TProgramAnswer(IIpcTransport& ipc)>;

  void Begin(const TCommand& c);
  void Cancel(const TCommand& c);
  void Photo(const TCommand& c);
  void Start(const TCommand& c);
  void CommitPackage(const TCommand& c);
  void Stop();

  // True when the message's epoch and session are the open session's.
  bool IsOpenSession(const TJson& message) const;
  void DropAccumulator(int index);
  void StorePhoto(int index, std::vector<std::uint8_t> bytes);
  // Runs `job` in the lane; its answer comes back to Answer().
  void AskProgram(TProgramJob job);
  void Answer(const TProgramAnswer& answer, int epoch, int session);
  // Reports `code` when it differs from the last one reported (or always,
  // with `force`); "stopped" closes the session and drops the photos.
  void ReportState(TWallpaperStateCode code, bool force, int epoch, int session);
  void EmitHandOverFailure(int epoch, int session, const std::string& text);

  const TUnitContext& FContext;
  IIpcTransport& FIpc;
  THooks FHooks;
  int FLiveEpoch = 0;
  int FLiveSession = 0;
  bool FLiveActive = false;
  std::map<int, TChunkAcc> FLiveAccum;
  TPhotoMap FLivePhotos;
  std::uint64_t FLiveStoredBytes = 0;
  std::uint64_t FLivePendingBytes = 0;
  TWallpaperStateCode FLastWallpaperCode = scStopped;
};
