#include "shared/ContainedPath.h"

#include <algorithm>
#include <system_error>

namespace fs = std::filesystem;

TContainedFolder::TContainedFolder(const std::string& folder) {
  std::error_code error;
  if (folder.empty()) return;
  FRoot = fs::canonical(folder, error);
  if (error) FRoot.clear();
}

std::string TContainedFolder::Resolve(const std::string& relative) const {
  if (FRoot.empty() || relative.empty()) return {};
  std::error_code error;
  const fs::path file = fs::canonical(FRoot / relative, error);
  if (error) return {};
  // Inside: the folder's components are a proper prefix of the file's.
  const auto [inRoot, inFile] = std::mismatch(FRoot.begin(), FRoot.end(), file.begin(), file.end());
  if (inRoot != FRoot.end() || inFile == file.end()) return {};
  return file.string();
}

std::string ResolveInsideFolder(const std::string& folder, const std::string& relative) {
  return TContainedFolder(folder).Resolve(relative);
}
