#include "wallpaper/WallpaperRouting.h"

#include <cstdint>
#include <optional>
#include <vector>

#include "shared/LiveHandoff.h"
#include "shared/Origins.h"
#include "shared/TextUtil.h"
#include "shared/WebRouting.h"

namespace {

std::string Prefix(std::string_view origin) { return std::string(origin) + "/"; }

TWebResponse AnswerHandoffPhoto(const std::string& rest) {
  const std::optional<int> index = ParseDecimalInt(CutQuery(rest));
  if (!index) return AnswerLivePicture(nullptr);
  // A photo of up to 30 MiB read from disk: not on the window's thread.
  TWebResponse later;
  later.answered = true;
  later.makeLater = [n = *index] {
    std::vector<std::uint8_t> bytes;
    return AnswerLivePicture(ReadHandoffPhoto(n, bytes) ? &bytes : nullptr);
  };
  return later;
}

}  // namespace

std::string WallpaperPageAddress() { return Prefix(origins::kPage) + "wallpaper.html"; }

bool IsWallpaperPageOrigin(const std::string& uri) { return StartsWithNoCase(uri, Prefix(origins::kPage)); }

TWebResponse RouteWallpaperRequest(const std::string& request) {
  // "7#frag" asks for "7".
  const std::string uri(CutFragment(request));
  if (IsWallpaperPageOrigin(uri)) return AnswerPageAsset(uri);
  if (StartsWithNoCase(uri, Prefix(origins::kLivePhoto)))
    return AnswerHandoffPhoto(uri.substr(Prefix(origins::kLivePhoto).size()));
  return AnswerBlocked();
}
