#include "shared/ZipArchive.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace {

constexpr std::uint32_t kLocalSignature = 0x04034B50;
constexpr std::uint32_t kCentralSignature = 0x02014B50;
constexpr std::uint32_t kEndSignature = 0x06054B50;
constexpr std::uint32_t kDescriptorSignature = 0x08074B50;
constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kLongestComment = 65535;
constexpr std::size_t kCentralRecordSize = 46;
constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::size_t kBlockSize = 65536;

constexpr std::uint16_t kFlagEncrypted = 0x0001;
constexpr std::uint16_t kFlagDescriptor = 0x0008;
constexpr std::uint16_t kFlagStrongEncryption = 0x0040;
constexpr std::uint16_t kFlagMaskedDirectory = 0x2000;
// Deflate options (bits 1, 2), data descriptor (3) and UTF-8 names (11);
// everything else changes how the entry must be read, so it is refused.
constexpr std::uint16_t kKnownFlags = 0x0002 | 0x0004 | kFlagDescriptor | 0x0800;

constexpr std::uint16_t kStored = 0;
constexpr std::uint16_t kDeflated = 8;

std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t U32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

[[noreturn]] void Corrupt(const std::string& detail) { throw TZipError(zfCorrupt, detail); }

}  // namespace

std::string QuotedEntryName(const std::string& name) {
  std::string out = "\"";
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      static constexpr char kHex[] = "0123456789abcdef";
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else {
      out += c;
    }
  }
  return out + "\"";
}

