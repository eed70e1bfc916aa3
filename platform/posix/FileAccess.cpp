// The POSIX definitions of the file access the portable units use.
#include "shared/FileAccess.h"

#include "shared/ReplacingFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
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

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
