// What the live wallpaper's browser is answered: the player page from the
// program's own embedded files, the active hand-over's photos on the live
// photo origin, and a refusal for every other address. The page is never
// read from a folder on disk.
#pragma once

#include <string>

#include "shared/WebResponse.h"

// The player page's address on the page origin.
std::string WallpaperPageAddress();
// Only addresses on the page origin may be shown.
bool IsWallpaperPageOrigin(const std::string& uri);

// Photo n of the active hand-over for "<live photo origin>/n" (a query is
// ignored), read off the window's thread; 404 when the path is no number or
// the photo cannot be read.
TWebResponse RouteWallpaperRequest(const std::string& uri);
