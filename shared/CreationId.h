// Names of saved creations (folders of the album works store) and of the
// photos stored in them.
#pragma once

#include <string>

// 1 to 64 characters, each a letter or decimal digit of any script, "-" or
// "_". Non-ASCII characters count as letters unless they are spaces,
// punctuation or symbols of the common Unicode blocks.
bool IsValidCreationId(const std::string& id);

// A stored photo name: 1 to 128 characters, no backslash, colon or NUL.
// Photos from sub-folders of a creation's source folder keep their relative
// path, so "/" separates folders; no part of it may be empty, "." or "..",
// which keeps every name inside the creation's own folder.
bool IsValidStoredPhotoName(const std::string& name);
