#include "shared/WebAssets.h"

#include <array>

#include "shared/TextUtil.h"
#include "shared/WebAssetData.h"

namespace {

#define WEB_ASSET(path, name, type) TWebAsset{path, name, type},
constexpr std::array kTable = {
#include "shared/WebAssetTable.inc"
};
#undef WEB_ASSET

static_assert(kTable.size() == kWebAssetCount);

}  // namespace

std::span<const TWebAsset> WebAssetTable() { return kTable; }

const TWebAsset* FindWebAsset(std::string_view path) {
  for (const TWebAsset& row : kTable) {
    if (EqualsNoCase(row.path, path)) return &row;
  }
  return nullptr;
}

std::optional<std::span<const std::uint8_t>> FindWebResource(std::string_view resourceName) {
  for (const TEmbeddedResource& resource : EmbeddedWebResources()) {
    if (resourceName == resource.name) {
      return std::span<const std::uint8_t>(resource.begin, resource.end);
    }
  }
  return std::nullopt;
}
