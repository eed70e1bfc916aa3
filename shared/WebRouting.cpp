#include "shared/WebRouting.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "shared/ContainedPath.h"
#include "shared/CreationId.h"
#include "shared/Diagnostics.h"
#include "shared/FileAccess.h"
#include "shared/HeicConversion.h"
#include "shared/JpegReduction.h"
#include "shared/ListedName.h"
#include "shared/Origins.h"
#include "shared/TextUtil.h"
#include "shared/WebAssets.h"

namespace {

std::string Prefix(std::string_view origin) { return std::string(origin) + "/"; }

TWebResponse Answer(int status, std::string reason, std::vector<std::pair<std::string, std::string>> headers) {
  TWebResponse response;
  response.answered = true;
  response.status = status;
  response.reason = std::move(reason);
  response.headers = std::move(headers);
  return response;
}

TWebResponse NotFoundForPage() {
  return Answer(404, "Not Found", {{"Access-Control-Allow-Origin", "*"}});
}

std::string PhotoContentType(const std::string& lowerExt) {
  if (lowerExt == ".jpg" || lowerExt == ".jpeg") return "image/jpeg";
  if (lowerExt == ".png") return "image/png";
  if (lowerExt == ".bmp") return "image/bmp";
  return "application/octet-stream";
}

std::string WebFolderContentType(const std::string& path) {
  if (const TWebAsset* row = FindWebAsset(path)) return std::string(row->contentType);
  const std::string ext = LowerExtension(path);
  if (ext == ".html" || ext == ".htm") return "text/html; charset=utf-8";
  if (ext == ".js") return "text/javascript; charset=utf-8";
  if (ext == ".css") return "text/css; charset=utf-8";
  if (ext == ".json") return "application/json; charset=utf-8";
  if (ext == ".svg") return "image/svg+xml";
  if (ext == ".ttf") return "font/ttf";
  if (ext == ".woff2") return "font/woff2";
  if (ext == ".txt" || ext == ".md") return "text/plain; charset=utf-8";
  return PhotoContentType(ext);
}

// A relative path that stays inside its folder: no "..", no drive or
// scheme colon, no leading separator and no NUL byte.
bool IsContainedRelativePath(const std::string& path) {
  return path.find("..") == std::string::npos && path.find(':') == std::string::npos &&
         path.find('\0') == std::string::npos && !(path.starts_with('/') || path.starts_with('\\'));
}

bool IsValidTempPictureName(const std::string& name) {
  if (name.size() < 5 || name.size() > 64 || !name.ends_with(".jpg")) return false;
  return std::all_of(name.begin(), name.end() - 4, [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_';
  });
}

TWebResponse AnswerLivePhoto(const std::string& rest, const TWebRouteContext& context) {
  const std::optional<int> index = ParseDecimalInt(CutQuery(rest));
  const std::vector<std::uint8_t>* picture = nullptr;
  if (index && context.livePhoto) picture = context.livePhoto(*index);
  return AnswerLivePicture(picture);
}

TWebResponse AnswerAlbumFile(const std::string& rest, const TWebRouteContext& context, TPhotoReduction reduction) {
  const std::string name = UrlDecode(rest);
  if (context.albumFilesDir.empty() || !IsValidStoredPhotoName(name)) return NotFoundForPage();
  return AnswerPhotoFile(ResolveInsideFolder(context.albumFilesDir, name), context.codec, reduction);
}

}  // namespace

std::string PageAssetPath(const std::string& uri) {
  if (!StartsWithNoCase(uri, Prefix(origins::kPage))) return {};
  std::string path(CutQuery(CutFragment(uri).substr(Prefix(origins::kPage).size())));
  return path.empty() ? "index.html" : path;
}

TWebResponse AnswerPageAsset(const std::string& uri) {
  const TWebAsset* row = FindWebAsset(PageAssetPath(uri));
  if (!row) return {};
  const auto resource = FindWebResource(row->resourceName);
  if (!resource) return {};
  TWebResponse response =
      Answer(200, "OK", {{"Content-Type", std::string(row->contentType)}, {"Cache-Control", "no-store"}});
  response.resource = *resource;
  return response;
}

