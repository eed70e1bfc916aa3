#include "shared/HostBridge.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>

#include "shared/Origins.h"
#include "shared/TextUtil.h"

namespace fs = std::filesystem;

namespace {

const std::set<std::string> kPhotoExtensions = {".jpg", ".jpeg", ".png", ".bmp", ".heic", ".heif"};
const std::set<std::string> kMemoExtensions = {".txt", ".md"};

// Unreadable sub-folders are skipped rather than failing the whole listing:
// a user's photo tree often holds a folder they cannot open.
std::vector<std::string> ListFiles(const std::string& folder, bool recursive,
                                   const std::set<std::string>& extensions) {
  std::vector<std::string> names;
  const fs::path root(folder);
  const auto consider = [&](const fs::directory_entry& entry) {
    std::error_code ec;
    if (!entry.is_regular_file(ec)) return;
    if (!extensions.count(ToLowerAscii(entry.path().extension().string()))) return;
    names.push_back(entry.path().lexically_relative(root).generic_string());
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

TJson THostBridge::MaterialFolderPickedPayload(const std::string& folder, bool recursive) {
  TJson payload = TJson::object();
  payload["baseUrl"] = std::string(origins::kPhoto) + "/";
  payload["folder"] = folder;
  payload["photos"] = ListPhotoFiles(folder, recursive);
  payload["memos"] = ListMemoFiles(folder, recursive);
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
