#include "wallpaper/WallpaperState.h"

#include <ctime>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "shared/FileAccess.h"
#include "shared/JsonWriter.h"

namespace {

constexpr char kBom[] = "\xEF\xBB\xBF";

// Local time as 2026-08-08T21:05:33. Main thread only (std::localtime).
std::string LocalTimestamp() {
  const std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  char text[32] = "";
  if (local) std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", local);
  return text;
}

}  // namespace

TWallpaperStateFile::TWallpaperStateFile(std::string path) : FPath(std::move(path)) {}

std::string TWallpaperStateFile::PathUnder(const std::string& dataHome) {
  return (std::filesystem::path(dataHome) / "Tessary" / "wallpaper-state.json").string();
}

bool TWallpaperStateFile::Write(bool originalVisible) const {
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(FPath).parent_path(), error);
  if (error) return false;
  TJson record = TJson::object();
  record["iconsChangedByUs"] = true;
  record["originalIconsVisible"] = originalVisible;
  record["timestamp"] = LocalTimestamp();
  const std::string text = kBom + WriteJson(record);
  try {
    // A ".tmp" sibling flushed to disk, renamed over the file, the folder
    // flushed: a crash at any moment leaves the old record or the new one.
    WriteFileReplacing(FPath, std::vector<std::uint8_t>(text.begin(), text.end()));
  } catch (const std::runtime_error&) {
    return false;
  }
  return true;
}

TWallpaperStateRecord TWallpaperStateFile::Read() const {
  TWallpaperStateRecord record;
  if (!IsRegularFile(FPath)) return record;
  std::string text;
  try {
    const std::vector<std::uint8_t> bytes = ReadFileBytes(FPath);
    text.assign(bytes.begin(), bytes.end());
  } catch (const std::runtime_error&) {
    return record;
  }
  if (text.rfind(kBom, 0) == 0) text.erase(0, 3);
  const TJson json = TJson::parse(text, nullptr, false);
  if (json.is_discarded() || !json.is_object()) return record;
  const auto changed = json.find("iconsChangedByUs");
  record.pending = changed != json.end() && changed->is_boolean() && changed->get<bool>();
  const auto visible = json.find("originalIconsVisible");
  if (visible != json.end() && visible->is_boolean()) record.originalVisible = visible->get<bool>();
  return record;
}

void TWallpaperStateFile::Delete() const {
  std::error_code ignored;
  std::filesystem::remove(FPath, ignored);
  DeleteTemporary();
}

void TWallpaperStateFile::DeleteTemporary() const {
  // The writer's siblings are named "<file>.<letters>.tmp".
  const std::filesystem::path path(FPath);
  const std::string prefix = path.filename().string() + ".";
  std::error_code error;
  std::vector<std::filesystem::path> leftovers;
  for (const auto& entry : std::filesystem::directory_iterator(path.parent_path(), error)) {
    const std::string name = entry.path().filename().string();
    if (name.size() > prefix.size() + 4 && name.rfind(prefix, 0) == 0 && name.ends_with(".tmp")) {
      leftovers.push_back(entry.path());
    }
  }
  for (const auto& leftover : leftovers) std::filesystem::remove(leftover, error);
}
