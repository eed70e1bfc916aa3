#include "shared/ReplacingFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <unistd.h>

namespace {

// Eight letters and digits, unpredictable enough that no other file has them.
std::string RandomSuffix() {
  static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937 random{std::random_device{}()};
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 2);
  std::string suffix(8, ' ');
  for (char& c : suffix) c = kAlphabet[pick(random)];
  return suffix;
}

// A rename lives in the folder's own entries, which reach the disk on their
// own schedule: without this a crash can bring back the old file. A folder
// the user may write into but not list cannot be opened for this; the file
// itself is on disk then, and the rename as durable as the system makes it.
void FlushFolderOf(const std::string& path) {
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  const int fd = ::open(parent.empty() ? "." : parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  // Some file systems cannot flush a folder at all (EINVAL): nothing to wait for there.
  const int result = ::fsync(fd);
  const int error = errno;
  ::close(fd);
  if (result != 0 && error != EINVAL) throw std::runtime_error(path + ": " + std::strerror(error));
}

}  // namespace

TReplacingFile::TReplacingFile(std::string path) : FPath(std::move(path)) {
  // A sibling of its own, so that no file of the user's (say "album.pdf.tmp")
  // is overwritten and two saves to one place never share a half-written
  // file. Created with O_EXCL under a random name; the kernel applies the
  // umask, so a saved file is as readable as any other file the user makes.
  for (int attempt = 0; FFd < 0; ++attempt) {
    FTempPath = FPath + "." + RandomSuffix() + ".tmp";
    FFd = ::open(FTempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (FFd < 0 && (errno != EEXIST || attempt >= 16)) {
      const int error = errno;
      FTempPath.clear();
      throw std::runtime_error(FPath + ": " + std::strerror(error));
    }
  }
}

TReplacingFile::~TReplacingFile() { Discard(); }

void TReplacingFile::Fail(int error) {
  Discard();
  throw std::runtime_error(FPath + ": " + std::strerror(error));
}

void TReplacingFile::Write(std::span<const std::uint8_t> bytes) { Write(bytes.data(), bytes.size()); }

void TReplacingFile::Write(const void* data, std::size_t size) {
  WriteAt(FPosition, data, size);
  FPosition += size;
}

void TReplacingFile::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
  if (FFd < 0) throw std::logic_error(FPath + ": written after it was closed");
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  std::size_t written = 0;
  while (written < size) {
    const ssize_t n = ::pwrite(FFd, bytes + written, size - written, static_cast<off_t>(offset + written));
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(errno);
    }
    written += static_cast<std::size_t>(n);
  }
}

void TReplacingFile::Write(const std::string& text) {
  Write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

void TReplacingFile::Commit() {
  if (FFd < 0) throw std::logic_error(FPath + ": committed after it was closed");
  if (::fsync(FFd) != 0) Fail(errno);
  const int fd = FFd;
  FFd = -1;
  if (::close(fd) != 0) {
    const int error = errno;
    ::unlink(FTempPath.c_str());
    throw std::runtime_error(FPath + ": " + std::strerror(error));
  }
  if (::rename(FTempPath.c_str(), FPath.c_str()) != 0) {
    const int error = errno;
    ::unlink(FTempPath.c_str());
    throw std::runtime_error(FPath + ": " + std::strerror(error));
  }
  FTempPath.clear();
  FlushFolderOf(FPath);
}

void TReplacingFile::Discard() noexcept {
  if (FFd < 0) return;
  ::close(FFd);
  FFd = -1;
  ::unlink(FTempPath.c_str());
}
