#include "shared/WallpaperIpc.h"

#include <utility>

#include "shared/TextUtil.h"

namespace {

// Bus method names of the live wallpaper program's messages, by message number.
struct TLiveMethod {
  std::uint32_t message;
  const char* method;
  TIpcKind kind;
};
constexpr TLiveMethod kLiveMethods[] = {
    {kMsgStateQuery, "State", ikStateQuery},
    {kMsgStop, "Stop", ikStop},
    {kMsgQuit, "Quit", ikQuit},
    {kMsgStart, "Start", ikStart},
};

const char* const kShowMainMethod = "ShowMain";
const char* const kOpenCreationMethod = "OpenCreation";

}  // namespace

TWallpaperStateCode ToWallpaperState(std::int32_t code) {
  return code >= scStopped && code <= scStarting ? static_cast<TWallpaperStateCode>(code) : scStopped;
}

const char* WallpaperStateName(TWallpaperStateCode code) {
  switch (code) {
    case scRunning:
      return "running";
    case scPaused:
      return "paused";
    case scStarting:
      return "starting";
    case scStopped:
      break;
  }
  return "stopped";
}

const TIpcService& LiveIpcService() {
  static const TIpcService service = [] {
    TIpcService s{"org.tessary.Live", "/org/tessary/Live", "org.tessary.Live", {}};
    for (const TLiveMethod& m : kLiveMethods) s.methods.push_back({m.method, false});
    return s;
  }();
  return service;
}

const TIpcService& MainIpcService() {
  static const TIpcService service{"org.tessary.Maker", "/org/tessary/Maker", "org.tessary.Maker",
                                   {{kShowMainMethod, false}, {kOpenCreationMethod, true}}};
  return service;
}

std::string IpcMethodFor(std::uint32_t message) {
  if (message == kMsgShowMain) return kShowMainMethod;
  for (const TLiveMethod& m : kLiveMethods)
    if (m.message == message) return m.method;
  return {};
}

TWallpaperIpcServer::TWallpaperIpcServer(IIpcTransport& transport, TIpcHandler handler)
    : FHandler(std::move(handler)) {
  FOwnership = transport.OwnName(LiveIpcService(), [this](const std::string& method, const std::string&) {
    for (const TLiveMethod& m : kLiveMethods)
      if (method == m.method) return FHandler ? FHandler(m.kind) : std::int32_t{0};
    return std::int32_t{0};
  });
}

bool RequestShowMain(IIpcTransport& transport) {
  return transport.Call(MainIpcService(), kShowMainMethod, std::nullopt, kIpcTimeoutMs).has_value();
}

bool RequestOpenAlbum(IIpcTransport& transport, const std::string& id) {
  if (id.empty()) return false;
  return transport.Call(MainIpcService(), kOpenCreationMethod, id, kOpenCreationTimeoutMs).has_value();
}

TMainIpcServer::TMainIpcServer(IIpcTransport& transport, TShowProc onShow, TOpenAlbumProc onOpenAlbum)
    : FOnShow(std::move(onShow)), FOnOpenAlbum(std::move(onOpenAlbum)) {
  FOwnership = transport.OwnName(MainIpcService(), [this](const std::string& method, const std::string& text) {
    if (method == kShowMainMethod && FOnShow) {
      FOnShow();
      return std::int32_t{1};
    }
    if (method == kOpenCreationMethod && FOnOpenAlbum) {
      FOnOpenAlbum(text);
      return std::int32_t{1};
    }
    return std::int32_t{0};
  });
}

bool FindWallpaperIpc(IIpcTransport& transport) { return transport.NameHasOwner(LiveIpcService().busName); }

TWallpaperStateCode QueryWallpaperState(IIpcTransport& transport) {
  const std::optional<std::int32_t> answer =
      transport.Call(LiveIpcService(), IpcMethodFor(kMsgStateQuery), std::nullopt, kIpcTimeoutMs);
  return answer ? ToWallpaperState(*answer) : scStopped;
}

bool SendWallpaperCommand(IIpcTransport& transport, std::uint32_t message) {
  const std::string method = IpcMethodFor(message);
  if (method.empty() || message == kMsgShowMain) return false;
  return transport.Call(LiveIpcService(), method, std::nullopt, kIpcTimeoutMs).has_value();
}

bool LaunchWallpaperProgram(IIpcTransport& transport) { return transport.StartSiblingProgram(kLiveProgramFile, {}); }

bool EnsureWallpaperStarted(IIpcTransport& transport) {
  if (!FindWallpaperIpc(transport)) {
    if (!LaunchWallpaperProgram(transport)) return false;
    bool appeared = false;
    for (int i = 0; i < kLaunchPollCount && !appeared; ++i) {
      transport.Sleep(kLaunchPollMs);
      appeared = FindWallpaperIpc(transport);
    }
    if (!appeared) return false;
  }
  return SendWallpaperCommand(transport, kMsgStart);
}

TIpcBatchResult RunIpcBatchAction(IIpcTransport& transport, const std::string& action) {
  TIpcBatchResult result;
  result.found = FindWallpaperIpc(transport);
  if (EqualsNoCase(action, "stop")) {
    result.sent = SendWallpaperCommand(transport, kMsgStop);
  } else if (EqualsNoCase(action, "start")) {
    result.sent = SendWallpaperCommand(transport, kMsgStart);
  } else if (EqualsNoCase(action, "quit")) {
    result.sent = SendWallpaperCommand(transport, kMsgQuit);
  } else if (EqualsNoCase(action, "launch")) {
    result.sent = LaunchWallpaperProgram(transport);
  } else {
    result.sent = true;
  }
  result.state = QueryWallpaperState(transport);
  return result;
}

TJson IpcBatchResultJson(const TIpcBatchResult& result) {
  TJson json = TJson::object();
  json["found"] = result.found;
  json["sent"] = result.sent;
  json["state"] = static_cast<int>(result.state);
  return json;
}
