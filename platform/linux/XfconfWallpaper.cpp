#include "platform/linux/XfconfWallpaper.h"

#include <X11/Xatom.h>

#include <algorithm>
#include <optional>
#include <set>
#include <stdexcept>

namespace {

constexpr const char* kService = "org.xfce.Xfconf";
constexpr const char* kObject = "/org/xfce/Xfconf";
constexpr const char* kInterface = "org.xfce.Xfconf";
constexpr const char* kChannel = "xfce4-desktop";
constexpr const char* kRoot = "/backdrop";
constexpr int kCallTimeoutMs = 5000;

// xfdesktop's image styles; 0 shows the background colour alone, and a
// workspace that never chose one is zoomed.
constexpr int kStyleNone = 0;
constexpr int kStyleDefault = 5;
struct TStyle {
  TWallpaperPosition position;
  int style;
};
constexpr TStyle kStyles[] = {
    {TWallpaperPosition::wpCenter, 1}, {TWallpaperPosition::wpTile, 2}, {TWallpaperPosition::wpStretch, 3},
    {TWallpaperPosition::wpFit, 4},    {TWallpaperPosition::wpFill, 5}, {TWallpaperPosition::wpSpan, 6},
};

[[noreturn]] void ThrowGError(const std::string& lead, GError* error) {
  const std::string message = lead + (error ? error->message : "unknown error");
  g_clear_error(&error);
  throw std::runtime_error(message);
}

std::string RemoteErrorName(const GError* error) {
  gchar* name = g_dbus_error_get_remote_error(error);
  const std::string text = name ? name : "";
  g_free(name);
  return text;
}

// Whole numbers arrive as whatever integer type their writer chose.
std::optional<long long> IntegerOf(GVariant* value) {
  if (!value) return std::nullopt;
  if (g_variant_is_of_type(value, G_VARIANT_TYPE_INT32)) return g_variant_get_int32(value);
  if (g_variant_is_of_type(value, G_VARIANT_TYPE_UINT32)) return g_variant_get_uint32(value);
  if (g_variant_is_of_type(value, G_VARIANT_TYPE_INT64)) return g_variant_get_int64(value);
  if (g_variant_is_of_type(value, G_VARIANT_TYPE_UINT64)) return static_cast<long long>(g_variant_get_uint64(value));
  if (g_variant_is_of_type(value, G_VARIANT_TYPE_INT16)) return g_variant_get_int16(value);
  if (g_variant_is_of_type(value, G_VARIANT_TYPE_UINT16)) return g_variant_get_uint16(value);
  if (g_variant_is_of_type(value, G_VARIANT_TYPE_BYTE)) return g_variant_get_byte(value);
  return std::nullopt;
}

// The number of workspaces the window manager announces (1 without one).
int DesktopCount(const TXDisplay& display) {
  const Atom name = XInternAtom(display.Get(), "_NET_NUMBER_OF_DESKTOPS", False);
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long rest = 0;
  unsigned char* data = nullptr;
  int desktops = 1;
  if (XGetWindowProperty(display.Get(), display.Root(), name, 0, 1, False, XA_CARDINAL, &type, &format, &count,
                         &rest, &data) == Success &&
      data && type == XA_CARDINAL && format == 32 && count == 1) {
    desktops = static_cast<int>(std::clamp(*reinterpret_cast<unsigned long*>(data), 1ul, 64ul));
  }
  if (data) XFree(data);
  return desktops;
}

}  // namespace

TXfconfWallpaper::TXfconfWallpaper() {
  {
    const TXDisplay display;
    for (const TXMonitor& monitor : ListXMonitors(display)) FMonitors.push_back(monitor.name);
    FScreen = display.ScreenNumber();
    FDesktopCount = DesktopCount(display);
  }
  GError* error = nullptr;
  FBus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (!FBus) ThrowGError("no session bus for the Xfce settings service: ", error);
  ReadAll();
}

TXfconfWallpaper::~TXfconfWallpaper() {
  for (auto& [name, value] : FProperties) g_variant_unref(value);
  if (FBus) g_object_unref(FBus);
}

void TXfconfWallpaper::ReadAll() {
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_sync(FBus, kService, kObject, kInterface, "GetAllProperties",
                                                g_variant_new("(ss)", kChannel, kRoot), G_VARIANT_TYPE("(a{sv})"),
                                                G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, &error);
  if (!reply) {
    // A channel without a single property answers with an error of its
    // own; a daemon that does not answer at all is what is missing.
    const bool emptyChannel = RemoteErrorName(error).starts_with("org.xfce.Xfconf.Error");
    if (!emptyChannel) ThrowGError("the Xfce settings service (xfconfd) does not answer: ", error);
    g_clear_error(&error);
    return;
  }
  GVariant* properties = g_variant_get_child_value(reply, 0);
  GVariantIter iter;
  g_variant_iter_init(&iter, properties);
  const gchar* name = nullptr;
  GVariant* value = nullptr;
  while (g_variant_iter_next(&iter, "{&sv}", &name, &value)) FProperties[name] = value;
  g_variant_unref(properties);
  g_variant_unref(reply);
}