namespace {

// One central directory record, with where its local header is.
struct TCentralRecord {
  TZipEntry entry;
  std::uint64_t headerOffset = 0;
  std::uint64_t end = 0;  // first byte after its data and descriptor
};

void CheckFlagsAndMethod(const TZipEntry& e) {
  if (e.flags & (kFlagEncrypted | kFlagStrongEncryption | kFlagMaskedDirectory)) {
    throw TZipError(zfUnsupported, "entry " + QuotedEntryName(e.name) + " is encrypted");
  }
  if (e.flags & ~kKnownFlags) {
    throw TZipError(zfUnsupported, "entry " + QuotedEntryName(e.name) + " has unknown flags " + std::to_string(e.flags));
  }
  if (e.method != kStored && e.method != kDeflated) {
    throw TZipError(zfUnsupported, "entry " + QuotedEntryName(e.name) + " uses method " + std::to_string(e.method));
  }
  if (e.method == kStored && e.packedSize != e.size) {
    Corrupt("stored entry " + QuotedEntryName(e.name) + " has different packed and unpacked sizes");
  }
}

// Parses the record at `pos` of the directory bytes and advances `pos` past it.
TCentralRecord ParseCentralRecord(const std::vector<std::uint8_t>& dir, std::size_t& pos) {
  if (dir.size() - pos < kCentralRecordSize || U32(&dir[pos]) != kCentralSignature) {
    Corrupt("directory record at " + std::to_string(pos) + " is missing or cut short");
  }
  const std::uint8_t* p = &dir[pos];
  TCentralRecord record;
  TZipEntry& e = record.entry;
  e.flags = U16(p + 8);
  e.method = U16(p + 10);
  e.crc = U32(p + 16);
  e.packedSize = U32(p + 20);
  e.size = U32(p + 24);
  const std::size_t nameLength = U16(p + 28);
  const std::size_t extraLength = U16(p + 30);
  const std::size_t commentLength = U16(p + 32);
  const std::uint16_t startDisk = U16(p + 34);
  record.headerOffset = U32(p + 42);
  const std::size_t length = kCentralRecordSize + nameLength + extraLength + commentLength;
  if (dir.size() - pos < length) Corrupt("directory record at " + std::to_string(pos) + " is cut short");
  e.name.assign(reinterpret_cast<const char*>(p + kCentralRecordSize), nameLength);
  pos += length;

  if (e.packedSize == 0xFFFFFFFF || e.size == 0xFFFFFFFF || record.headerOffset == 0xFFFFFFFF) {
    throw TZipError(zfUnsupported, "entry " + QuotedEntryName(e.name) + " needs ZIP64");
  }
  if (startDisk != 0) Corrupt("entry " + QuotedEntryName(e.name) + " starts on disk " + std::to_string(startDisk));
  CheckFlagsAndMethod(e);
  return record;
}

// Checks the local header against its central record, finds the data and the
// end of the entry (after its data descriptor, when it has one).
void ReadLocalHeader(const IZipSource& source, std::uint64_t limit, TCentralRecord& record) {
  TZipEntry& e = record.entry;
  const std::string what = "local header of " + QuotedEntryName(e.name);
  if (record.headerOffset + kLocalHeaderSize > limit) Corrupt(what + " lies beyond the entries");
  std::uint8_t h[kLocalHeaderSize];
  source.ReadAt(record.headerOffset, h, sizeof h);
  if (U32(h) != kLocalSignature) Corrupt(what + " is missing");
  const std::size_t nameLength = U16(h + 26);
  const std::size_t extraLength = U16(h + 28);
  if (U16(h + 6) != e.flags) Corrupt(what + " has other flags");
  if (U16(h + 8) != e.method) Corrupt(what + " has another method");
  const std::uint64_t nameOffset = record.headerOffset + kLocalHeaderSize;
  if (nameLength != e.name.size() || nameOffset + nameLength > limit) Corrupt(what + " has another name");
  std::string localName(nameLength, '\0');
  source.ReadAt(nameOffset, localName.data(), nameLength);
  if (localName != e.name) Corrupt(what + " has another name");

  // With a data descriptor the local header may leave CRC and sizes at zero.
  const std::uint32_t local[3] = {U32(h + 14), U32(h + 18), U32(h + 22)};
  const std::uint32_t central[3] = {e.crc, e.packedSize, e.size};
  for (int i = 0; i < 3; ++i) {
    const bool deferred = (e.flags & kFlagDescriptor) && local[i] == 0;
    if (local[i] != central[i] && !deferred) Corrupt(what + " has another CRC or size");
  }

  e.dataOffset = nameOffset + nameLength + extraLength;
  record.end = e.dataOffset + e.packedSize;
  if (record.end > limit) Corrupt("data of " + QuotedEntryName(e.name) + " reaches past the entries");
  if (!(e.flags & kFlagDescriptor)) return;

  // The descriptor repeats CRC and sizes, with or without its signature.
  std::uint8_t d[16] = {};
  const std::size_t available = static_cast<std::size_t>(std::min<std::uint64_t>(16, limit - record.end));
  source.ReadAt(record.end, d, available);
  const auto repeats = [&](const std::uint8_t* q, std::size_t length) {
    return length <= available && U32(q) == e.crc && U32(q + 4) == e.packedSize && U32(q + 8) == e.size;
  };
  if (available >= 16 && U32(d) == kDescriptorSignature && repeats(d + 4, 16)) {
    record.end += 16;
  } else if (repeats(d, 12)) {
    record.end += 12;
  } else {
    Corrupt("data descriptor of " + QuotedEntryName(e.name) + " disagrees with the directory");
  }
}

}  // namespace

TZipFileSource::TZipFileSource(const std::string& path) : FPath(path) {
  FFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (FFd < 0 || ::fstat(FFd, &st) != 0) {
    const int error = errno;
    if (FFd >= 0) ::close(FFd);
    throw std::runtime_error(path + ": " + std::strerror(error));
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(FFd);
    throw std::runtime_error(path + ": " + std::strerror(S_ISDIR(st.st_mode) ? EISDIR : EINVAL));
  }
  FSize = static_cast<std::uint64_t>(st.st_size);
}

TZipFileSource::~TZipFileSource() { ::close(FFd); }

