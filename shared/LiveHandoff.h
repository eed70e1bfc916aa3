// The live hand-over store: the folder through which a pile passes from the
// generator (or a package import) to the live wallpaper program. Each
// hand-over is a generation folder of its own ("g-" + 6 hex digits) holding
// "data.json" and "photos/NNNN.jpg"; the one-line "active.txt" names the
// active generation. A new generation becomes active only after all its
// files are on disk, by one atomic rename of the pointer, so a reader in the
// other program always finds a complete hand-over, also after a crash.
//
// One writer per process (module-wide state); use from one thread at a time
// (the generator writes from one lane of its background work). No function throws: failures are logged as "Tessary [handoff] ..."
// and reported by the result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "shared/JsonWriter.h"

inline constexpr int kHandoffMaxPhotoIndex = 999;
inline constexpr std::size_t kHandoffMaxPhotoBytes = 31457280;       // 30 MiB
inline constexpr std::uint64_t kHandoffMaxTotalBytes = 209715200;    // 200 MiB per generation
inline constexpr std::size_t kHandoffMaxDataChars = 41943040;        // play data text, in characters

// "<XDG data home>/Tessary/live" (the data home is $XDG_DATA_HOME, else
// ~/.local/share, as the desktop's own programs resolve it).
std::string HandoffRoot();
// Empty when there is no active generation.
std::string ActiveGenerationDir();
std::string ActiveDataPath();
std::string ActivePhotosDir();
// Empty for an index outside 0..999 or when there is no active generation.
std::string ActivePhotoPath(int index);

// Writing. A hand-over is BeginHandoff, WriteHandoffPhoto for each photo,
// then CommitHandoff with the play data (or AbortHandoff).
bool BeginHandoff();
bool WriteHandoffPhoto(int index, const std::vector<std::uint8_t>& bytes);
// Makes the pending generation active and sweeps every other folder of the
// root. Fails (and discards the pending generation) when a photo failed or
// the data is empty or too long; the previous generation then stays active.
bool CommitHandoff(const std::string& data);
void AbortHandoff();
// Removes the whole store.
void ClearHandoff();

// Reading and updating the active generation.
bool IsHandoffReady();
bool ReadHandoffData(std::string& data);
bool ReadHandoffPhoto(int index, std::vector<std::uint8_t>& bytes);
// Replaces the active play data in place (the photos stay).
bool UpdateHandoffData(const std::string& data);

// The generator's "--handoff-selftest=": exercises the real store step by
// step and leaves it cleared. Members in a fixed order, each true when the
// store behaved as expected, then `root` (the root folder's path).
TJson RunHandoffSelfTest();
