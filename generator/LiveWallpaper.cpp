#include "generator/LiveWallpaper.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <span>
#include <utility>

#include "generator/HostTexts.h"
#include "shared/Base64.h"
#include "shared/CommandFields.h"
#include "shared/Diagnostics.h"
#include "shared/KiroHandoff.h"
#include "shared/LiveHandoff.h"
#include "shared/LocalTime.h"

namespace {

// One lane: a state question never overtakes the hand-over or the stop
// before it, and the store has one writer at a time.
const char* const kLane = "liveWallpaper";
const char* const kTestLogName = "tessary_wallpaper.log";

// Members the hand-over sets itself, taken out of the page's data first.
const char* const kHostMembers[] = {"w", "h", "srcW", "srcH", "workTopFrac", "workBottomFrac", "uiJapanese"};

void LogFailure(const std::string& text) { LogDiagnostic("live", text); }

// Writes the held photos and the play data as a new generation and makes it
// the active one; on any failure the previous hand-over stays active.
bool WriteHandover(const std::map<int, std::shared_ptr<const std::vector<std::uint8_t>>>& photos,
                   const std::string& data) {
  const auto began = std::chrono::steady_clock::now();
  if (!BeginHandoff()) return false;
  int written = 0;
  int failed = 0;
  std::uint64_t bytesWritten = 0;
  for (const auto& [index, bytes] : photos) {
    if (WriteHandoffPhoto(index, *bytes)) {
      ++written;
      bytesWritten += bytes->size();
    } else {
      ++failed;
    }
  }
  // A failed photo makes the commit discard the generation.
  const bool committed = CommitHandoff(failed == 0 ? data : std::string());
  char line[96];
  std::snprintf(line, sizeof line, "wrote %d, failed %d, commit %s", written, failed, committed ? "True" : "False");
  LogDiagnostic("handoff", line);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - began);
  LogDiagnostic("handoff", "stored " + std::to_string(bytesWritten) + " bytes of photos and " +
                               std::to_string(data.size()) + " of play data in " + std::to_string(ms.count()) + " ms");
  return committed;
}

// The wallpaper test's log line: on the diagnostic output and appended to a
// file in the temporary folder, where a tester finds it without a debugger.
void TestLog(const std::string& tempFolder, const std::string& text) {
  LogDiagnostic("Test", text);
  try {
    std::ofstream file(std::filesystem::path(tempFolder) / kTestLogName, std::ios::app | std::ios::binary);
    file << LocalClockTime() << " [Test] " << text << '\n';
  } catch (const std::exception&) {
    // The log is a convenience; the test goes on without it.
  }
}

}  // namespace

TLiveScreen ReadLiveScreen(ISystemServices& system) {
  TLiveScreen screen;
  const TScreenSize size = system.PrimaryScreenSize();
  screen.width = size.width;
  screen.height = size.height;
  const std::optional<TWorkRows> rows = system.PrimaryWorkRows();
  if (rows && screen.height > 0 && rows->top < rows->bottom) {
    screen.workTopFrac = static_cast<double>(rows->top) / screen.height;
    screen.workBottomFrac = static_cast<double>(rows->bottom) / screen.height;
  }
  return screen;
}

TJson HandoverData(const TJson& pageData, const TLiveScreen& screen, bool japanese) {
  TJson data = pageData;
  const TJson pageW = pageData.contains("w") ? pageData["w"] : TJson(screen.width);
  const TJson pageH = pageData.contains("h") ? pageData["h"] : TJson(screen.height);
  for (const char* member : kHostMembers) data.erase(member);
  data["w"] = screen.width;
  data["h"] = screen.height;
  data["srcW"] = pageW;
  data["srcH"] = pageH;
  data["workTopFrac"] = screen.workTopFrac;
  data["workBottomFrac"] = screen.workBottomFrac;
  data["uiJapanese"] = japanese;
  return data;
}

