#include "shared/HostBridge.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>

#include "shared/ContainedPath.h"
#include "shared/ListedName.h"
#include "shared/Origins.h"
#include "shared/TextUtil.h"

namespace fs = std::filesystem;

namespace {

const std::set<std::string> kPhotoExtensions = {".jpg", ".jpeg", ".png", ".bmp", ".heic", ".heif"};
const std::set<std::string> kMemoExtensions = {".txt", ".md"};
// Pictures the page cannot read: named to the user so that they do not
// vanish without a word. Other files (documents, videos) are no concern of
// a photo pile.
const std::set<std::string> kUnsupportedPictureExtensions = {
    ".gif", ".webp", ".tif", ".tiff", ".avif", ".jxl",
    // camera raw pictures
    ".dng", ".cr2", ".cr3", ".nef", ".arw", ".orf", ".rw2", ".raf"};

// Unreadable sub-folders are skipped rather than failing the whole listing:
// a user's photo tree often holds a folder they cannot open. Links that lead
// out of the folder are left out (the photo origin would not serve them),
// and names are given in their listed form (see ListedName.h).
std::vector<std::string> ListFiles(const std::string& folder, bool recursive,
                                   const std::set<std::string>& extensions) {
  std::vector<std::string> names;
  const fs::path root(folder);
  const TContainedFolder bounds(folder);
  const auto consider = [&](const fs::directory_entry& entry) {
    std::error_code ec;
    if (!entry.is_regular_file(ec)) return;
    if (!extensions.count(ToLowerAscii(entry.path().extension().string()))) return;
    const std::string relative = entry.path().lexically_relative(root).generic_string();
    if (entry.is_symlink(ec) && bounds.Resolve(relative).empty()) return;
    names.push_back(ListedName(relative));
  };
  std::error_code ec;
  if (recursive) {
    fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) consider(*it);
  } else {
    fs::directory_iterator it(root, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) consider(*it);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Each listed file's size in bytes, null where it cannot be read: the page
// takes them in place of reading every photo whole just to learn its size.
TJson ListedFileSizes(const std::string& folder, const std::vector<std::string>& names) {
  TJson sizes = TJson::array();
  for (const std::string& listed : names) {
    const std::optional<std::string> name = FileNameOfListed(listed);
    std::error_code ec;
    const std::uintmax_t size = name ? fs::file_size(fs::path(folder) / *name, ec) : 0;
    sizes.push_back(name && !ec ? TJson(size) : TJson(nullptr));
  }
  return sizes;
}

}  // namespace

bool THostBridge::AddSaveChunk(const std::string& reqId, const std::string& format, std::int64_t chunkIndex,
                               std::int64_t totalChunks, const std::string& data, std::string& base64,
                               std::string& saveFormat, bool& rejected) {
  const TChunkResult result =
      FSaveBuffers.Add(reqId, format, chunkIndex, totalChunks, data, base64, saveFormat);
  rejected = result == TChunkResult::crRejected;
  return result == TChunkResult::crComplete;
}

bool THostBridge::AddConvertChunk(const std::string& reqId, std::int64_t chunkIndex, std::int64_t totalChunks,
                                  const std::string& data, std::string& base64, bool& rejected) {
  std::string format;
  const TChunkResult result = FConvertBuffers.Add(reqId, "heic", chunkIndex, totalChunks, data, base64, format);
  rejected = result == TChunkResult::crRejected;
  return result == TChunkResult::crComplete;
}

void THostBridge::DiscardAll() {
  FSaveBuffers.Clear();
  FConvertBuffers.Clear();
}

std::vector<std::string> THostBridge::ListPhotoFiles(const std::string& folder, bool recursive) {
  return ListFiles(folder, recursive, kPhotoExtensions);
}

std::vector<std::string> THostBridge::ListMemoFiles(const std::string& folder, bool recursive) {
  return ListFiles(folder, recursive, kMemoExtensions);
}

std::vector<std::string> THostBridge::ListUnsupportedPictures(const std::string& folder, bool recursive) {
  return ListFiles(folder, recursive, kUnsupportedPictureExtensions);
}

TJson THostBridge::MaterialFolderPickedPayload(const std::string& folder, bool recursive) {
  TJson payload = TJson::object();
  payload["baseUrl"] = std::string(origins::kPhoto) + "/";
  payload["folder"] = folder;
  const std::vector<std::string> photos = ListPhotoFiles(folder, recursive);
  payload["photos"] = photos;
  payload["photoSizes"] = ListedFileSizes(folder, photos);
  payload["memos"] = ListMemoFiles(folder, recursive);
  payload["unsupported"] = ListUnsupportedPictures(folder, recursive);
  return payload;
}

std::string THostBridge::WebDir(const std::string& programDir) {
  const fs::path beside = fs::path(programDir) / "web";
  std::error_code ec;
  if (fs::is_directory(beside, ec)) return beside.string();
  return (fs::absolute(fs::path(programDir), ec) / ".." / ".." / ".." / "web").lexically_normal().string();
}

std::string THostBridge::UserDataDir(const std::string& roamingAppData) {
  return (fs::path(roamingAppData) / "TessaryMaker" / "WebView2").string();
}

std::string THostBridge::HeicTempDir(const std::string& roamingAppData) {
  return (fs::path(roamingAppData) / "TessaryMaker" / "heic-temp").string();
}
