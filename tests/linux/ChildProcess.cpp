#include "tests/linux/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <utility>

extern char** environ;

namespace {

using TClock = std::chrono::steady_clock;

int RemainingMs(TClock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Everything readable from `fd` until its end or until nothing arrives for `quietMs`.
std::string Drain(int fd, int quietMs) {
  std::string text;
  char buffer[4096];
  pollfd p{fd, POLLIN, 0};
  while (fd >= 0 && ::poll(&p, 1, quietMs) > 0) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  return text;
}

}  // namespace

TChildProcess::TChildProcess(const std::vector<std::string>& argv) {
  int out[2];
  int err[2];
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error(std::strerror(errno));
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const int result = ::posix_spawn(&FPid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  ::close(err[1]);
  FOut = out[0];
  FErr = err[0];
  if (result != 0) throw std::runtime_error(argv[0] + ": " + std::strerror(result));
}

TChildProcess::~TChildProcess() {
  if (!FStatus) {
    ::kill(FPid, SIGKILL);
    Wait(5000);
  }
  ::close(FOut);
  ::close(FErr);
}

std::optional<std::string> TChildProcess::ReadLine(int timeoutMs) {
  const TClock::time_point deadline = TClock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (const std::size_t end = FOutBuffer.find('\n'); end != std::string::npos) {
      std::string line = FOutBuffer.substr(0, end);
      FOutBuffer.erase(0, end + 1);
      return line;
    }
    pollfd p{FOut, POLLIN, 0};
    if (::poll(&p, 1, RemainingMs(deadline)) <= 0) return std::nullopt;
    char buffer[4096];
    const ssize_t n = ::read(FOut, buffer, sizeof buffer);
    if (n <= 0) return std::nullopt;
    FOutBuffer.append(buffer, static_cast<std::size_t>(n));
  }
}

std::optional<int> TChildProcess::Wait(int timeoutMs) {
  const TClock::time_point deadline = TClock::now() + std::chrono::milliseconds(timeoutMs);
  while (!FStatus) {
    int status = 0;
    const pid_t done = ::waitpid(FPid, &status, WNOHANG);
    if (done == FPid) {
      FStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    } else if (done < 0 && errno != EINTR) {
      throw std::runtime_error(std::strerror(errno));
    } else if (TClock::now() >= deadline) {
      return std::nullopt;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  return FStatus;
}

void TChildProcess::Signal(int signal) { ::kill(FPid, signal); }

std::string TChildProcess::RestOfStdout() { return std::exchange(FOutBuffer, {}) + Drain(FOut, 50); }

std::string TChildProcess::Stderr() { return Drain(FErr, 50); }

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
  const TClock::time_point deadline = TClock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (TClock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}
