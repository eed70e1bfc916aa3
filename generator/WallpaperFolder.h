// The folder holding the pictures the generator sets as the desktop
// wallpaper ("Tessary" in the user's Pictures folder) and the files it owns
// there: "wallpaper.jpg" and "wallpaper (N).jpg" for N > 0.
#pragma once

#include <string>
#include <vector>

std::string WallpaperFolderPath(const std::string& picturesDir);
// True for a file of ours: directly in `folder` and named as above (the name
// compared in lower case).
bool IsOwnWallpaperFile(const std::string& path, const std::string& folder);
// "wallpaper (N).jpg" in `folder` with the smallest N from 1 up whose name is
// free (taken by nothing, not even a dangling link).
std::string NextWallpaperPath(const std::string& folder);
// Deletes every own file directly in `folder` except those in `keep`.
// Files that cannot be deleted stay; nothing is reported.
void CleanUpWallpaperFolder(const std::string& folder, const std::vector<std::string>& keep);