std::string DemoWallpaperData(const TLiveScreen& screen) {
  TJson data = TJson::object();
  data["w"] = screen.width;
  data["h"] = screen.height;
  data["motion"] = "album";
  data["speed"] = 1;
  data["drawList"] = TJson::array();
  data["background"] = "paper";
  data["frame"] = "cheki";
  data["filter"] = "";
  data["title"] = "Tessary";
  data["titleCfg"] = {{"font", "gothic"}};
  data["spotlightIndex"] = -1;
  data["albumCfg"] = {{"cover", "cloth"}, {"mat", "black"}};
  data["holdSec"] = 5;
  return WriteJson(data);
}

TLiveWallpaper::TLiveWallpaper(const TUnitContext& context, IIpcTransport& ipc, THooks hooks)
    : FContext(context), FIpc(ipc), FHooks(std::move(hooks)) {}

void TLiveWallpaper::Register(TCommandTable& table) {
  // None of them answers with an event of its own: a hand-over's outcome is
  // the state report that follows it (or liveWallpaperError), a package's is
  // kiroExported.
  table.Add("beginLiveWallpaper", [this](const TCommand& c) { Begin(c); });
  table.Add("cancelLiveWallpaper", [this](const TCommand& c) { Cancel(c); });
  table.Add("livePhoto", [this](const TCommand& c) { Photo(c); });
  table.Add("startLiveWallpaper", [this](const TCommand& c) { Start(c); });
  table.Add("commitLiveHandoff", [this](const TCommand& c) { CommitPackage(c); },
            TErrorEvent{"kiroExported", "", "error", {{"format", "kiro"}}});
  table.Add("stopLiveWallpaper", [this](const TCommand&) { Stop(); });
}

bool TLiveWallpaper::IsOpenSession(const TJson& message) const {
  return FieldInt(message, "epoch", -1) == FLiveEpoch && FieldInt(message, "session", -1) == FLiveSession;
}

void TLiveWallpaper::Begin(const TCommand& c) {
  const std::int64_t session = FieldInt(c.message, "session", 0);
  if (FieldInt(c.message, "epoch", -1) != FLiveEpoch || session <= FLiveSession || session > INT32_MAX) return;
  ClearBuffers();
  FLiveSession = static_cast<int>(session);
  FLiveActive = true;
}

void TLiveWallpaper::Cancel(const TCommand& c) {
  if (!IsOpenSession(c.message)) return;
  ClearBuffers();
  FLiveActive = false;
}

void TLiveWallpaper::Photo(const TCommand& c) {
  if (!FLiveActive || !IsOpenSession(c.message)) return;
  const std::int64_t index = FieldInt(c.message, "index", -1);
  const std::int64_t total = FieldInt(c.message, "totalChunks", 1);
  const std::int64_t chunk = FieldInt(c.message, "chunkIndex", 0);
  const std::string data = FieldText(c.message, "data");
  if (index < 0 || index > kHandoffMaxPhotoIndex) return;
  const int photo = static_cast<int>(index);
  if (total < 1 || total > kLiveMaxChunks || data.size() > kLiveMaxChunkChars) {
    DropAccumulator(photo);
    return;
  }
  auto acc = FLiveAccum.find(photo);
  if (acc == FLiveAccum.end()) {
    // Chunks after a refused one start nothing.
    if (chunk != 0) return;
    acc = FLiveAccum.emplace(photo, TChunkAcc{{}, static_cast<int>(total), 0, 0}).first;
  }
  const std::uint64_t cost = 2 * static_cast<std::uint64_t>(data.size());
  if (chunk != acc->second.nextChunk || total != acc->second.expected ||
      FLivePendingBytes + cost > kLiveMaxPendingBytes) {
    DropAccumulator(photo);
    return;
  }
  if (acc->second.buffer.empty()) acc->second.buffer.reserve(data.size() * static_cast<std::size_t>(total));
  acc->second.buffer += data;
  acc->second.accumLen += cost;
  FLivePendingBytes += cost;
  if (++acc->second.nextChunk < acc->second.expected) return;

  std::vector<std::uint8_t> bytes;
  try {
    bytes = Base64Decode(acc->second.buffer);
  } catch (const std::exception&) {
    DropAccumulator(photo);
    return;
  }
  DropAccumulator(photo);
  StorePhoto(photo, std::move(bytes));
}

