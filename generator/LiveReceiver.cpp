#include "generator/LiveReceiver.h"

#include <stdexcept>

#include "shared/Base64.h"
#include "shared/CommandFields.h"
#include "shared/Diagnostics.h"
#include "shared/LiveHandoff.h"
#include "shared/WallpaperIpc.h"

namespace {

constexpr int kMaxChunks = 16;
constexpr std::size_t kMaxLiveChunkChars = 1052672;
constexpr std::uint64_t kMaxLivePendingBytes = 67108864;  // text in transfer, 2 per character
constexpr std::int64_t kMissing = -1;
constexpr const char* kNotWritten = "引き渡しを書き出せませんでした";

TJson KiroAnswer(const char* member, const std::string& value) {
  TJson payload = TJson::object();
  payload["format"] = "kiro";
  payload[member] = value;
  return payload;
}

}  // namespace

TKiroResult PackLiveHandoff(const std::string& path, const std::string& dataText,
                            const std::map<int, std::vector<std::uint8_t>>& photos) {
  std::vector<TKiroPhoto> list;
  for (const auto& [index, bytes] : photos) list.push_back({index, "", bytes});
  return WriteKiro(path, dataText, list);
}

TLiveReceiver::TLiveReceiver(const TUnitContext& context, IIpcTransport& ipc, THooks hooks)
    : FContext(context), FIpc(ipc), FHooks(std::move(hooks)) {}

void TLiveReceiver::Register(TCommandTable& table) {
  table.Add("beginLiveWallpaper", [this](const TCommand& c) { Begin(c); });
  table.Add("livePhoto", [this](const TCommand& c) { Photo(c); });
  table.Add("cancelLiveWallpaper", [this](const TCommand& c) { Cancel(c); });
  table.Add("startLiveWallpaper", [this](const TCommand& c) { Commit(c, true); });
  table.Add("commitLiveHandoff", [this](const TCommand& c) { Commit(c, false); },
            TErrorEvent{"kiroExported", "", "error", {{"format", "kiro"}}});
  table.Add("stopLiveWallpaper", [this](const TCommand&) {
    SendWallpaperCommand(FIpc, kMsgStop);
    PollState();
  });
}

bool TLiveReceiver::IsCurrent(const TJson& message) const {
  return FieldInt(message, "epoch", kMissing) == FHooks.epoch() && FieldInt(message, "session", kMissing) == FSession;
}

void TLiveReceiver::Begin(const TCommand& command) {
  const std::int64_t session = FieldInt(command.message, "session", 0);
  if (FieldInt(command.message, "epoch", kMissing) != FHooks.epoch() || session <= FSession) return;
  ClearBuffers();
  FSession = static_cast<int>(session);
  FActive = true;
}

void TLiveReceiver::Cancel(const TCommand& command) {
  if (!IsCurrent(command.message)) return;
  ClearBuffers();
  FActive = false;
}

void TLiveReceiver::DropAccumulator(int index) {
  const auto it = FAccum.find(index);
  if (it == FAccum.end()) return;
  FPendingBytes -= 2 * it->second.text.size();
  FAccum.erase(it);
}

void TLiveReceiver::ClearBuffers() {
  FAccum.clear();
  FPhotos.clear();
  FPendingBytes = 0;
  FStoredBytes = 0;
}

