// Names of saved creations (folders of the album works store).
#pragma once

#include <string>

// 1 to 64 characters, each a letter or decimal digit of any script, "-" or
// "_". Non-ASCII characters count as letters unless they are spaces,
// punctuation or symbols of the common Unicode blocks.
bool IsValidCreationId(const std::string& id);
