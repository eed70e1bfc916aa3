// The POSIX definitions of the file access the portable units use.
#include "shared/FileAccess.h"

#include "shared/ReplacingFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
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
  int Release() {
    const int fd = FFd;
    FFd = -1;
    return fd;
  }

 private:
  int FFd;
};

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
  file.Write(bytes);
  file.Commit();
}

void WriteFileDurably(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  TFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (fd.Get() < 0) ThrowSystemError(path, errno);
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(fd.Get(), bytes.data() + written, bytes.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowSystemError(path, errno);
    }
    written += static_cast<std::size_t>(n);
  }
  if (::fsync(fd.Get()) != 0) ThrowSystemError(path, errno);
  if (::close(fd.Release()) != 0) ThrowSystemError(path, errno);
}

void SyncFolder(const std::string& path) {
  TFd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.Get() < 0) ThrowSystemError(path, errno);
  if (::fsync(fd.Get()) != 0) ThrowSystemError(path, errno);
}

void ReplaceFileThroughTmp(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  const std::string temp = path + ".tmp";
  try {
    WriteFileDurably(temp, bytes);
    if (::rename(temp.c_str(), path.c_str()) != 0) ThrowSystemError(path, errno);
  } catch (...) {
    ::unlink(temp.c_str());
    throw;
  }
  // The rename is what readers see; flushing the folder makes it survive a
  // power cut too.
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  SyncFolder(folder.empty() ? "." : folder.string());
}

std::vector<std::uint8_t> BytesWithBom(const std::string& utf8) {
  std::vector<std::uint8_t> bytes(utf8.size() + 3);
  bytes[0] = 0xEF;
  bytes[1] = 0xBB;
  bytes[2] = 0xBF;
  std::copy(utf8.begin(), utf8.end(), bytes.begin() + 3);
  return bytes;
}

void WriteTextFileWithBom(const std::string& path, const std::string& utf8) {
  WriteFileReplacing(path, BytesWithBom(utf8));
}

std::string SkipUtf8Bom(std::string text) {
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
  return text;
}

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool SwapFolderIntoPlace(const std::string& from, const std::string& to) {
  // Linux swaps two names atomically; where that is not offered, a plain
  // rename still places a folder that did not exist yet.
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE) == 0) return true;
  const int exchangeError = errno;
  if (exchangeError != ENOENT && exchangeError != EINVAL && exchangeError != ENOSYS) ThrowSystemError(to, exchangeError);
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return false;
  ThrowSystemError(to, errno);
}