void TLiveWallpaper::StorePhoto(int index, std::vector<std::uint8_t> bytes) {
  // A photo the store would refuse is not held: the commit writes the rest.
  if (bytes.empty() || bytes.size() > kHandoffMaxPhotoBytes) return;
  const auto held = FLivePhotos.find(index);
  if (held != FLivePhotos.end()) FLiveStoredBytes -= held->second->size();
  if (FLiveStoredBytes + bytes.size() > kHandoffMaxTotalBytes) {
    if (held != FLivePhotos.end()) FLivePhotos.erase(held);
    return;
  }
  FLiveStoredBytes += bytes.size();
  FLivePhotos[index] = std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes));
}

void TLiveWallpaper::DropAccumulator(int index) {
  const auto acc = FLiveAccum.find(index);
  if (acc == FLiveAccum.end()) return;
  FLivePendingBytes -= acc->second.accumLen;
  FLiveAccum.erase(acc);
}

void TLiveWallpaper::ClearBuffers() {
  FLiveAccum.clear();
  FLivePhotos.clear();
  FLiveStoredBytes = 0;
  FLivePendingBytes = 0;
}

void TLiveWallpaper::Start(const TCommand& c) {
  const TJson* pageData = FieldObject(c.message, "data");
  if (!pageData || !FLiveActive || !IsOpenSession(c.message)) return;
  FLiveActive = false;  // a session takes one commit
  const std::string data = WriteJson(HandoverData(*pageData, ReadLiveScreen(FContext.system), FContext.Japanese()));
  // The lane shares the photos, which stay held for the live photo origin.
  AskProgram([photos = FLivePhotos, data](IIpcTransport& ipc) {
    TProgramAnswer answer;
    answer.handOver = true;
    answer.committed = WriteHandover(photos, data);
    // Whether the start request arrived shows in the state asked next.
    if (answer.committed) EnsureWallpaperStarted(ipc);
    answer.state = QueryWallpaperState(ipc);
    return answer;
  });
}

void TLiveWallpaper::CommitPackage(const TCommand& c) {
  const TJson* pageData = FieldObject(c.message, "data");
  if (!pageData || !FLiveActive || !IsOpenSession(c.message)) return;
  FLiveActive = false;  // a session takes one commit
  // The chosen target is used up either way, so a later package asks again.
  const std::string path = FHooks.takeKiroPath ? FHooks.takeKiroPath() : std::string();
  if (path.empty()) return;  // nobody chose a package, so nobody waits for one
  const std::string data = WriteJson(HandoverData(*pageData, ReadLiveScreen(FContext.system), FContext.Japanese()));
  // Packed from what the page sent, not through the hand-over store: a live
  // wallpaper that plays meanwhile keeps its own hand-over. The photos stay
  // held for the live photo origin; the job shares them.
  FContext.work.Run("save:" + path, c.fail,
                    [emit = FContext.emit, path, data, photos = FLivePhotos]() -> TRequestWork::TCompletion {
                      std::map<int, std::span<const std::uint8_t>> views;
                      for (const auto& [index, bytes] : photos) views.emplace(index, *bytes);
                      const TKiroResult result = PackLiveHandoff(path, data, views);
                      return [emit, path, result] {
                        TJson answer = TJson::object();
                        answer["format"] = "kiro";
                        if (result.ok) {
                          answer["path"] = path;
                        } else {
                          answer["error"] = result.error;
                        }
                        emit("kiroExported", answer);
                      };
                    });
}

void TLiveWallpaper::Stop() {
  AskProgram([](IIpcTransport& ipc) {
    SendWallpaperCommand(ipc, kMsgStop);
    return TProgramAnswer{QueryWallpaperState(ipc)};
  });
}

void TLiveWallpaper::QuitWallpaper() { SendWallpaperCommand(FIpc, kMsgQuit); }

