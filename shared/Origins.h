// The four virtual origins the hosts answer. Each origin is a custom URI
// scheme of its own with a fixed host name that never resolves on a network;
// the page scripts and the hand-over data use exactly these strings.
#pragma once

#include <string_view>

namespace origins {

// Scheme names, as registered with the browser (secure + CORS-enabled).
inline constexpr std::string_view kPageScheme = "tessary-app";
inline constexpr std::string_view kPhotoScheme = "tessary-photo";
inline constexpr std::string_view kLivePhotoScheme = "tessary-live";
inline constexpr std::string_view kAlbumFilesScheme = "tessary-album";

// Full origins (scheme + host), without the trailing "/".
inline constexpr std::string_view kPage = "tessary-app://app";
inline constexpr std::string_view kPhoto = "tessary-photo://photo";
inline constexpr std::string_view kLivePhoto = "tessary-live://live";
inline constexpr std::string_view kAlbumFiles = "tessary-album://album";

}  // namespace origins
