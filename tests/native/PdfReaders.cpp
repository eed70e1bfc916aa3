#include "tests/native/PdfReaders.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <regex>
#include <sstream>
#include <sys/wait.h>

#include "shared/FileAccess.h"

namespace fs = std::filesystem;

namespace {

std::string TextOfFile(const fs::path& path) {
  const std::vector<std::uint8_t> bytes = ReadFileBytes(path.string());
  return std::string(bytes.begin(), bytes.end());
}

// RGB bytes of a JPEG as ffmpeg decodes it.
std::string DecodedJpeg(const fs::path& path) {
  return RunCommand("ffmpeg -hide_banner -v error -i " + Quote(path) + " -f rawvideo -pix_fmt rgb24 -").output;
}

// The pixels of a binary PPM with maximum value 255.
std::string PpmPixels(const fs::path& path, int& width, int& height) {
  const std::string ppm = TextOfFile(path);
  std::size_t at = 0;
  std::vector<std::string> fields;
  while (fields.size() < 4) {
    const std::size_t end = ppm.find_first_of(" \n", at);
    if (end > at) fields.push_back(ppm.substr(at, end - at));
    at = end + 1;
  }
  EXPECT_EQ(fields[0], "P6");
  EXPECT_EQ(fields[3], "255");
  width = std::stoi(fields[1]);
  height = std::stoi(fields[2]);
  return ppm.substr(at);
}

// "page image WxH color comp bpc enc" for every picture pdfimages lists.
std::vector<std::string> ListedImages(const std::string& listing) {
  std::vector<std::string> rows;
  const std::regex row("^ *(\\d+) +\\d+ +(\\w+) +(\\d+) +(\\d+) +(\\w+) +(\\d+) +(\\d+) +(\\w+)");
  std::istringstream lines(listing);
  for (std::string line; std::getline(lines, line);) {
    std::smatch m;
    if (std::regex_search(line, m, row)) {
      rows.push_back(m[1].str() + " " + m[2].str() + " " + m[3].str() + "x" + m[4].str() + " " + m[5].str() + " " +
                     m[6].str() + " " + m[7].str() + " " + m[8].str());
    }
  }
  return rows;
}

}  // namespace

std::string Quote(const fs::path& path) { return "'" + path.string() + "'"; }

TRunResult RunCommand(const std::string& command) {
  TRunResult result;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return result;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) result.output.append(buffer, n);
  const int status = ::pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::vector<std::uint8_t> MakeJpeg(const fs::path& path, int width, int height, int photo) {
  static const char* const kPhotos[] = {"astronaut.jpg", "coffee.jpg", "rocket-launch.jpg", "chelsea-the-cat.jpg"};
  const fs::path source = fs::path(TESSARY_SOURCE_DIR) / "samples" / "photos" / kPhotos[photo % 4];
  const TRunResult made = RunCommand("ffmpeg -hide_banner -v error -y -i " + Quote(source) + " -vf scale=" +
                                     std::to_string(width) + ":" + std::to_string(height) + " -q:v 3 " + Quote(path));
  EXPECT_EQ(made.status, 0) << made.output;
  return ReadFileBytes(path.string());
}

void ExpectReadersAgree(const fs::path& pdf, const std::vector<std::pair<fs::path, std::pair<int, int>>>& pageJpegs,
                        const std::string& pageSize, const fs::path& scratch) {
  const std::string name = pdf.filename().string();
  const TRunResult check = RunCommand("qpdf --check " + Quote(pdf));
  EXPECT_EQ(check.status, 0) << check.output;
  EXPECT_NE(check.output.find("No syntax or stream encoding errors found"), std::string::npos) << check.output;

  const TRunResult info = RunCommand("pdfinfo " + Quote(pdf));
  EXPECT_EQ(info.status, 0) << info.output;
  EXPECT_TRUE(std::regex_search(info.output, std::regex("Pages: +" + std::to_string(pageJpegs.size()) + "\n")))
      << info.output;
  EXPECT_TRUE(std::regex_search(info.output, std::regex("Page size: +" + pageSize))) << info.output;

  const TRunResult images = RunCommand("pdfimages -list " + Quote(pdf));
  EXPECT_EQ(images.status, 0) << images.output;
  std::vector<std::string> expected;
  for (std::size_t i = 0; i < pageJpegs.size(); ++i) {
    const auto [width, height] = pageJpegs[i].second;
    expected.push_back(std::to_string(i + 1) + " image " + std::to_string(width) + "x" + std::to_string(height) +
                       " rgb 3 8 jpeg");
  }
  EXPECT_EQ(ListedImages(images.output), expected) << images.output;
  if (pageJpegs.empty()) return;

  // The last page drawn at its picture's own pixel size shows that picture.
  // Poppler's drawing smooths a photo even at its own size (about 7 per
  // channel); another photo, or this one misplaced, differs by tens.
  const auto& [jpeg, size] = pageJpegs.back();
  const std::string page = std::to_string(pageJpegs.size());
  const fs::path drawn = scratch / (name + "-drawn");
  const TRunResult render = RunCommand("pdftoppm -f " + page + " -l " + page + " -singlefile -scale-to-x " +
                                       std::to_string(size.first) + " -scale-to-y " + std::to_string(size.second) +
                                       " " + Quote(pdf) + " " + Quote(drawn));
  ASSERT_EQ(render.status, 0) << render.output;
  int drawnW = 0;
  int drawnH = 0;
  const std::string pixels = PpmPixels(drawn.string() + ".ppm", drawnW, drawnH);
  ASSERT_EQ(drawnW, size.first);
  ASSERT_EQ(drawnH, size.second);
  const std::string sent = DecodedJpeg(jpeg);
  ASSERT_EQ(sent.size(), pixels.size());
  double difference = 0;
  for (std::size_t i = 0; i < sent.size(); ++i) {
    difference += std::abs(static_cast<unsigned char>(sent[i]) - static_cast<unsigned char>(pixels[i]));
  }
  const double mean = difference / static_cast<double>(sent.size());
  EXPECT_LT(mean, 12.0) << name << ": mean difference per channel " << mean;
  std::cout << "[ reader   ] " << name << ": page " << page << " drawn by poppler differs from the JPEG by " << mean
            << " per channel on average\n";
}
