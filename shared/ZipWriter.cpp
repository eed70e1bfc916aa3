#include "shared/ZipWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <stdexcept>
#include <unistd.h>
#include <zlib.h>

namespace {

constexpr std::size_t kBlockSize = 65536;
constexpr std::uint16_t kVersion = 20;  // 2.0: deflate
constexpr std::uint16_t kDeflated = 8;
// Sizes and offsets must stay below the ZIP64 markers.
constexpr std::uint64_t kLargest = 0xFFFFFFFE;

class TBytes {
 public:
  void U16(std::uint16_t v) { FData.insert(FData.end(), {std::uint8_t(v), std::uint8_t(v >> 8)}); }
  void U32(std::uint32_t v) {
    FData.insert(FData.end(), {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)});
  }
  void Text(const std::string& s) { FData.insert(FData.end(), s.begin(), s.end()); }
  const std::vector<std::uint8_t>& Data() const { return FData; }

 private:
  std::vector<std::uint8_t> FData;
};

std::uint32_t Checked(std::uint64_t value) {
  if (value > kLargest) throw std::runtime_error("The package would exceed 4 GiB");
  return static_cast<std::uint32_t>(value);
}

}  // namespace

TZipWriter::TZipWriter(TReplacingFile& file, std::time_t modified) : FFile(file) {
  std::tm local{};
  localtime_r(&modified, &local);
  // DOS dates begin in 1980.
  const int year = local.tm_year + 1900 < 1980 ? 0 : local.tm_year + 1900 - 1980;
  FDosTime = static_cast<std::uint16_t>(local.tm_hour << 11 | local.tm_min << 5 | local.tm_sec / 2);
  FDosDate = static_cast<std::uint16_t>(year << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);
}

void TZipWriter::Add(const std::string& name, const TReadFn& read, int level) {
  TRecord record;
  record.name = name;
  record.headerOffset = Checked(FFile.Position());

  // The header goes first with CRC and sizes still zero; they are filled in
  // once the data is through, so nothing needs holding in memory.
  TBytes header;
  header.U32(0x04034B50);
  header.U16(kVersion);
  header.U16(0);  // flags
  header.U16(kDeflated);
  header.U16(FDosTime);
  header.U16(FDosDate);
  header.U32(0);  // CRC-32
  header.U32(0);  // packed size
  header.U32(0);  // size
  header.U16(static_cast<std::uint16_t>(name.size()));
  header.U16(0);  // extra field
  header.Text(name);
  FFile.Write(header.Data().data(), header.Data().size());

  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::runtime_error("zlib: cannot start packing");
  }
  const std::unique_ptr<z_stream, int (*)(z_stream*)> guard(&z, deflateEnd);
  std::vector<std::uint8_t> input(kBlockSize);
  std::vector<std::uint8_t> output(kBlockSize);
  std::uint64_t size = 0;
  std::uint64_t packed = 0;
  uLong crc = crc32(0, Z_NULL, 0);
  int flush = Z_NO_FLUSH;
  while (flush != Z_FINISH) {
    const std::size_t n = read(input.data(), input.size());
    flush = n == 0 ? Z_FINISH : Z_NO_FLUSH;
    crc = crc32_z(crc, input.data(), n);
    size += n;
    z.next_in = input.data();
    z.avail_in = static_cast<uInt>(n);
    do {
      z.next_out = output.data();
      z.avail_out = static_cast<uInt>(output.size());
      deflate(&z, flush);  // cannot fail with a valid stream and room to write
      const std::size_t produced = output.size() - z.avail_out;
      FFile.Write(output.data(), produced);
      packed += produced;
    } while (z.avail_out == 0);
  }

  record.crc = static_cast<std::uint32_t>(crc);
  record.size = Checked(size);
  record.packedSize = Checked(packed);
  Checked(FFile.Position());
  TBytes sizes;
  sizes.U32(record.crc);
  sizes.U32(record.packedSize);
  sizes.U32(record.size);
  FFile.WriteAt(record.headerOffset + 14, sizes.Data().data(), sizes.Data().size());
  FRecords.push_back(std::move(record));
}

void TZipWriter::AddBytes(const std::string& name, const std::uint8_t* data, std::size_t size, int level) {
  std::size_t done = 0;
  Add(
      name,
      [&](std::uint8_t* buffer, std::size_t capacity) {
        const std::size_t n = std::min(capacity, size - done);
        if (n > 0) std::memcpy(buffer, data + done, n);
        done += n;
        return n;
      },
      level);
}

void TZipWriter::AddFile(const std::string& name, const std::string& path, int level) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error(path + ": " + std::strerror(errno));
  struct TCloser {
    int fd;
    ~TCloser() { ::close(fd); }
  } closer{fd};
  Add(
      name,
      [&](std::uint8_t* buffer, std::size_t capacity) {
        for (;;) {
          const ssize_t n = ::read(fd, buffer, capacity);
          if (n >= 0) return static_cast<std::size_t>(n);
          if (errno != EINTR) throw std::runtime_error(path + ": " + std::strerror(errno));
        }
      },
      level);
}

void TZipWriter::Finish() {
  if (FRecords.size() >= 0xFFFF) throw std::runtime_error("The package would hold too many entries");
  const std::uint32_t directoryOffset = Checked(FFile.Position());
  TBytes dir;
  for (const TRecord& r : FRecords) {
    dir.U32(0x02014B50);
    dir.U16(kVersion);  // made by: 2.0, MS-DOS attributes
    dir.U16(kVersion);
    dir.U16(0);  // flags
    dir.U16(kDeflated);
    dir.U16(FDosTime);
    dir.U16(FDosDate);
    dir.U32(r.crc);
    dir.U32(r.packedSize);
    dir.U32(r.size);
    dir.U16(static_cast<std::uint16_t>(r.name.size()));
    dir.U16(0);  // extra field
    dir.U16(0);  // comment
    dir.U16(0);  // disk
    dir.U16(0);  // internal attributes
    dir.U32(0);  // external attributes
    dir.U32(r.headerOffset);
    dir.Text(r.name);
  }
  const auto count = static_cast<std::uint16_t>(FRecords.size());
  const std::uint32_t directorySize = Checked(dir.Data().size());
  dir.U32(0x06054B50);
  dir.U16(0);  // this disk
  dir.U16(0);  // disk of the directory
  dir.U16(count);
  dir.U16(count);
  dir.U32(directorySize);
  dir.U32(directoryOffset);
  dir.U16(0);  // comment
  FFile.Write(dir.Data().data(), dir.Data().size());
  Checked(FFile.Position());
}
