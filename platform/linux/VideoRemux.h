// Turns the recorder's fragmented MP4 into a regular MP4 (one index, real
// duration) with GStreamer, so every player can seek in it.
#pragma once

#include <cstdint>
#include <vector>

// Throws std::runtime_error with GStreamer's message when remuxing fails.
std::vector<std::uint8_t> RemuxToRegularMp4(const std::vector<std::uint8_t>& mp4);

// Repairs and remuxes a recorded MP4. Never throws and never loses the
// video: when a step fails it says why on stderr and the best bytes so far
// are returned (at worst the input unchanged).
std::vector<std::uint8_t> FinishRecordedMp4(std::vector<std::uint8_t> bytes);
