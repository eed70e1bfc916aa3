#include "wallpaper/WallpaperState.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <system_error>
#include <unistd.h>

#include "shared/FileAccess.h"
#include "shared/JsonWriter.h"

namespace {

constexpr char kBom[] = "\xEF\xBB\xBF";

// Local time as 2026-08-08T21:05:33.
std::string LocalTimestamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  return text;
}

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += static_cast<std::size_t>(n);
  }
  return true;
}

// The rename is only lasting once the folder's entry is on disk too.
void SyncFolder(const std::filesystem::path& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

TWallpaperStateFile::TWallpaperStateFile(std::string path) : FPath(std::move(path)) {}

std::string TWallpaperStateFile::PathUnder(const std::string& dataHome) {
  return (std::filesystem::path(dataHome) / "Tessary" / "wallpaper-state.json").string();
}

bool TWallpaperStateFile::Write(bool originalVisible) const {
  const std::filesystem::path target(FPath);
  std::error_code error;
  std::filesystem::create_directories(target.parent_path(), error);
  if (error) return false;
  TJson record = TJson::object();
  record["iconsChangedByUs"] = true;
  record["originalIconsVisible"] = originalVisible;
  record["timestamp"] = LocalTimestamp();
  const std::string bytes = kBom + WriteJson(record);

  const std::string temp = FPath + ".tmp";
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const bool written = WriteAll(fd, bytes) && ::fsync(fd) == 0;
  const bool closed = ::close(fd) == 0;
  if (!written || !closed || ::rename(temp.c_str(), FPath.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  // The record is complete either way; syncing the folder only makes the
  // rename itself survive a power cut.
  SyncFolder(target.parent_path());
  return true;
}

TWallpaperStateRecord TWallpaperStateFile::Read() const {
  TWallpaperStateRecord record;
  if (!IsRegularFile(FPath)) return record;
  std::string text;
  try {
    const std::vector<std::uint8_t> bytes = ReadFileBytes(FPath);
    text.assign(bytes.begin(), bytes.end());
  } catch (const std::exception&) {
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
  std::error_code ignored;
  std::filesystem::remove(FPath + ".tmp", ignored);
}