std::string TXfconfWallpaper::WorkspaceBase(const std::string& monitorId, int workspace) const {
  return std::string(kRoot) + "/screen" + std::to_string(FScreen) + "/monitor" + monitorId + "/workspace" +
         std::to_string(workspace) + "/";
}

// The desktop shares one picture among all workspaces unless told otherwise.
bool TXfconfWallpaper::SingleWorkspaceMode() const {
  const auto single = FProperties.find(std::string(kRoot) + "/single-workspace-mode");
  return single == FProperties.end() || !g_variant_is_of_type(single->second, G_VARIANT_TYPE_BOOLEAN) ||
         g_variant_get_boolean(single->second);
}

int TXfconfWallpaper::ShownWorkspace() const {
  if (!SingleWorkspaceMode()) return 0;
  const auto number = FProperties.find(std::string(kRoot) + "/single-workspace-number");
  const std::optional<long long> shown = number == FProperties.end() ? std::nullopt : IntegerOf(number->second);
  return shown && *shown >= 0 && *shown < 1024 ? static_cast<int>(*shown) : 0;
}

std::vector<int> TXfconfWallpaper::WorkspacesToChange(const std::string& monitorId) const {
  if (SingleWorkspaceMode()) return {ShownWorkspace()};
  // Every workspace the window manager has, and any configured beyond them.
  std::set<int> workspaces;
  for (int n = 0; n < FDesktopCount; ++n) workspaces.insert(n);
  const std::string prefix = WorkspaceBase(monitorId, 0);
  const std::string head = prefix.substr(0, prefix.size() - 2);  // ".../workspace"
  for (const auto& [name, value] : FProperties) {
    if (!name.starts_with(head)) continue;
    const std::size_t end = name.find('/', head.size());
    const std::string digits = name.substr(head.size(), end == std::string::npos ? std::string::npos : end - head.size());
    if (!digits.empty() && digits.size() < 4 && std::all_of(digits.begin(), digits.end(), ::isdigit))
      workspaces.insert(std::stoi(digits));
  }
  return {workspaces.begin(), workspaces.end()};
}

int TXfconfWallpaper::StyleOf(const std::string& monitorId) const {
  const auto style = FProperties.find(WorkspaceBase(monitorId, ShownWorkspace()) + "image-style");
  const std::optional<long long> value = style == FProperties.end() ? std::nullopt : IntegerOf(style->second);
  return value ? static_cast<int>(*value) : kStyleDefault;
}

std::string TXfconfWallpaper::Wallpaper(const std::string& monitorId) {
  if (StyleOf(monitorId) == kStyleNone) return {};
  const auto image = FProperties.find(WorkspaceBase(monitorId, ShownWorkspace()) + "last-image");
  if (image == FProperties.end() || !g_variant_is_of_type(image->second, G_VARIANT_TYPE_STRING)) return {};
  return g_variant_get_string(image->second, nullptr);
}

TWallpaperPosition TXfconfWallpaper::Position() {
  const int style = FMonitors.empty() ? kStyleDefault : StyleOf(FMonitors.front());
  for (const TStyle& entry : kStyles) {
    if (entry.style == style) return entry.position;
  }
  throw std::runtime_error("Xfce shows no picture (image-style " + std::to_string(style) + ")");
}

void TXfconfWallpaper::SetPosition(TWallpaperPosition position) {
  int style = kStyleDefault;
  for (const TStyle& entry : kStyles) {
    if (entry.position == position) style = entry.style;
  }
  for (const std::string& monitor : FMonitors) {
    for (int workspace : WorkspacesToChange(monitor))
      SetProperty(WorkspaceBase(monitor, workspace) + "image-style", g_variant_new_int32(style));
  }
}

void TXfconfWallpaper::SetWallpaper(const std::string& monitorId, const std::string& path, const std::string&) {
  std::vector<std::string> monitors{monitorId};
  if (monitorId.empty()) monitors = FMonitors;
  for (const std::string& monitor : monitors) {
    for (int workspace : WorkspacesToChange(monitor))
      SetProperty(WorkspaceBase(monitor, workspace) + "last-image", g_variant_new_string(path.c_str()));
  }
}

void TXfconfWallpaper::SetProperty(const std::string& property, GVariant* value) {
  g_variant_ref_sink(value);
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_sync(FBus, kService, kObject, kInterface, "SetProperty",
                                                g_variant_new("(ssv)", kChannel, property.c_str(), value), nullptr,
                                                G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, &error);
  if (!reply) {
    g_variant_unref(value);
    ThrowGError(property + ": ", error);
  }
  g_variant_unref(reply);
  // Later reads in this command see the new value.
  auto& slot = FProperties[property];
  if (slot) g_variant_unref(slot);
  slot = value;
}
