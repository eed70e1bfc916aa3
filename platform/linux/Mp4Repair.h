// Repairs the fragmented MP4 that the browser's MediaRecorder delivers on
// Linux: it repeats the "ftyp" box and sometimes writes a fragment header
// ("moof") twice, so the first copy points its samples into the second.
// Players then read box headers as video data.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

// The top-level boxes of `bytes` with later "ftyp" copies and every "moof"
// that is not followed by its "mdat" left out. Empty when `bytes` is not a
// readable sequence of MP4 boxes (nothing is guessed then).
std::optional<std::vector<std::uint8_t>> RepairRecordedMp4(const std::vector<std::uint8_t>& bytes);

// True when the boxes hold movie fragments ("moof").
bool IsFragmentedMp4(const std::vector<std::uint8_t>& bytes);
