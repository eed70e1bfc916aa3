// Writes an album PDF from JPEG files, one page per file, through the same
// writer as the program; each file is read only when its page is added, as
// pages arrive from the page one at a time. The PDF benchmark and the album
// print preview use it.
//   tessary_album_pdf_tool OUT.pdf PAPER PAGE.jpg...
#include <cstdio>
#include <exception>
#include <optional>

#include "generator/AlbumPdf.h"
#include "shared/FileAccess.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s OUT.pdf PAPER PAGE.jpg...\n", argv[0]);
    return 2;
  }
  try {
    TAlbumPdfWriter writer(argv[1], argv[2]);
    for (int i = 3; i < argc; ++i) {
      const std::vector<std::uint8_t> jpeg = ReadFileBytes(argv[i]);
      const std::optional<TJpegFrame> frame = ReadJpegFrame(jpeg);
      if (!frame) throw std::runtime_error(std::string(argv[i]) + ": not a JPEG");
      writer.AddPage(jpeg, frame->Width, frame->Height);
    }
    writer.Finish();
    std::printf("%s: %d pages\n", argv[1], writer.PageCount());
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
}
