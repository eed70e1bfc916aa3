// Album PDFs read back by the programs people open them with: qpdf checks
// the structure, poppler counts, measures, lists and draws the pages. Also
// real page JPEGs to write into them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

struct TRunResult {
  int status = -1;
  std::string output;  // standard output and error together
};

TRunResult RunCommand(const std::string& command);
std::string Quote(const std::filesystem::path& path);

// A sample photo stretched to the size asked and written to `path` as a
// JPEG; `photo` picks one of four, so that pages differ from one another.
std::vector<std::uint8_t> MakeJpeg(const std::filesystem::path& path, int width, int height, int photo);

// Expects every reader to accept `pdf` as the album of `pageJpegs` (the
// files sent, in order, with their pixel sizes) on the paper whose poppler
// size line `pageSize` matches (a regular expression, for example
// "612 x 792 pts \\(letter\\)"): qpdf finds no fault, pdfinfo counts the
// pages and gives their size, pdfimages lists one DCT picture per page at
// the size sent, and pdftoppm draws the last page as its JPEG.
// Scratch files go to `scratch`.
void ExpectReadersAgree(const std::filesystem::path& pdf,
                        const std::vector<std::pair<std::filesystem::path, std::pair<int, int>>>& pageJpegs,
                        const std::string& pageSize, const std::filesystem::path& scratch);