void TZipFileSource::ReadAt(std::uint64_t offset, void* data, std::size_t size) const {
  auto* bytes = static_cast<std::uint8_t*>(data);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(FFd, bytes + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error(FPath + ": " + std::strerror(errno));
    }
    // The file shrank since it was opened.
    if (n == 0) Corrupt("the file ends at " + std::to_string(offset + done));
    done += static_cast<std::size_t>(n);
  }
}

void TZipMemorySource::ReadAt(std::uint64_t offset, void* data, std::size_t size) const {
  if (offset > FSize || size > FSize - offset) Corrupt("the file ends at " + std::to_string(FSize));
  if (size > 0) std::memcpy(data, FData + offset, size);
}

TZipEndRecord FindZipEndRecord(const IZipSource& source, const TZipLimits& limits) {
  const std::uint64_t fileSize = source.Size();
  if (fileSize < kEndRecordSize) throw TZipError(zfNotZip, "shorter than an end record");
  const std::size_t tailSize =
      static_cast<std::size_t>(std::min<std::uint64_t>(fileSize, kEndRecordSize + kLongestComment));
  std::vector<std::uint8_t> tail(tailSize);
  const std::uint64_t tailStart = fileSize - tailSize;
  source.ReadAt(tailStart, tail.data(), tailSize);

  for (std::size_t pos = tailSize - kEndRecordSize + 1; pos-- > 0;) {
    const std::uint8_t* p = &tail[pos];
    if (U32(p) != kEndSignature) continue;
    const bool endsAtEnd = pos + kEndRecordSize + U16(p + 20) == tailSize;
    const bool firstDisk = U16(p + 4) == 0 && U16(p + 6) == 0;
    if (!endsAtEnd || !firstDisk || U16(p + 8) != U16(p + 10)) continue;

    TZipEndRecord end;
    end.position = tailStart + pos;
    end.entryCount = U16(p + 10);
    end.directorySize = U32(p + 12);
    end.directoryOffset = U32(p + 16);
    if (end.entryCount == 0xFFFF || end.directorySize == 0xFFFFFFFF || end.directoryOffset == 0xFFFFFFFF) {
      throw TZipError(zfUnsupported, "the end record carries ZIP64 markers");
    }
    if (end.entryCount > limits.maxEntries) {
      throw TZipError(zfTooManyEntries, std::to_string(end.entryCount) + " entries");
    }
    if (end.directorySize > limits.maxDirectoryBytes) {
      throw TZipError(zfDirectoryTooLarge, "a directory of " + std::to_string(end.directorySize) + " bytes");
    }
    if (std::uint64_t{end.directoryOffset} + end.directorySize > end.position) {
      Corrupt("the directory overlaps the end record");
    }
    return end;
  }
  throw TZipError(zfNotZip, "no end record ends at the end of the file");
}

std::vector<TZipEntry> ReadZipDirectory(const IZipSource& source, const TZipLimits& limits) {
  const TZipEndRecord end = FindZipEndRecord(source, limits);
  // Anything between the directory and the end record (a ZIP64 locator, a
  // hidden payload) has no place in an archive this reader accepts.
  if (std::uint64_t{end.directoryOffset} + end.directorySize != end.position) {
    Corrupt("bytes lie between the directory and the end record");
  }
  std::vector<std::uint8_t> dir(end.directorySize);
  source.ReadAt(end.directoryOffset, dir.data(), dir.size());

  std::vector<TCentralRecord> records;
  records.reserve(end.entryCount);
  std::size_t pos = 0;
  for (std::uint32_t i = 0; i < end.entryCount; ++i) {
    records.push_back(ParseCentralRecord(dir, pos));
    ReadLocalHeader(source, end.directoryOffset, records.back());
  }
  if (pos != dir.size()) Corrupt("the directory holds more than its records");

  // The entries must follow one another from the first byte to the
  // directory: no prefix, no gap that could hide data, no shared bytes.
  std::vector<const TCentralRecord*> byOffset;
  for (const TCentralRecord& record : records) byOffset.push_back(&record);
  std::sort(byOffset.begin(), byOffset.end(),
            [](const TCentralRecord* a, const TCentralRecord* b) { return a->headerOffset < b->headerOffset; });
  std::uint64_t expected = 0;
  for (const TCentralRecord* record : byOffset) {
    if (record->headerOffset < expected) Corrupt("entry " + QuotedEntryName(record->entry.name) + " overlaps another");
    if (record->headerOffset > expected) {
      Corrupt("bytes lie before entry " + QuotedEntryName(record->entry.name) + " at " + std::to_string(expected));
    }
    expected = record->end;
  }
  if (expected != end.directoryOffset) Corrupt("bytes lie between the last entry and the directory");

  std::vector<TZipEntry> entries;
  entries.reserve(records.size());
  for (TCentralRecord& record : records) entries.push_back(std::move(record.entry));
  return entries;
}

