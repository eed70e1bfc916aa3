// Strict reading of single-volume ZIP archives that may come from anywhere.
// The whole structure is checked before any entry is unpacked: every central
// record agrees with its local header, the entries and the directory tile the
// file from its first byte to the end record without gap or overlap, and
// nothing encrypted, ZIP64 or packed with an unknown method is accepted.
// Unpacking then holds every entry to its declared sizes and CRC-32.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

// Where an archive's bytes come from: a file or, for tests and fuzzing, memory.
class IZipSource {
 public:
  virtual ~IZipSource() = default;
  virtual std::uint64_t Size() const = 0;
  // Reads exactly `size` bytes at `offset`; throws TZipError (zfCorrupt) when
  // they lie beyond the end, std::runtime_error when the system fails.
  virtual void ReadAt(std::uint64_t offset, void* data, std::size_t size) const = 0;
};

// A file opened for reading (others may keep reading and writing it).
// Throws std::runtime_error("<path>: <system message>") when it cannot be opened.
class TZipFileSource : public IZipSource {
 public:
  explicit TZipFileSource(const std::string& path);
  ~TZipFileSource() override;
  TZipFileSource(const TZipFileSource&) = delete;
  TZipFileSource& operator=(const TZipFileSource&) = delete;
  std::uint64_t Size() const override { return FSize; }
  void ReadAt(std::uint64_t offset, void* data, std::size_t size) const override;

 private:
  std::string FPath;
  int FFd = -1;
  std::uint64_t FSize = 0;
};

// Bytes held by the caller, who keeps them alive while the source is used.
class TZipMemorySource : public IZipSource {
 public:
  TZipMemorySource(const std::uint8_t* data, std::size_t size) : FData(data), FSize(size) {}
  std::uint64_t Size() const override { return FSize; }
  void ReadAt(std::uint64_t offset, void* data, std::size_t size) const override;

 private:
  const std::uint8_t* FData;
  std::size_t FSize;
};

enum TZipFault {
  zfNotZip,              // no acceptable end record
  zfUnsupported,         // ZIP64, encryption, unknown method or flags
  zfTooManyEntries,
  zfDirectoryTooLarge,
  zfCorrupt,             // anything inconsistent
};

// what() says in English what exactly was wrong, for diagnostics.
class TZipError : public std::runtime_error {
 public:
  TZipError(TZipFault fault, const std::string& detail) : std::runtime_error(detail), FFault(fault) {}
  TZipFault Fault() const { return FFault; }

 private:
  TZipFault FFault;
};

struct TZipLimits {
  std::uint32_t maxEntries = 0;
  std::uint32_t maxDirectoryBytes = 0;
};

struct TZipEndRecord {
  std::uint64_t position = 0;  // offset of the end record in the file
  std::uint32_t entryCount = 0;
  std::uint32_t directorySize = 0;
  std::uint32_t directoryOffset = 0;
};

struct TZipEntry {
  std::string name;  // the stored bytes as they are (may hold anything, NUL included)
  std::uint16_t flags = 0;
  std::uint16_t method = 0;  // 0 stored, 8 deflated
  std::uint32_t crc = 0;
  std::uint32_t packedSize = 0;
  std::uint32_t size = 0;
  std::uint64_t dataOffset = 0;  // first byte of the packed data
};

// Finds the end record within the last 65557 bytes: the last signature whose
// comment ends exactly at the end of the file, on disk 0, with equal entry
// counts; then refuses ZIP64 markers, counts and sizes above the limits and a
// directory reaching past the end record.
TZipEndRecord FindZipEndRecord(const IZipSource& source, const TZipLimits& limits);

// The entries in directory order, after checking the whole structure.
std::vector<TZipEntry> ReadZipDirectory(const IZipSource& source, const TZipLimits& limits);

// An entry name in quotes for diagnostics, control bytes written as \xNN.
std::string QuotedEntryName(const std::string& name);

// Unpacks one entry in blocks of 64 KiB. `onGrow` is told the number of bytes
// unpacked so far after every block and may throw to stop; bytes beyond the
// declared size are counted but not kept. A stream that ends early or late, a
// size or CRC-32 that differs from the record throws zfCorrupt. The caller
// bounds `entry.size`, which is reserved up front.
std::vector<std::uint8_t> ReadZipEntry(const IZipSource& source, const TZipEntry& entry,
                                       const std::function<void(std::uint64_t unpacked)>& onGrow);
