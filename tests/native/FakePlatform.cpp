#include "tests/native/FakePlatform.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

TTempDir::TTempDir() {
  std::string pattern = (fs::temp_directory_path() / "tessary-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  FPath = pattern;
}

TTempDir::~TTempDir() {
  std::error_code ignored;
  fs::permissions(FPath, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(FPath, ignored);
}

fs::path TTempDir::Write(const std::string& relative, const std::string& content) const {
  const fs::path path = FPath / relative;
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEmitted ParseEmitScript(const std::string& script) {
  const std::string head = "window.kobHost.emit(\"";
  if (script.rfind(head, 0) != 0 || !script.ends_with(");")) throw std::runtime_error("not an emit script: " + script);
  const std::size_t nameEnd = script.find('"', head.size());
  TEmitted emitted;
  emitted.event = script.substr(head.size(), nameEnd - head.size());
  const std::string rest = script.substr(nameEnd + 1, script.size() - 2 - (nameEnd + 1));
  if (rest.rfind(", ", 0) == 0) emitted.payload = TJson::parse(rest.substr(2));
  return emitted;
}

std::vector<TEmitted> TFakeWindow::TakeEvents() {
  std::vector<TEmitted> events;
  for (const std::string& script : scripts) {
    if (script.rfind("window.kobHost.emit(", 0) == 0) events.push_back(ParseEmitScript(script));
  }
  scripts.clear();
  return events;
}

void TFakeWindow::RunBackground(std::size_t index) {
  auto job = std::move(background.at(index));
  background.erase(background.begin() + static_cast<std::ptrdiff_t>(index));
  job.first();
  job.second();
}

std::string TFakeSystem::KnownFolder(TKnownFolder folder) {
  switch (folder) {
    case TKnownFolder::kfRoamingAppData: return (root / "config").string();
    case TKnownFolder::kfLocalAppData: return (root / "data").string();
    case TKnownFolder::kfPictures: return (root / "pictures").string();
    case TKnownFolder::kfTemp: return (root / "tmp").string();
  }
  return {};
}

TImageSize TFakeCodec::ReadSize(const std::vector<std::uint8_t>& encoded) {
  std::string text(encoded.begin(), encoded.end());
  if (text.rfind(kFakeJpegStart, 0) == 0) text.erase(0, std::string(kFakeJpegStart).size());
  std::istringstream in(text);
  std::string magic;
  TImageSize size;
  if (!(in >> magic >> size.width >> size.height) || magic != "IMG") throw std::runtime_error("not a picture");
  return size;
}

TRgbImage TFakeCodec::Decode(const std::vector<std::uint8_t>& encoded) {
  ++decodeCount;
  const TImageSize size = ReadSize(encoded);
  return {size.width, size.height, std::vector<std::uint8_t>(3, 0)};
}

std::vector<std::uint8_t> TFakeCodec::EncodeJpeg(const TRgbImage& image, int quality) {
  return Bytes("JPEG " + std::to_string(image.width) + "x" + std::to_string(image.height) + " q" +
               std::to_string(quality));
}

TJpegPixels TFakeScalingCodec::DecodeJpegScaled(std::span<const std::uint8_t>, int minWidth, int minHeight) {
  askedWidth = minWidth;
  askedHeight = minHeight;
  const int w = decodedWidth ? decodedWidth : minWidth;
  const int h = decodedHeight ? decodedHeight : minHeight;
  return {w, h, channels, std::vector<std::uint8_t>(static_cast<std::size_t>(w) * h * channels, 128)};
}

std::vector<std::uint8_t> TFakeScalingCodec::EncodeJpegPixels(const TJpegPixels& pixels, int quality) {
  encodedQuality = quality;
  return Bytes("\xFF\xD8" + kFakeJfif + std::to_string(pixels.width) + "x" + std::to_string(pixels.height) + "x" +
               std::to_string(pixels.channels));
}

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }
