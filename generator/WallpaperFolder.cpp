#include "generator/WallpaperFolder.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <stdexcept>

#include "shared/TextUtil.h"

namespace fs = std::filesystem;

namespace {

// Names are compared as the file system does (case matters on Linux);
// "a/b/" and "a//b" name the same folder as "a/b".
std::string NormalPath(const std::string& path) {
  std::string normal = fs::path(path).lexically_normal().string();
  while (normal.size() > 1 && normal.back() == '/') normal.pop_back();
  return normal;
}

bool IsOwnFileName(const std::string& name) {
  const std::string lower = ToLowerAscii(name);
  if (lower == "wallpaper.jpg") return true;
  const std::string head = "wallpaper (";
  const std::string tail = ").jpg";
  if (lower.size() <= head.size() + tail.size() || !lower.starts_with(head) || !lower.ends_with(tail)) return false;
  const auto number = ParseDecimalInt(std::string_view(lower).substr(head.size(), lower.size() - head.size() - tail.size()));
  return number && *number > 0;
}

}  // namespace

std::string WallpaperFolderPath(const std::string& picturesDir) { return (fs::path(picturesDir) / "Tessary").string(); }

bool IsOwnWallpaperFile(const std::string& path, const std::string& folder) {
  const fs::path file(path);
  return NormalPath(file.parent_path().string()) == NormalPath(folder) && IsOwnFileName(file.filename().string());
}

std::string NextWallpaperPath(const std::string& folder) {
  for (int n = 1; n < INT_MAX; ++n) {
    const fs::path candidate = fs::path(folder) / ("wallpaper (" + std::to_string(n) + ").jpg");
    std::error_code error;
    const fs::file_status status = fs::symlink_status(candidate, error);
    if (status.type() == fs::file_type::not_found) return candidate.string();
  }
  throw std::runtime_error("no free wallpaper file name in " + folder);
}

void CleanUpWallpaperFolder(const std::string& folder, const std::vector<std::string>& keep) {
  std::vector<std::string> kept;
  for (const std::string& path : keep) {
    if (!path.empty()) kept.push_back(NormalPath(path));
  }
  std::error_code error;
  std::vector<fs::path> doomed;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const fs::path& file = it->path();
    if (it->is_directory(error) || !IsOwnWallpaperFile(file.string(), folder)) continue;
    if (std::find(kept.begin(), kept.end(), NormalPath(file.string())) != kept.end()) continue;
    doomed.push_back(file);
  }
  for (const fs::path& file : doomed) fs::remove(file, error);
}
