// Test-only writer of live hand-overs, as the generator makes them.
//   PHOTO...                   for the crash test: hands over piles of the
//                              given JPEG files again and again (commit, then
//                              a rewrite of the play data), until it is
//                              killed; prints "ready" once the first is active
//   --once RECORD.json PHOTO...  hands over the play-data record once, with
//                              the photos as 0, 1, ... and their addresses on
//                              the live photo origin as its `photoUrls`
#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

#include "shared/FileAccess.h"
#include "shared/JsonWriter.h"
#include "shared/LiveHandoff.h"

namespace {

std::string LivePhotoUrl(int index) { return "tessary-live://live/" + std::to_string(index); }

int HandOverOnce(const std::string& recordPath, const std::vector<std::vector<std::uint8_t>>& photos) {
  const std::vector<std::uint8_t> text = ReadFileBytes(recordPath);
  TJson record = TJson::parse(text.begin(), text.end(), nullptr, false);
  if (!record.is_object()) {
    std::fprintf(stderr, "%s: not a play-data object\n", recordPath.c_str());
    return 2;
  }
  TJson urls = TJson::object();
  if (!BeginHandoff()) return 1;
  for (std::size_t i = 0; i < photos.size(); ++i) {
    if (!WriteHandoffPhoto(static_cast<int>(i), photos[i])) return 1;
    urls[std::to_string(i)] = LivePhotoUrl(static_cast<int>(i));
  }
  record["photoUrls"] = urls;
  return CommitHandoff(WriteJson(record)) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const bool once = argc > 2 && std::string(argv[1]) == "--once";
  std::vector<std::vector<std::uint8_t>> photos;
  for (int i = once ? 3 : 1; i < argc; ++i) photos.push_back(ReadFileBytes(argv[i]));
  if (once) return HandOverOnce(argv[2], photos);
  if (photos.empty()) {
    std::fprintf(stderr, "usage: %s photo.jpg... | --once record.json photo.jpg...\n", argv[0]);
    return 2;
  }
  std::mt19937 random(static_cast<unsigned>(::getpid()));
  for (int cycle = 0;; ++cycle) {
    // A few photos under scattered indexes, each naming its size so the
    // checker can tell a cut-off file from a whole one.
    std::set<int> indexes;
    const int count = 2 + static_cast<int>(random() % 4);
    while (static_cast<int>(indexes.size()) < count) indexes.insert(static_cast<int>(random() % 1000));
    TJson urls = TJson::object();
    TJson sizes = TJson::object();
    if (!BeginHandoff()) return 1;
    for (int index : indexes) {
      const std::vector<std::uint8_t>& photo = photos[random() % photos.size()];
      if (!WriteHandoffPhoto(index, photo)) return 1;
      urls[std::to_string(index)] = LivePhotoUrl(index);
      sizes[std::to_string(index)] = photo.size();
    }
    TJson data = TJson::object();
    data["cycle"] = cycle;
    data["photoUrls"] = urls;
    data["photoBytes"] = sizes;
    if (!CommitHandoff(WriteJson(data))) return 1;
    if (cycle == 0) {
      std::printf("ready\n");
      std::fflush(stdout);
    }
    data["speed"] = 2;
    if (!UpdateHandoffData(WriteJson(data))) return 1;
  }
}
