// Files named by a page inside a folder the host serves. A folder that came
// from elsewhere (an unpacked archive, a shared drive) may hold symbolic
// links to anywhere; checking the name alone would let such a link hand any
// file of the user to the page. So every name is resolved, links and all,
// and only what then still lies inside the folder is served. Links that stay
// inside keep working.
#pragma once

#include <filesystem>
#include <string>

class TContainedFolder {
 public:
  // Resolves the folder itself once (it may be reached through links of its own).
  explicit TContainedFolder(const std::string& folder);

  // The resolved path of `relative` inside the folder: empty when it does
  // not exist, cannot be resolved, or resolves to a place outside the
  // folder (or to the folder itself). Callers open the path returned, not
  // the name they gave.
  std::string Resolve(const std::string& relative) const;

 private:
  std::filesystem::path FRoot;  // empty when the folder cannot be resolved
};

// TContainedFolder(folder).Resolve(relative), for a single name.
std::string ResolveInsideFolder(const std::string& folder, const std::string& relative);