void TLiveWallpaper::PageLoaded() {
  ++FLiveEpoch;
  FLiveSession = 0;
  FLiveActive = false;
  const TScreenSize screen = FContext.system.PrimaryScreenSize();
  TJson display = TJson::object();
  display["w"] = screen.width;
  display["h"] = screen.height;
  display["liveEpoch"] = FLiveEpoch;
  FContext.Emit("displayInfo", display);
  AskProgram([](IIpcTransport& ipc) { return TProgramAnswer{QueryWallpaperState(ipc), true}; });
}

void TLiveWallpaper::PollState() {
  if (FContext.work.Pending(kLane) > 0) return;
  AskProgram([](IIpcTransport& ipc) { return TProgramAnswer{QueryWallpaperState(ipc)}; });
}

void TLiveWallpaper::RunWallpaperTest() {
  const std::string temp = FContext.system.KnownFolder(TKnownFolder::kfTemp);
  TestLog(temp, "starting demo wallpaper");
  AskProgram([temp, data = DemoWallpaperData(ReadLiveScreen(FContext.system))](IIpcTransport& ipc) {
    const bool committed = BeginHandoff() && CommitHandoff(data);
    TestLog(temp, std::string("demo hand-over ") + (committed ? "stored" : "not stored"));
    const bool started = EnsureWallpaperStarted(ipc);
    TestLog(temp, std::string("start request ") + (started ? "delivered" : "not delivered"));
    return TProgramAnswer{QueryWallpaperState(ipc)};
  });
}

void TLiveWallpaper::AskProgram(TProgramJob job) {
  IIpcTransport* const ipc = &FIpc;
  const int epoch = FLiveEpoch;
  const int session = FLiveSession;
  FContext.work.Run(kLane, LogFailure, [this, ipc, job = std::move(job), epoch, session]() -> TRequestWork::TCompletion {
    const TProgramAnswer answer = job(*ipc);
    return [this, answer, epoch, session] { Answer(answer, epoch, session); };
  });
}

void TLiveWallpaper::Answer(const TProgramAnswer& answer, int epoch, int session) {
  if (answer.handOver) {
    if (!answer.committed) {
      EmitHandOverFailure(epoch, session, HostText(THostText::htLiveHandoffFailed, FContext.Japanese()));
      ReportState(answer.state, false, epoch, session);
      return;
    }
    if (answer.state == scStopped) {
      // No state change would ever tell the page; it hears why instead.
      EmitHandOverFailure(epoch, session, HostText(THostText::htLiveNotStarted, FContext.Japanese()));
      ReportState(answer.state, false, epoch, session);
    } else {
      // Reported even when unchanged: the page waits for this report.
      ReportState(answer.state, true, epoch, session);
    }
    if (FHooks.onHandedOver) FHooks.onHandedOver();
    return;
  }
  // A new page learns of a wallpaper that runs already, not only of changes.
  ReportState(answer.state, answer.pageLoad && answer.state != scStopped, epoch, session);
  // Nothing plays the held photos any more, unless a session has begun meanwhile.
  if (answer.pageLoad && answer.state == scStopped && !FLiveActive && epoch == FLiveEpoch) ClearBuffers();
}

void TLiveWallpaper::ReportState(TWallpaperStateCode code, bool force, int epoch, int session) {
  if (code == FLastWallpaperCode && !force) return;
  FLastWallpaperCode = code;
  TJson payload = TJson::object();
  payload["state"] = WallpaperStateName(code);
  payload["pauseReasons"] = TJson::array();
  FContext.Emit("wallpaperState", payload);
  // A session opened after the question was asked is not the one that stopped.
  if (code == scStopped && epoch == FLiveEpoch && session == FLiveSession) {
    FLiveActive = false;
    ClearBuffers();
  }
}

void TLiveWallpaper::EmitHandOverFailure(int epoch, int session, const std::string& text) {
  TJson payload = TJson::object();
  payload["epoch"] = epoch;
  payload["session"] = session;
  payload["message"] = text;
  FContext.Emit("liveWallpaperError", payload);
}

const std::vector<std::uint8_t>* TLiveWallpaper::HeldPhoto(int index) const {
  const auto held = FLivePhotos.find(index);
  return held == FLivePhotos.end() ? nullptr : held->second.get();
}
