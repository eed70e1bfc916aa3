// The programs' calls to each other over the D-Bus session bus (GIO only, no
// GTK). Each transport has a connection of its own, so the names it owns are
// given up exactly when it goes, whatever else in the process uses the bus.
#pragma once

#include <gio/gio.h>

#include <functional>
#include <mutex>
#include <string>

#include "platform/IpcTransport.h"

class TGDBusTransport final : public IIpcTransport {
 public:
  // `context`: the main context that answers calls to owned names and
  // reports a closed connection; nullptr is the default one, which GTK's
  // loop and g_main_loop_run run. Owning names must happen on the thread
  // that runs it. `programDir`: where sibling programs are looked for
  // (empty: the folder of our own program).
  explicit TGDBusTransport(GMainContext* context = nullptr, std::string programDir = {});
  ~TGDBusTransport() override;
  TGDBusTransport(const TGDBusTransport&) = delete;
  TGDBusTransport& operator=(const TGDBusTransport&) = delete;

  // Called on the context when the bus goes away: the session is over.
  // Connects at once; throws std::runtime_error when the bus cannot be reached.
  void SetOnClosed(std::function<void()> onClosed);

  std::unique_ptr<IIpcNameOwnership> OwnName(const TIpcService& service, TIpcMethodHandler handler) override;
  bool NameHasOwner(const std::string& busName) override;
  std::optional<std::int32_t> Call(const TIpcService& service, const std::string& method,
                                   const std::optional<std::string>& text, int timeoutMs) override;
  bool StartSiblingProgram(const std::string& programFile, const std::vector<std::string>& args) override;
  void Sleep(int milliseconds) override;

 private:
  // Connects on first use. Throws std::runtime_error with the bus's message.
  GDBusConnection* Connection();
  static void OnClosed(GDBusConnection* connection, gboolean remotePeerVanished, GError* error, gpointer self);

  GMainContext* FContext;
  std::string FProgramDir;
  std::mutex FConnecting;  // calls may come from worker threads too
  GDBusConnection* FConnection = nullptr;
  std::function<void()> FOnClosed;
};
