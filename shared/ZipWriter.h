// Writing a plain ZIP archive (single volume, no ZIP64, every entry deflated)
// into a file that replaces its target only when complete.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "shared/ReplacingFile.h"

class TZipWriter {
 public:
  // `modified`: the local time stamped on every entry.
  TZipWriter(TReplacingFile& file, std::time_t modified);

  // Deflates what `read` yields: it fills the buffer it is given and returns
  // the count, 0 at the end.
  using TReadFn = std::function<std::size_t(std::uint8_t* buffer, std::size_t capacity)>;
  void Add(const std::string& name, const TReadFn& read, int level);
  void AddBytes(const std::string& name, const std::uint8_t* data, std::size_t size, int level);
  // Throws std::runtime_error("<path>: <system message>") when the file cannot be read.
  void AddFile(const std::string& name, const std::string& path, int level);
  // Writes the directory and the end record; the caller then commits the file.
  void Finish();

 private:
  struct TRecord {
    std::string name;
    std::uint32_t crc = 0;
    std::uint32_t packedSize = 0;
    std::uint32_t size = 0;
    std::uint32_t headerOffset = 0;
  };

  TReplacingFile& FFile;
  std::uint16_t FDosTime = 0;
  std::uint16_t FDosDate = 0;
  std::vector<TRecord> FRecords;
};
