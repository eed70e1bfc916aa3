// Reading and writing whole files with the system's own error texts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Throws std::runtime_error("<path>: <system message>").
std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
// Writes to a uniquely named sibling, flushes it to disk and renames it over `path`,
// so a failed write never leaves a truncated file in the target's place.
// Throws std::runtime_error with the system's message; the sibling is removed.
void WriteFileReplacing(const std::string& path, const std::vector<std::uint8_t>& bytes);
bool IsRegularFile(const std::string& path);

// A file written in pieces that takes the place of `path` only when complete:
// the bytes go to a uniquely named sibling created with O_EXCL, and Commit
// flushes it to disk and renames it over `path`. Destroyed without a Commit,
// it removes the sibling, so an existing file stays as it was.
// Failures throw std::runtime_error("<path>: <system message>").
class TReplacingFile {
 public:
  explicit TReplacingFile(const std::string& path);
  ~TReplacingFile();
  TReplacingFile(const TReplacingFile&) = delete;
  TReplacingFile& operator=(const TReplacingFile&) = delete;

  void Write(const void* data, std::size_t size);
  // Overwrites bytes already written (a header completed afterwards).
  void WriteAt(std::uint64_t offset, const void* data, std::size_t size);
  std::uint64_t Position() const { return FPosition; }
  void Commit();

 private:
  [[noreturn]] void Fail(int error);

  std::string FPath;
  std::string FTempPath;
  int FFd = -1;
  std::uint64_t FPosition = 0;
};
