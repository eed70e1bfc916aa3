#include "platform/linux/GDBusTransport.h"

#include <unistd.h>

#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include "platform/linux/ProgramDir.h"
#include "shared/Diagnostics.h"

namespace {

constexpr guint32 kDoNotQueue = 4;      // DBUS_NAME_FLAG_DO_NOT_QUEUE
constexpr guint32 kPrimaryOwner = 1;    // DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER
constexpr int kBusTimeoutMs = 2000;     // the bus itself answers at once

struct TErrorFree {
  void operator()(GError* error) const { g_error_free(error); }
};
using TError = std::unique_ptr<GError, TErrorFree>;

struct TVariantUnref {
  void operator()(GVariant* value) const { g_variant_unref(value); }
};
using TVariant = std::unique_ptr<GVariant, TVariantUnref>;

[[noreturn]] void ThrowBusError(const std::string& what, GError* error) {
  TError owned(error);
  throw std::runtime_error(what + ": " + (error ? error->message : "unknown error"));
}

GVariant* CallBus(GDBusConnection* connection, const char* method, GVariant* parameters, const char* replyType,
                  GError** error) {
  return g_dbus_connection_call_sync(connection, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                     "org.freedesktop.DBus", method, parameters, G_VARIANT_TYPE(replyType),
                                     G_DBUS_CALL_FLAGS_NONE, kBusTimeoutMs, nullptr, error);
}

// The introspection data the bus tools show for a service.
std::string IntrospectionXml(const TIpcService& service) {
  std::string xml = "<node><interface name='" + service.interfaceName + "'>";
  for (const TIpcMethod& method : service.methods) {
    xml += "<method name='" + method.name + "'>";
    if (method.takesText) xml += "<arg name='text' type='s' direction='in'/>";
    xml += "<arg name='result' type='i' direction='out'/></method>";
  }
  return xml + "</interface></node>";
}

// One owned name with its object. Calls arrive on the context that was the
// thread's default when the object was registered.
class TOwnedName final : public IIpcNameOwnership {
 public:
  TOwnedName(GDBusConnection* connection, const TIpcService& service, TIpcMethodHandler handler)
      : FConnection(G_DBUS_CONNECTION(g_object_ref(connection))), FBusName(service.busName),
        FHandler(std::move(handler)) {
    GError* error = nullptr;
    FNode = g_dbus_node_info_new_for_xml(IntrospectionXml(service).c_str(), &error);
    if (!FNode) ThrowBusError(service.busName, error);
    static const GDBusInterfaceVTable kVTable = {&TOwnedName::OnMethodCall, nullptr, nullptr, {}};
    FRegistration = g_dbus_connection_register_object(FConnection, service.objectPath.c_str(),
                                                      FNode->interfaces[0], &kVTable, this, nullptr, &error);
    if (FRegistration == 0) ThrowBusError(service.objectPath, error);
  }

  ~TOwnedName() override {
    if (FOwnsName) {
      GError* error = nullptr;
      GVariant* reply = CallBus(FConnection, "ReleaseName", g_variant_new("(s)", FBusName.c_str()), "(u)", &error);
      if (reply) g_variant_unref(reply);
      if (error) g_error_free(error);
    }
    if (FRegistration) g_dbus_connection_unregister_object(FConnection, FRegistration);
    if (FNode) g_dbus_node_info_unref(FNode);
    g_object_unref(FConnection);
  }

  // True when the name is ours now; false when another connection has it.
  bool RequestName() {
    GError* error = nullptr;
    TVariant reply(CallBus(FConnection, "RequestName", g_variant_new("(su)", FBusName.c_str(), kDoNotQueue), "(u)",
                           &error));
    if (!reply) ThrowBusError(FBusName, error);
    guint32 code = 0;
    g_variant_get(reply.get(), "(u)", &code);
    FOwnsName = code == kPrimaryOwner;
    return FOwnsName;
  }

 private:
  static void OnMethodCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                           GVariant* parameters, GDBusMethodInvocation* invocation, gpointer data) {
    auto* self = static_cast<TOwnedName*>(data);
    std::string text;
    if (g_variant_is_of_type(parameters, G_VARIANT_TYPE("(s)"))) {
      const gchar* value = nullptr;
      g_variant_get(parameters, "(&s)", &value);
      text = value;
    }
    try {
      const std::int32_t result = self->FHandler(method, text);
      g_dbus_method_invocation_return_value(invocation, g_variant_new("(i)", result));
    } catch (const std::exception& e) {
      g_dbus_method_invocation_return_error_literal(invocation, G_DBUS_ERROR, G_DBUS_ERROR_FAILED, e.what());
    }
  }

  GDBusConnection* FConnection;
  std::string FBusName;
  TIpcMethodHandler FHandler;
  GDBusNodeInfo* FNode = nullptr;
  guint FRegistration = 0;
  bool FOwnsName = false;
};

}  // namespace

