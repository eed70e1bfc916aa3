// The package writer and reader as a command for scripts/bench-kiro.py:
//   tessary_kiro_bench write PACKAGE DATA_JSON PHOTOS_FOLDER
//   tessary_kiro_bench import PACKAGE FOLDER
//   tessary_kiro_bench handoff PACKAGE
// `import` writes the photos and data.json into FOLDER as a handoff
// generation would be written; `handoff` imports into the real live hand-over
// store ($XDG_DATA_HOME), as TessaryLive does. Prints the seconds taken; exit
// code 1 on failure.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "shared/FileAccess.h"
#include "shared/KiroFile.h"
#include "shared/KiroHandoff.h"

namespace {

class TFolderSink : public IKiroSink {
 public:
  explicit TFolderSink(std::filesystem::path folder) : FFolder(std::move(folder)) {}
  bool Begin() override {
    std::error_code error;
    std::filesystem::create_directories(FFolder / "photos", error);
    return !error;
  }
  bool WritePhoto(int index, const std::vector<std::uint8_t>& bytes) override {
    char name[16];
    std::snprintf(name, sizeof name, "%04d.jpg", index);
    WriteFileReplacing((FFolder / "photos" / name).string(), bytes);
    return true;
  }
  bool Commit(const std::string& dataText) override {
    const std::string text = "\xEF\xBB\xBF" + dataText;
    WriteFileReplacing((FFolder / "data.json").string(), std::vector<std::uint8_t>(text.begin(), text.end()));
    return true;
  }
  void Abort() override { std::filesystem::remove_all(FFolder); }

 private:
  std::filesystem::path FFolder;
};

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (!((mode == "write" && argc == 5) || (mode == "import" && argc == 4) || (mode == "handoff" && argc == 3))) {
    std::fprintf(stderr, "usage: %s write PACKAGE DATA_JSON PHOTOS_FOLDER | import PACKAGE FOLDER | handoff PACKAGE\n",
                 argv[0]);
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  TKiroResult result;
  if (mode == "write") {
    result = WriteKiroFromHandoff(argv[2], argv[3], argv[4]);
  } else if (mode == "handoff") {
    result = ImportKiroToHandoff(argv[2]);
  } else {
    TFolderSink sink(argv[3]);
    result = ImportKiro(argv[2], sink);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!result.ok) {
    std::fprintf(stderr, "%s (%s)\n", result.error.c_str(), result.detail.c_str());
    return 1;
  }
  std::printf("%.3f\n", seconds);
  return 0;
}
