// Test-only writer for the creation store's crash test: saves, renames,
// overwrites, marks and deletes creations in the store at argv[1] again and
// again, as the generator does, until it is killed. Every record lists its
// copies with their sizes and checksums ("checks"), so the checker can tell
// a cut-off or mixed-up creation from a whole one. Sweeps the leftovers of
// earlier kills first, as the generator does at start, then prints "ready".
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "shared/AlbumStore.h"
#include "shared/Base64.h"
#include "shared/JsonWriter.h"

namespace {

std::uint32_t Checksum(const std::vector<std::uint8_t>& bytes) {
  std::uint32_t hash = 2166136261u;
  for (std::uint8_t b : bytes) hash = (hash ^ b) * 16777619u;
  return hash;
}

std::string DataUrl(const std::vector<std::uint8_t>& bytes) { return "data:image/jpeg;base64," + Base64Encode(bytes); }

// A record with 1 to 6 copies of 10 to 200 KB and a cover, saved under `id`
// (empty: a new creation).
TAlbumSaved SaveOne(const TAlbumStore& store, std::mt19937& random, const std::string& id, const std::string& name,
                    bool autoStart) {
  TJson photos = TJson::array();
  TJson copies = TJson::array();
  TJson checks = TJson::object();
  const int count = 1 + static_cast<int>(random() % 6);
  for (int i = 1; i <= count; ++i) {
    std::vector<std::uint8_t> bytes(10000 + random() % 190000);
    for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>(random());
    char stored[16];
    std::snprintf(stored, sizeof stored, "%04d.jpg", i);
    photos.push_back(TJson{{"name", stored}, {"origin", "copied"}});
    copies.push_back(TJson{{"name", stored}, {"dataUrl", DataUrl(bytes)}});
    checks[stored] = TJson{{"size", bytes.size()}, {"sum", Checksum(bytes)}};
  }
  TJson record{{"schema", 1},      {"name", name},   {"sourceFolder", nullptr}, {"photos", photos},
               {"stars", TJson::array()}, {"layout", nullptr}, {"settings", TJson{{"motion", "drop"}}},
               {"autoStart", autoStart},  {"checks", checks}};
  if (!id.empty()) record["id"] = id;
  const std::vector<std::uint8_t> cover(5000, static_cast<std::uint8_t>(count));
  const TAlbumSaved saved = store.Save(WriteJson(record), DataUrl(cover), copies);
  store.NormaliseAutoStart(saved.id, saved.autoStart);
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s store-folder\n", argv[0]);
    return 2;
  }
  const TAlbumStore store(argv[1]);
  store.SweepLeftovers();
  std::mt19937 random(static_cast<unsigned>(::getpid()));
  std::printf("ready\n");
  std::fflush(stdout);
  for (int cycle = 0;; ++cycle) {
    const std::vector<TAlbumSummary> list = store.List();
    const std::string name = "Creation " + std::to_string(cycle);
    const bool mark = random() % 4 == 0;
    // Few creations: mostly new ones; many: mostly changes and deletions.
    const unsigned what = list.size() < 4 ? 0 : random() % 4;
    const std::string some = list.empty() ? "" : list[random() % list.size()].id;
    switch (what) {
      case 0: SaveOne(store, random, "", name, mark); break;
      case 1: SaveOne(store, random, some, name, mark); break;          // renamed in place, new copies
      case 2: store.NormaliseAutoStart(some, random() % 2 == 0); break;  // marks rewritten in place
      default: store.Delete(some); break;
    }
  }
}
