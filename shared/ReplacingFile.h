// A file written piece by piece into a uniquely named sibling of its target
// and moved over the target only once it is whole, so that a write that stops
// halfway (an error, a cancel, the program killed) never leaves a file that
// looks complete, and an existing file of that name stays as it was until then.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

class TReplacingFile {
 public:
  // Creates the sibling "<path>.<random>.tmp" with O_EXCL.
  // Throws std::runtime_error("<path>: <system message>").
  explicit TReplacingFile(std::string path);
  // Removes the sibling unless committed.
  ~TReplacingFile();
  TReplacingFile(const TReplacingFile&) = delete;
  TReplacingFile& operator=(const TReplacingFile&) = delete;

  // Appends bytes. A failure removes the sibling and throws with the system's message.
  void Write(std::span<const std::uint8_t> bytes);
  void Write(const std::string& text);
  void Write(const void* data, std::size_t size);
  // Overwrites bytes already written (a header completed afterwards); the
  // append position stays where it was.
  void WriteAt(std::uint64_t offset, const void* data, std::size_t size);
  // Bytes appended so far.
  std::uint64_t Position() const { return FPosition; }
  // Flushes the sibling to disk, renames it over the target and flushes the
  // folder. A failure removes the sibling and throws with the system's message.
  void Commit();
  // Closes and removes the sibling; nothing happens once committed or discarded.
  void Discard() noexcept;

  bool IsOpen() const { return FFd >= 0; }
  const std::string& Path() const { return FPath; }
  const std::string& TempPath() const { return FTempPath; }

 private:
  [[noreturn]] void Fail(int error);

  std::string FPath;
  std::string FTempPath;
  int FFd = -1;
  std::uint64_t FPosition = 0;
};