std::vector<std::uint8_t> ReadZipEntry(const IZipSource& source, const TZipEntry& entry,
                                       const std::function<void(std::uint64_t unpacked)>& onGrow) {
  std::vector<std::uint8_t> out;
  out.reserve(entry.size);
  std::uint64_t unpacked = 0;
  const auto take = [&](const std::uint8_t* data, std::size_t size) {
    if (size == 0) return;
    const std::size_t keep = static_cast<std::size_t>(std::min<std::uint64_t>(size, entry.size - out.size()));
    out.insert(out.end(), data, data + keep);
    unpacked += size;
    onGrow(unpacked);
  };

  std::vector<std::uint8_t> input(kBlockSize);
  std::uint64_t readPos = entry.dataOffset;
  std::uint64_t packedLeft = entry.packedSize;
  const auto nextInput = [&]() {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(packedLeft, kBlockSize));
    source.ReadAt(readPos, input.data(), n);
    readPos += n;
    packedLeft -= n;
    return n;
  };

  if (entry.method == kStored) {
    while (packedLeft > 0) {
      const std::size_t n = nextInput();
      take(input.data(), n);
    }
  } else {
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) throw std::runtime_error("zlib: cannot start unpacking");
    const std::unique_ptr<z_stream, int (*)(z_stream*)> guard(&z, inflateEnd);
    std::vector<std::uint8_t> output(kBlockSize);
    for (;;) {
      if (z.avail_in == 0 && packedLeft > 0) {
        z.avail_in = static_cast<uInt>(nextInput());
        z.next_in = input.data();
      }
      z.next_out = output.data();
      z.avail_out = static_cast<uInt>(output.size());
      const int rc = inflate(&z, Z_NO_FLUSH);
      take(output.data(), output.size() - z.avail_out);
      if (rc == Z_STREAM_END) break;
      if (rc == Z_BUF_ERROR && z.avail_in == 0 && packedLeft == 0) {
        Corrupt("packed data of " + QuotedEntryName(entry.name) + " ends inside its stream");
      }
      if (rc != Z_OK) {
        Corrupt("packed data of " + QuotedEntryName(entry.name) + " is damaged (" + (z.msg ? z.msg : "zlib") + ")");
      }
    }
    if (z.avail_in != 0 || packedLeft != 0) Corrupt("packed data of " + QuotedEntryName(entry.name) + " goes on after its stream");
  }

  if (unpacked != entry.size) {
    Corrupt(QuotedEntryName(entry.name) + " unpacks to " + std::to_string(unpacked) + " bytes, not " +
            std::to_string(entry.size));
  }
  const auto crc = static_cast<std::uint32_t>(crc32_z(crc32(0, Z_NULL, 0), out.data(), out.size()));
  if (crc != entry.crc) Corrupt("CRC-32 of " + QuotedEntryName(entry.name) + " does not match");
  return out;
}
