#include "shared/FileAccess.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

[[noreturn]] void ThrowSystemError(const std::string& path, int error) {
  throw std::runtime_error(path + ": " + std::strerror(error));
}

class TFd {
 public:
  explicit TFd(int fd) : FFd(fd) {}
  ~TFd() {
    if (FFd >= 0) ::close(FFd);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return FFd; }

 private:
  int FFd;
};

// Eight letters and digits, unpredictable enough that no other file has them.
std::string RandomSuffix() {
  static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937 random{std::random_device{}()};
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 2);
  std::string suffix(8, ' ');
  for (char& c : suffix) c = kAlphabet[pick(random)];
  return suffix;
}

}  // namespace

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
  TFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.Get() < 0) ThrowSystemError(path, errno);
  std::vector<std::uint8_t> bytes;
  std::uint8_t buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowSystemError(path, errno);
    }
    if (n == 0) break;
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  return bytes;
}

void WriteFileReplacing(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  TReplacingFile file(path);
  file.Write(bytes.data(), bytes.size());
  file.Commit();
}

TReplacingFile::TReplacingFile(const std::string& path) : FPath(path) {
  // A sibling of its own, so that no file of the user's (say "photo.png.tmp")
  // is overwritten and two saves to one place never share a half-written
  // file. Created with O_EXCL under a random name; the kernel applies the
  // umask, so a saved file is as readable as any other file the user makes.
  for (int attempt = 0; FFd < 0; ++attempt) {
    FTempPath = path + "." + RandomSuffix() + ".tmp";
    FFd = ::open(FTempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (FFd < 0 && (errno != EEXIST || attempt >= 16)) ThrowSystemError(path, errno);
  }
}

TReplacingFile::~TReplacingFile() {
  if (FFd >= 0) {
    ::close(FFd);
    ::unlink(FTempPath.c_str());
  }
}

void TReplacingFile::Fail(int error) {
  ::close(FFd);
  FFd = -1;
  ::unlink(FTempPath.c_str());
  ThrowSystemError(FPath, error);
}

void TReplacingFile::Write(const void* data, std::size_t size) {
  WriteAt(FPosition, data, size);
  FPosition += size;
}

void TReplacingFile::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
  if (FFd < 0) throw std::logic_error("TReplacingFile written after it ended");
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

void TReplacingFile::Commit() {
  if (FFd < 0) throw std::logic_error("TReplacingFile committed after it ended");
  if (::fsync(FFd) != 0) Fail(errno);
  const int fd = FFd;
  FFd = -1;
  if (::close(fd) != 0 || ::rename(FTempPath.c_str(), FPath.c_str()) != 0) {
    const int error = errno;
    ::unlink(FTempPath.c_str());
    ThrowSystemError(FPath, error);
  }
}

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
