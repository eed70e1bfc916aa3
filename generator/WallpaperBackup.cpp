#include "generator/WallpaperBackup.h"

#include <filesystem>

#include "shared/FileAccess.h"
#include "shared/JsonWriter.h"

namespace fs = std::filesystem;

namespace {

const std::string kByteOrderMark = "\xEF\xBB\xBF";
// A record names a few monitors; anything much larger is not one of ours
// and is not read into memory.
constexpr std::uintmax_t kMaxBackupBytes = 1024 * 1024;

std::string TextMember(const TJson& object, const char* name) {
  const auto found = object.find(name);
  return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

bool IsTrue(const TJson& object, const char* name) {
  const auto found = object.find(name);
  return found != object.end() && found->is_boolean() && found->get<bool>();
}

TWallpaperMonitor MonitorFromJson(const TJson& entry) {
  TWallpaperMonitor monitor;
  if (!entry.is_object()) return monitor;
  monitor.id = TextMember(entry, "id");
  monitor.path = TextMember(entry, "path");
  const auto position = entry.find("position");
  if (position != entry.end() && position->is_number_integer()) monitor.position = position->get<std::int64_t>();
  monitor.darkPath = TextMember(entry, "darkPath");
  return monitor;
}

}  // namespace

std::string WallpaperBackupPath(const std::string& roamingAppData) {
  return (fs::path(roamingAppData) / "TessaryMaker" / "wallpaper-backup.json").string();
}

std::vector<std::uint8_t> WallpaperBackupBytes(const TWallpaperBackup& backup) {
  TJson monitors = TJson::array();
  for (const TWallpaperMonitor& monitor : backup.monitors) {
    TJson entry = TJson::object();
    entry["id"] = monitor.id;
    entry["path"] = monitor.path;
    entry["position"] = monitor.position;
    if (!monitor.darkPath.empty()) entry["darkPath"] = monitor.darkPath;
    monitors.push_back(std::move(entry));
  }
  TJson record = TJson::object();
  record["committed"] = backup.committed;
  if (!backup.restored) record["restored"] = false;
  record["lastSet"] = backup.lastSet;
  record["monitors"] = std::move(monitors);
  if (backup.restored) record["restored"] = true;
  const std::string text = kByteOrderMark + WriteJson(record);
  return {text.begin(), text.end()};
}

std::optional<TWallpaperBackup> ReadWallpaperBackup(const std::string& path) {
  std::string text;
  std::error_code sizeError;
  const std::uintmax_t size = fs::file_size(path, sizeError);
  if (sizeError || size > kMaxBackupBytes) return std::nullopt;
  try {
    const std::vector<std::uint8_t> bytes = ReadFileBytes(path);
    text.assign(bytes.begin(), bytes.end());
  } catch (const std::exception&) {
    return std::nullopt;
  }
  if (text.starts_with(kByteOrderMark)) text.erase(0, kByteOrderMark.size());
  const TJson record = TJson::parse(text, nullptr, false);
  if (!record.is_object()) return std::nullopt;

  TWallpaperBackup backup;
  backup.committed = IsTrue(record, "committed");
  backup.restored = IsTrue(record, "restored");
  backup.lastSet = TextMember(record, "lastSet");
  const auto monitors = record.find("monitors");
  if (monitors != record.end() && monitors->is_array()) {
    for (const TJson& entry : *monitors) backup.monitors.push_back(MonitorFromJson(entry));
  }
  return backup;
}

bool IsRestorable(const std::optional<TWallpaperBackup>& backup) {
  return backup && backup->committed && !backup->restored;
}

void SaveWallpaperBackup(const std::string& path, const TWallpaperBackup& backup) {
  fs::create_directories(fs::path(path).parent_path());
  WriteFileReplacing(path, WallpaperBackupBytes(backup));
}

void DeleteWallpaperBackup(const std::string& path) {
  std::error_code ignored;
  fs::remove(path, ignored);
}