TGDBusTransport::TGDBusTransport(GMainContext* context, std::string programDir)
    : FContext(context ? g_main_context_ref(context) : nullptr), FProgramDir(std::move(programDir)) {}

TGDBusTransport::~TGDBusTransport() {
  if (FConnection) {
    g_signal_handlers_disconnect_by_data(FConnection, this);
    // Answers still queued (the reply to "Quit") leave before the connection goes.
    g_dbus_connection_flush_sync(FConnection, nullptr, nullptr);
    g_dbus_connection_close_sync(FConnection, nullptr, nullptr);
    g_object_unref(FConnection);
  }
  if (FContext) g_main_context_unref(FContext);
}

GDBusConnection* TGDBusTransport::Connection() {
  const std::lock_guard<std::mutex> lock(FConnecting);
  if (FConnection) return FConnection;
  GError* error = nullptr;
  gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (!address) ThrowBusError("session bus", error);
  // The connection reports "closed" on the context that is the thread's
  // default while it is made.
  if (FContext) g_main_context_push_thread_default(FContext);
  FConnection = g_dbus_connection_new_for_address_sync(
      address,
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, &error);
  if (FContext) g_main_context_pop_thread_default(FContext);
  g_free(address);
  if (!FConnection) ThrowBusError("session bus", error);
  g_dbus_connection_set_exit_on_close(FConnection, FALSE);
  g_signal_connect(FConnection, "closed", G_CALLBACK(&TGDBusTransport::OnClosed), this);
  return FConnection;
}

void TGDBusTransport::OnClosed(GDBusConnection*, gboolean, GError*, gpointer self) {
  auto* transport = static_cast<TGDBusTransport*>(self);
  if (transport->FOnClosed) transport->FOnClosed();
}

void TGDBusTransport::SetOnClosed(std::function<void()> onClosed) {
  FOnClosed = std::move(onClosed);
  Connection();
}

std::unique_ptr<IIpcNameOwnership> TGDBusTransport::OwnName(const TIpcService& service, TIpcMethodHandler handler) {
  GDBusConnection* connection = Connection();
  if (FContext) g_main_context_push_thread_default(FContext);
  std::unique_ptr<TOwnedName> owned;
  try {
    // The object is there before the name, so the first call finds it.
    owned = std::make_unique<TOwnedName>(connection, service, std::move(handler));
  } catch (...) {
    if (FContext) g_main_context_pop_thread_default(FContext);
    throw;
  }
  if (FContext) g_main_context_pop_thread_default(FContext);
  if (!owned->RequestName()) return nullptr;
  return owned;
}

bool TGDBusTransport::NameHasOwner(const std::string& busName) {
  try {
    GError* error = nullptr;
    TVariant reply(CallBus(Connection(), "NameHasOwner", g_variant_new("(s)", busName.c_str()), "(b)", &error));
    if (!reply) {
      g_error_free(error);
      return false;
    }
    gboolean owned = FALSE;
    g_variant_get(reply.get(), "(b)", &owned);
    return owned;
  } catch (const std::exception&) {
    return false;  // no bus: nobody to find
  }
}

std::optional<std::int32_t> TGDBusTransport::Call(const TIpcService& service, const std::string& method,
                                                  const std::optional<std::string>& text, int timeoutMs) {
  try {
    GError* error = nullptr;
    GVariant* parameters = text ? g_variant_new("(s)", text->c_str()) : nullptr;
    TVariant reply(g_dbus_connection_call_sync(Connection(), service.busName.c_str(), service.objectPath.c_str(),
                                               service.interfaceName.c_str(), method.c_str(), parameters,
                                               G_VARIANT_TYPE("(i)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, timeoutMs,
                                               nullptr, &error));
    if (!reply) {
      // No owner is the everyday case (the other program is not running).
      if (!g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) &&
          !g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER))
        LogDiagnostic("ipc", service.busName + "." + method + ": " + error->message);
      g_error_free(error);
      return std::nullopt;
    }
    gint32 result = 0;
    g_variant_get(reply.get(), "(i)", &result);
    return result;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

bool TGDBusTransport::StartSiblingProgram(const std::string& programFile, const std::vector<std::string>& args) {
  const std::string folder = FProgramDir.empty() ? OwnProgramDir() : FProgramDir;
  const std::string path = folder + "/" + programFile;
  if (::access(path.c_str(), X_OK) != 0) return false;
  std::vector<std::string> words{path};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<gchar*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  // Without G_SPAWN_DO_NOT_REAP_CHILD the program is started through an
  // intermediate child, so it never lingers as our zombie; descriptors other
  // than the standard three are closed in it.
  GError* error = nullptr;
  if (!g_spawn_async(folder.c_str(), argv.data(), nullptr, static_cast<GSpawnFlags>(0), nullptr, nullptr, nullptr,
                     &error)) {
    LogDiagnostic("ipc", path + ": " + error->message);
    g_error_free(error);
    return false;
  }
  return true;
}

void TGDBusTransport::Sleep(int milliseconds) { g_usleep(static_cast<gulong>(milliseconds) * 1000); }
