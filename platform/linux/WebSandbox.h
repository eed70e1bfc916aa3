// The browser engine's own sandbox around the page's web processes. Every
// photo from anywhere is decoded in them (JPEG, PNG, WebP, GIF, converted
// HEIC), yet WebKitGTK's 4.1 API leaves its bubblewrap sandbox off unless the
// program asks. Where bubblewrap cannot start (no user namespaces, as in many
// containers), turning it on would kill every web process at birth, so the
// system is tried first and the pages then run without it, said once on
// stderr.
#pragma once

#include <webkit2/webkit2.h>

#include <string>

// Where the engine looks for the sandbox's helpers (fixed when it was built).
inline constexpr const char* kBubblewrapPath = "/usr/bin/bwrap";
inline constexpr const char* kDbusProxyPath = "/usr/bin/xdg-dbus-proxy";

struct TSandboxProbe {
  bool usable = false;
  std::string reason;  // why not, when not usable
};

// Starts `bwrap` with the namespaces the engine asks for a web process and
// checks that `dbusProxy` (the engine's D-Bus filter) is there.
TSandboxProbe ProbeWebSandbox(const std::string& bwrap, const std::string& dbusProxy);

// Turns the sandbox on for `context` when this system can run it (tried once
// per process), giving the web processes read access to the folders of
// GST_PLUGIN_PATH (our recorder's element lies there). Call before the
// context starts any web process. Returns whether the sandbox is on.
bool EnableWebSandbox(WebKitWebContext* context);
