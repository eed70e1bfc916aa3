// The page asset table: every page file the hosts serve from their own
// resources, with its content type. The bytes are embedded at build time from
// web/ (see cmake/EmbedWebAssets.cmake); a row whose file was missing at build
// time has no resource and its requests fall through to the web folder.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

struct TWebAsset {
  std::string_view path;          // under the page origin, e.g. "js/app.js"
  std::string_view resourceName;  // e.g. "WEB_JS_APP"
  std::string_view contentType;
};

inline constexpr int kWebAssetCount = 27;

// The table rows in their fixed order.
std::span<const TWebAsset> WebAssetTable();
// The first row whose path equals `path` ignoring letter case.
const TWebAsset* FindWebAsset(std::string_view path);
// The embedded bytes of a resource, when the program carries it.
std::optional<std::span<const std::uint8_t>> FindWebResource(std::string_view resourceName);
