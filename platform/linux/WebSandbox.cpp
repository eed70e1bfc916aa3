#include "platform/linux/WebSandbox.h"

#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <system_error>

#include "shared/Diagnostics.h"
#include "shared/TextUtil.h"

namespace {

// What the engine gives every web process: its own process, host name, IPC
// and network namespaces, and a fresh /proc and /dev.
TSandboxProbe RunBubblewrap(const std::string& bwrap) {
  const gchar* argv[] = {bwrap.c_str(), "--die-with-parent", "--unshare-pid", "--unshare-uts", "--unshare-ipc",
                         "--unshare-net", "--ro-bind", "/", "/", "--proc", "/proc", "--dev", "/dev", "true", nullptr};
  gchar* errors = nullptr;
  gint status = 0;
  GError* error = nullptr;
  const bool ran = g_spawn_sync(nullptr, const_cast<gchar**>(argv), nullptr, G_SPAWN_STDOUT_TO_DEV_NULL, nullptr,
                                nullptr, nullptr, &errors, &status, &error);
  TSandboxProbe probe;
  if (!ran) {
    probe.reason = bwrap + ": " + (error ? TrimSpace(error->message) : "cannot start");
  } else if (!g_spawn_check_wait_status(status, nullptr)) {
    const std::string said = errors ? TrimSpace(errors) : "";
    probe.reason = bwrap + ": " + (said.empty() ? "cannot make the sandbox's namespaces" : said);
  } else {
    probe.usable = true;
  }
  g_clear_error(&error);
  g_free(errors);
  return probe;
}

// The sandbox is tried once per process; the answer holds for every view.
const TSandboxProbe& SystemProbe() {
  static const TSandboxProbe probe = [] {
    TSandboxProbe tried = ProbeWebSandbox(kBubblewrapPath, kDbusProxyPath);
    if (!tried.usable) {
      LogDiagnostic("browser", "the web page sandbox cannot start here (" + tried.reason +
                                   "); pages run without it");
    }
    return tried;
  }();
  return probe;
}

}  // namespace

TSandboxProbe ProbeWebSandbox(const std::string& bwrap, const std::string& dbusProxy) {
  if (::access(dbusProxy.c_str(), X_OK) != 0) return {false, dbusProxy + " is missing"};
  if (::access(bwrap.c_str(), X_OK) != 0) return {false, bwrap + " is missing"};
  return RunBubblewrap(bwrap);
}

bool EnableWebSandbox(WebKitWebContext* context) {
  if (!SystemProbe().usable) return false;
  webkit_web_context_set_sandbox_enabled(context, TRUE);
  // The recorder needs our element from GST_PLUGIN_PATH. Recent engines
  // bind that path themselves, earlier ones only the system's plugin
  // folders, so it is named here as well; folders that do not exist would be
  // refused.
  if (const char* plugins = g_getenv("GST_PLUGIN_PATH")) {
    std::istringstream folders(plugins);
    for (std::string folder; std::getline(folders, folder, G_SEARCHPATH_SEPARATOR);) {
      std::error_code error;
      const std::filesystem::path resolved = std::filesystem::canonical(folder, error);
      if (!error && std::filesystem::is_directory(resolved, error))
        webkit_web_context_add_path_to_sandbox(context, resolved.c_str(), TRUE);
    }
  }
  return true;
}