TWebResponse AnswerFromWebFolder(const std::string& uri, const std::string& webDir) {
  if (!StartsWithNoCase(uri, Prefix(origins::kPage))) return {};
  const std::string path = UrlDecode(PageAssetPath(uri));
  const std::string file = IsContainedRelativePath(path) ? ResolveInsideFolder(webDir, path) : std::string();
  if (file.empty() || !IsRegularFile(file)) {
    return Answer(404, "Not Found", {{"Content-Type", "text/plain; charset=utf-8"}, {"Cache-Control", "no-store"}});
  }
  TWebResponse response =
      Answer(200, "OK", {{"Content-Type", WebFolderContentType(path)}, {"Cache-Control", "no-store"}});
  response.filePath = file;
  return response;
}

std::string ChoosePhotoFile(const std::string& uri, const std::string& photoDir, const std::string& heicTempDir,
                            const std::vector<std::string>& servedDirs) {
  std::string_view target = CutFragment(uri);
  const std::string tempPrefix = Prefix(origins::kPhoto) + "__temp/";
  if (StartsWithNoCase(target, tempPrefix)) {
    const std::string name(target.substr(tempPrefix.size()));
    return IsValidTempPictureName(name) ? ResolveInsideFolder(heicTempDir, name) : std::string();
  }
  target = target.substr(Prefix(origins::kPhoto).size());
  std::string folder = photoDir;
  constexpr std::string_view kServedPrefix = "__dir/";
  if (target.starts_with(kServedPrefix)) {
    target = target.substr(kServedPrefix.size());
    const std::size_t slash = target.find('/');
    const std::optional<int> index =
        slash == std::string_view::npos ? std::nullopt : ParseDecimalInt(target.substr(0, slash));
    if (!index || *index < 0 || static_cast<std::size_t>(*index) >= servedDirs.size()) return {};
    folder = servedDirs[static_cast<std::size_t>(*index)];
    target = target.substr(slash + 1);
  }
  if (folder.empty()) return {};
  // The page asks by the names the listing gave it (see ListedName.h).
  const auto path = FileNameOfListed(UrlDecode(CutQuery(target)));
  if (!path || !IsContainedRelativePath(*path)) return {};
  return ResolveInsideFolder(folder, *path);
}

namespace {

// Runs off the window's thread: touches only the file and the codec.
TWebResponse ConvertPhotoFile(const std::string& path, IImageCodec* codec) {
  try {
    if (!codec) throw std::runtime_error("no image codec");
    if (std::filesystem::file_size(path) > kMaxConvertFileBytes) throw std::runtime_error("file too large (max 100 MB)");
    TWebResponse response =
        Answer(200, "OK", {{"Content-Type", "image/jpeg"}, {"Access-Control-Allow-Origin", "*"}});
    response.body = ConvertToJpeg(*codec, ReadFileBytes(path));
    return response;
  } catch (const std::exception& error) {
    LogDiagnostic("heic", path + ": " + error.what());
    return Answer(415, "HEIC codec unavailable", {{"Access-Control-Allow-Origin", "*"}});
  }
}

// Runs off the window's thread. A JPEG that is not reduced, for whatever
// reason, is answered as stored: the page decodes it itself as it always could.
TWebResponse ReducePhotoFile(const std::string& path, IImageCodec* codec, int width) {
  TWebResponse response =
      Answer(200, "OK", {{"Content-Type", "image/jpeg"}, {"Access-Control-Allow-Origin", "*"}});
  try {
    if (codec && std::filesystem::file_size(path) <= kMaxConvertFileBytes) {
      std::vector<std::uint8_t> stored = ReadFileBytes(path);
      std::optional<std::vector<std::uint8_t>> reduced = ReduceJpeg(*codec, stored, width);
      response.body = reduced ? std::move(*reduced) : std::move(stored);
      return response;
    }
  } catch (const std::exception& error) {
    LogDiagnostic("photo", path + ": not reduced: " + error.what());
  }
  response.body.clear();
  response.filePath = path;
  return response;
}

// Runs off the window's thread. "204 No Content" tells the page that no
// thumbnail was made, so that it makes its own from the photo.
TWebResponse ThumbnailPhotoFile(const std::string& path, IImageCodec* codec, int edge) {
  try {
    if (codec && std::filesystem::file_size(path) <= kMaxConvertFileBytes) {
      if (std::optional<std::vector<std::uint8_t>> thumbnail = ThumbnailJpeg(*codec, ReadFileBytes(path), edge)) {
        TWebResponse response =
            Answer(200, "OK", {{"Content-Type", "image/jpeg"}, {"Access-Control-Allow-Origin", "*"}});
        response.body = std::move(*thumbnail);
        return response;
      }
    }
  } catch (const std::exception& error) {
    LogDiagnostic("photo", path + ": no thumbnail: " + error.what());
  }
  return Answer(204, "No Content", {{"Access-Control-Allow-Origin", "*"}});
}

TWebResponse MadeLater(std::function<TWebResponse()> make) {
  TWebResponse later;
  later.answered = true;
  later.makeLater = std::move(make);
  return later;
}

}  // namespace

