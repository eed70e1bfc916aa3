#include "platform/linux/XdgAutostart.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <unistd.h>

#include "shared/Diagnostics.h"
#include "shared/FileAccess.h"

std::string QuotedExecValue(const std::string& programPath) {
  std::string quoted = "\"";
  for (const char c : programPath) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  std::string value;
  for (const char c : quoted) {
    if (c == '\\') value += "\\\\";
    else if (c == '%') value += "%%";
    else value += c;
  }
  return value;
}

std::string AutostartEntryText(const std::string& programPath) {
  for (const unsigned char c : programPath) {
    if (c < 0x20 || c == 0x7F) return {};
  }
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Tessary\n"
         "Name[ja]=テッサリー\n"
         "Comment=Restores your live wallpaper when you sign in\n"
         "Comment[ja]=サインイン時にライブ壁紙を復元します\n"
         "Exec=" + QuotedExecValue(programPath) + "\n"
         "Icon=tessary\n"
         "Terminal=false\n"
         "X-GNOME-Autostart-enabled=true\n";
}

bool SetXdgAutostart(const std::string& configHome, const std::string& programPath, bool enable) {
  const std::filesystem::path folder = std::filesystem::path(configHome) / "autostart";
  const std::string entry = (folder / kAutostartFileName).string();
  if (!enable) {
    if (::unlink(entry.c_str()) == 0 || errno == ENOENT) return true;
    LogDiagnostic("autostart", entry + ": " + std::strerror(errno));
    return false;
  }
  const std::string text = AutostartEntryText(programPath);
  if (configHome.empty() || text.empty()) {
    LogDiagnostic("autostart", "no entry for the program path " + programPath);
    return false;
  }
  try {
    std::filesystem::create_directories(folder);
    WriteFileReplacing(entry, std::vector<std::uint8_t>(text.begin(), text.end()));
    return true;
  } catch (const std::exception& e) {
    LogDiagnostic("autostart", e.what());
    return false;
  }
}
