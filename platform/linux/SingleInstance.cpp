#include "platform/linux/SingleInstance.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

std::string TSingleInstance::LockPath(const std::string& name) {
  const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
  if (runtimeDir && *runtimeDir) return std::string(runtimeDir) + "/" + name + ".lock";
  return "/tmp/" + name + "-" + std::to_string(getuid()) + ".lock";
}

TSingleInstance::TSingleInstance(const std::string& name) {
  const std::string path = LockPath(name);
  // Close-on-exec: the browser's child processes must not keep the lock alive.
  FFd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (FFd < 0) throw std::runtime_error(path + ": " + std::strerror(errno));
  if (flock(FFd, LOCK_EX | LOCK_NB) == 0) {
    FOwned = true;
    return;
  }
  const int err = errno;
  if (err == EWOULDBLOCK) return;
  close(FFd);
  FFd = -1;
  throw std::runtime_error(path + ": " + std::strerror(err));
}

TSingleInstance::~TSingleInstance() {
  if (FFd >= 0) close(FFd);
}