TWebResponse AnswerPhotoFile(const std::string& path, IImageCodec* codec, TPhotoReduction reduction) {
  if (path.empty() || !IsRegularFile(path)) return NotFoundForPage();
  const std::string ext = LowerExtension(path);
  const bool jpeg = ext == ".jpg" || ext == ".jpeg";
  if (reduction.thumbEdge > 0) {
    if (!jpeg) return Answer(204, "No Content", {{"Access-Control-Allow-Origin", "*"}});
    return MadeLater([path, codec, edge = reduction.thumbEdge] { return ThumbnailPhotoFile(path, codec, edge); });
  }
  if (ext == ".heic" || ext == ".heif") return MadeLater([path, codec] { return ConvertPhotoFile(path, codec); });
  if (reduction.width > 0 && jpeg) {
    return MadeLater([path, codec, width = reduction.width] { return ReducePhotoFile(path, codec, width); });
  }
  TWebResponse response =
      Answer(200, "OK", {{"Content-Type", PhotoContentType(ext)}, {"Access-Control-Allow-Origin", "*"}});
  response.filePath = path;
  return response;
}

TWebResponse AnswerLivePicture(const std::vector<std::uint8_t>* picture) {
  if (!picture || picture->empty()) {
    return Answer(404, "Not Found", {{"Content-Type", "text/plain"}, {"Access-Control-Allow-Origin", "*"}});
  }
  TWebResponse response = Answer(200, "OK",
                                 {{"Content-Type", "image/jpeg"},
                                  {"Access-Control-Allow-Origin", "*"},
                                  {"Cache-Control", "no-store"}});
  response.body = *picture;
  return response;
}

TWebResponse AnswerBlocked() {
  return Answer(403, "Blocked by Tessary", {{"Content-Type", "text/plain; charset=utf-8"}, {"Cache-Control", "no-store"}});
}

TWebResponse RouteWebRequest(const std::string& request, const TWebRouteContext& context) {
  // "photo.jpg#frag" asks for "photo.jpg".
  const std::string uri(CutFragment(request));
  if (StartsWithNoCase(uri, Prefix(origins::kPage))) {
    return context.webFromDisk ? TWebResponse{} : AnswerPageAsset(uri);
  }
  if (StartsWithNoCase(uri, Prefix(origins::kPhoto))) {
    const TReductionRequest asked = TakeReductionRequest(uri);
    return AnswerPhotoFile(ChoosePhotoFile(asked.uri, context.photoDir, context.heicTempDir, context.servedPhotoDirs),
                           context.codec, asked.reduction);
  }
  if (StartsWithNoCase(uri, Prefix(origins::kLivePhoto))) {
    return AnswerLivePhoto(uri.substr(Prefix(origins::kLivePhoto).size()), context);
  }
  if (StartsWithNoCase(uri, Prefix(origins::kAlbumFiles))) {
    const TReductionRequest asked = TakeReductionRequest(uri);
    return AnswerAlbumFile(asked.uri.substr(Prefix(origins::kAlbumFiles).size()), context, asked.reduction);
  }
  return AnswerBlocked();
}
