// Reading and writing whole files with the system's own error texts. The
// portable units call these; each operating system defines them in its
// layer (platform/posix/FileAccess.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Throws std::runtime_error("<path>: <system message>").
std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
// Writes to a uniquely named sibling, flushes it to disk, renames it over
// `path` and flushes the folder, so a failed write never leaves a truncated
// file in the target's place and a crash right after cannot undo the rename
// (a TReplacingFile written in one piece).
// Throws std::runtime_error with the system's message; the sibling is removed.
void WriteFileReplacing(const std::string& path, const std::vector<std::uint8_t>& bytes);
bool IsRegularFile(const std::string& path);