void TLiveReceiver::Photo(const TCommand& command) {
  const TJson& m = command.message;
  if (!FActive || !IsCurrent(m)) return;
  const std::int64_t index = FieldInt(m, "index", kMissing);
  const std::int64_t total = FieldInt(m, "totalChunks", 1);
  const std::int64_t chunk = FieldInt(m, "chunkIndex", 0);
  const std::string data = FieldText(m, "data");
  if (index < 0 || index > kHandoffMaxPhotoIndex) return;
  const int i = static_cast<int>(index);
  if (total < 1 || total > kMaxChunks || data.size() > kMaxLiveChunkChars) return DropAccumulator(i);
  auto it = FAccum.find(i);
  if (it == FAccum.end()) {
    if (chunk != 0) return;
    it = FAccum.emplace(i, TAccumulator{{}, static_cast<int>(total), 0}).first;
  }
  TAccumulator& acc = it->second;
  if (chunk != acc.next || total != acc.expected || FPendingBytes + 2 * data.size() > kMaxLivePendingBytes) {
    return DropAccumulator(i);
  }
  acc.text += data;
  FPendingBytes += 2 * data.size();
  if (++acc.next < acc.expected) return;

  std::vector<std::uint8_t> bytes;
  try {
    bytes = Base64Decode(acc.text);
  } catch (const std::exception&) {
    return DropAccumulator(i);
  }
  DropAccumulator(i);
  if (bytes.size() > kHandoffMaxPhotoBytes) return;
  if (const auto held = FPhotos.find(i); held != FPhotos.end()) FStoredBytes -= held->second.size();
  if (FStoredBytes + bytes.size() > kHandoffMaxTotalBytes) {
    FPhotos.erase(i);
    return;
  }
  FStoredBytes += bytes.size();
  FPhotos[i] = std::move(bytes);
}

TJson TLiveReceiver::HandoverData(TJson data) const {
  const TScreenSize screen = FContext.system.PrimaryScreenSize();
  const TJson srcW = data.contains("w") ? data["w"] : TJson(screen.width);
  const TJson srcH = data.contains("h") ? data["h"] : TJson(screen.height);
  for (const char* name : {"w", "h", "srcW", "srcH", "workTopFrac", "workBottomFrac", "uiJapanese"}) data.erase(name);
  data["w"] = screen.width;
  data["h"] = screen.height;
  data["srcW"] = srcW;
  data["srcH"] = srcH;
  data["workTopFrac"] = 0;
  data["workBottomFrac"] = 1;
  data["uiJapanese"] = FContext.Japanese();
  return data;
}

bool TLiveReceiver::WriteHandoff(const std::string& dataText) {
  if (!BeginHandoff()) return false;
  int written = 0;
  int failed = 0;
  for (const auto& [index, bytes] : FPhotos) (WriteHandoffPhoto(index, bytes) ? written : failed)++;
  const bool committed = CommitHandoff(failed == 0 ? dataText : std::string());
  LogDiagnostic("handoff", "wrote " + std::to_string(written) + ", failed " + std::to_string(failed) + ", commit " +
                               (committed ? "True" : "False"));
  return committed;
}

void TLiveReceiver::Commit(const TCommand& command, bool start) {
  const TJson* data = FieldObject(command.message, "data");
  if (!data || !FActive || !IsCurrent(command.message)) return;
  FActive = false;
  const std::string dataText = WriteJson(HandoverData(*data));
  if (start) {
    if (!WriteHandoff(dataText)) return;
    EnsureWallpaperStarted(FIpc);
    PollState();
    if (FHooks.started) FHooks.started();
    return;
  }
  // A package is packed from what the page sent: the store, which a running
  // wallpaper reads, is left alone.
  const std::string path = FHooks.takeKiroPath();
  if (path.empty()) return;
  if (FPhotos.empty()) throw std::runtime_error(kNotWritten);
  const TKiroResult result = PackLiveHandoff(path, dataText, FPhotos);
  FContext.Emit("kiroExported", result.ok ? KiroAnswer("path", path) : KiroAnswer("error", result.error));
}

void TLiveReceiver::OnPageLoad() {
  FSession = 0;
  FActive = false;
  if (QueryWallpaperState(FIpc) == scStopped) ClearBuffers();
  PollState();
}

void TLiveReceiver::PollState() {
  const int state = ToWallpaperState(QueryWallpaperState(FIpc));
  if (state == FLastState) return;
  FLastState = state;
  TJson payload = TJson::object();
  payload["state"] = WallpaperStateName(static_cast<TWallpaperStateCode>(state));
  payload["pauseReasons"] = TJson::array();
  FContext.Emit("wallpaperState", payload);
  if (state == scStopped) {
    FActive = false;
    ClearBuffers();
  }
}
