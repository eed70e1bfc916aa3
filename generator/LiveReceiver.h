// The page's live hand-over on the generator's side, in its smallest form:
// a session per attempt (page epoch and session), the photos it sends in
// chunks, and the commit that either writes the hand-over store and starts
// the live wallpaper program (startLiveWallpaper) or packs the hand-over
// into the chosen package file without touching the store the running
// wallpaper reads (commitLiveHandoff). Also the once-a-second state poll and
// the stop request.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/IpcTransport.h"
#include "shared/CommandTable.h"
#include "shared/KiroFile.h"
#include "shared/UnitContext.h"

// Packs one hand-over (play data and photos by index) into a package at
// `path`; what commitLiveHandoff writes.
TKiroResult PackLiveHandoff(const std::string& path, const std::string& dataText,
                            const std::map<int, std::vector<std::uint8_t>>& photos);

class TLiveReceiver {
 public:
  struct THooks {
    std::function<int()> epoch;                 // the page generation now
    std::function<std::string()> takeKiroPath;  // the chosen package path, taken (empty: none)
    std::function<void()> started;              // a committed start (the worker's job is done)
  };
  TLiveReceiver(const TUnitContext& context, IIpcTransport& ipc, THooks hooks);

  void Register(TCommandTable& table);
  // A new page: its sessions start again; photos are dropped once the live
  // wallpaper is stopped. Then reports the state.
  void OnPageLoad();
  // Reports the live wallpaper's state to the page when it changed.
  void PollState();

 private:
  struct TAccumulator {
    std::string text;
    int expected = 0;
    int next = 0;
  };
  void Begin(const TCommand& command);
  void Photo(const TCommand& command);
  void Cancel(const TCommand& command);
  void Commit(const TCommand& command, bool start);
  bool IsCurrent(const TJson& message) const;
  void DropAccumulator(int index);
  void ClearBuffers();
  TJson HandoverData(TJson data) const;
  bool WriteHandoff(const std::string& dataText);

  const TUnitContext& FContext;
  IIpcTransport& FIpc;
  THooks FHooks;
  int FSession = 0;
  bool FActive = false;
  std::map<int, TAccumulator> FAccum;
  std::map<int, std::vector<std::uint8_t>> FPhotos;
  std::uint64_t FPendingBytes = 0;
  std::uint64_t FStoredBytes = 0;
  int FLastState = 0;
};
