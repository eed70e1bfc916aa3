// The writing side of KiroFile.h.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <span>
#include <stdexcept>
#include <string_view>
#include <zlib.h>

#include "shared/FileAccess.h"
#include "shared/ReplacingFile.h"
#include "shared/KiroFile.h"
#include "shared/ZipWriter.h"

namespace {

constexpr char kNoHandoff[] = "ライブ壁紙の引き渡しがありません";
constexpr char kBom[] = "\xEF\xBB\xBF";
// Photos are JPEG already: the fastest level packs them as well as any.
constexpr int kTextLevel = Z_DEFAULT_COMPRESSION;
constexpr int kPhotoLevel = Z_BEST_SPEED;

// Local time as "2024-05-01T09:30:15.250+09:00" ("Z" for UTC itself).
std::string CreatedStamp(std::chrono::system_clock::time_point now) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(millis));
  std::string stamp = text;
  const long offset = local.tm_gmtoff / 60;
  if (offset == 0) return stamp + "Z";
  std::snprintf(text, sizeof text, "%c%02ld:%02ld", offset < 0 ? '-' : '+', std::labs(offset) / 60,
                std::labs(offset) % 60);
  return stamp + text;
}

std::string PhotoEntryName(int index) {
  char name[32];
  std::snprintf(name, sizeof name, "photos/%04d.jpg", index);
  return name;
}

// One photo to pack: read from `path` when it is not empty, else `bytes`.
struct TPhotoEntry {
  int index = 0;
  std::string_view path;
  std::span<const std::uint8_t> bytes;
};

void WritePackage(const std::string& path, const std::string& dataText, std::vector<TPhotoEntry> photos) {
  std::sort(photos.begin(), photos.end(), [](const TPhotoEntry& a, const TPhotoEntry& b) { return a.index < b.index; });
  for (std::size_t i = 0; i < photos.size(); ++i) {
    if (photos[i].index < 0 || photos[i].index > 999) {
      throw std::invalid_argument("photo index " + std::to_string(photos[i].index) + " is outside 0 to 999");
    }
    if (i > 0 && photos[i].index == photos[i - 1].index) {
      throw std::invalid_argument("photo index " + std::to_string(photos[i].index) + " is given twice");
    }
  }

  const auto now = std::chrono::system_clock::now();
  const std::string meta = std::string(kBom) + R"({"format":"tessary-live","version":1,"created":")" +
                           CreatedStamp(now) + "\"}";
  const std::string data = dataText.starts_with(kBom) ? dataText : kBom + dataText;

  TReplacingFile file(path);
  TZipWriter zip(file, std::chrono::system_clock::to_time_t(now));
  const auto bytesOf = [](const std::string& text) { return reinterpret_cast<const std::uint8_t*>(text.data()); };
  zip.AddBytes("meta.json", bytesOf(meta), meta.size(), kTextLevel);
  zip.AddBytes("data.json", bytesOf(data), data.size(), kTextLevel);
  for (const TPhotoEntry& photo : photos) {
    if (photo.path.empty()) {
      zip.AddBytes(PhotoEntryName(photo.index), photo.bytes.data(), photo.bytes.size(), kPhotoLevel);
    } else {
      zip.AddFile(PhotoEntryName(photo.index), std::string(photo.path), kPhotoLevel);
    }
  }
  zip.Finish();
  file.Commit();
}

TKiroResult Failed(const std::string& error) { return {false, error, error}; }

TKiroResult WriteEntries(const std::string& path, const std::string& dataText, std::vector<TPhotoEntry> photos) {
  if (dataText.empty() || dataText == kBom) return {false, kNoHandoff, "no play data"};
  try {
    WritePackage(path, dataText, std::move(photos));
    return {true, "", ""};
  } catch (const std::exception& e) {
    return Failed(e.what());
  }
}

}  // namespace

TKiroResult WriteKiro(const std::string& path, const std::string& dataText, const std::vector<TKiroPhoto>& photos) {
  std::vector<TPhotoEntry> entries;
  for (const TKiroPhoto& photo : photos) entries.push_back({photo.index, photo.path, photo.bytes});
  return WriteEntries(path, dataText, std::move(entries));
}

TKiroResult WriteKiro(const std::string& path, const std::string& dataText,
                      const std::map<int, std::span<const std::uint8_t>>& photos) {
  std::vector<TPhotoEntry> entries;
  for (const auto& [index, bytes] : photos) entries.push_back({index, {}, bytes});
  return WriteEntries(path, dataText, std::move(entries));
}

TKiroResult WriteKiroFromHandoff(const std::string& path, const std::string& dataPath, const std::string& photosDir) {
  if (dataPath.empty() || !IsRegularFile(dataPath)) return {false, kNoHandoff, "no data.json in the handoff"};
  try {
    const std::vector<std::uint8_t> data = ReadFileBytes(dataPath);
    // Every "*.jpg" of the folder in name order; a name the reader would not
    // take as a photo, or a second name for one index, stays out.
    std::map<std::string, int> byName;
    std::error_code error;
    if (!photosDir.empty() && std::filesystem::is_directory(photosDir, error)) {
      for (const auto& item : std::filesystem::directory_iterator(photosDir)) {
        const std::string name = item.path().filename().string();
        const TKiroEntryClass kind = ClassifyEntry("photos/" + name);
        if (kind.kind == ekPhoto && item.is_regular_file()) byName.emplace(name, kind.photoIndex);
      }
    }
    std::vector<TKiroPhoto> photos;
    std::vector<bool> taken(1000, false);
    for (const auto& [name, index] : byName) {
      if (taken[index]) continue;
      taken[index] = true;
      photos.push_back({index, (std::filesystem::path(photosDir) / name).string(), {}});
    }
    return WriteKiro(path, std::string(data.begin(), data.end()), photos);
  } catch (const std::exception& e) {
    return Failed(e.what());
  }
}
