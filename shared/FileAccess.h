// Reading and writing whole files with the system's own error texts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Throws std::runtime_error("<path>: <system message>").
std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
// Writes to a uniquely named sibling, flushes it to disk and renames it over `path`
// (a TReplacingFile), so a failed write never leaves a truncated file in the target's place.
// Throws std::runtime_error with the system's message; the sibling is removed.
void WriteFileReplacing(const std::string& path, const std::vector<std::uint8_t>& bytes);
bool IsRegularFile(const std::string& path);
