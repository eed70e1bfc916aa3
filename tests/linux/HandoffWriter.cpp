// Test-only writer for the crash test: hands over piles of the given JPEG
// files again and again, as the generator and the live wallpaper program do
// (commit, then a rewrite of the play data), until it is killed. Prints
// "ready" once the first hand-over is active.
#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

#include "shared/FileAccess.h"
#include "shared/JsonWriter.h"
#include "shared/LiveHandoff.h"

int main(int argc, char** argv) {
  std::vector<std::vector<std::uint8_t>> photos;
  for (int i = 1; i < argc; ++i) photos.push_back(ReadFileBytes(argv[i]));
  if (photos.empty()) {
    std::fprintf(stderr, "usage: %s photo.jpg...\n", argv[0]);
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
      urls[std::to_string(index)] = "tessary-live://live/" + std::to_string(index);
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
