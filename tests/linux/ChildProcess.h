// A program started by a test, with its output in pipes; killed and reaped
// when the test lets go of it.
#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class TChildProcess {
 public:
  // Starts argv[0] (a path) with the test's environment.
  explicit TChildProcess(const std::vector<std::string>& argv);
  ~TChildProcess();
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;

  pid_t Pid() const { return FPid; }
  // The next line of standard output without its newline; nullopt when none
  // came within `timeoutMs` or the output ended.
  std::optional<std::string> ReadLine(int timeoutMs);
  // The exit code, or 128 + the signal; nullopt when still running after `timeoutMs`.
  std::optional<int> Wait(int timeoutMs);
  void Signal(int signal);
  // What the program wrote to standard output (not yet read) and standard error, once it has ended.
  std::string RestOfStdout();
  std::string Stderr();

 private:
  pid_t FPid = -1;
  int FOut = -1;
  int FErr = -1;
  std::string FOutBuffer;
  std::optional<int> FStatus;
};

// Looks every 10 ms until `condition` holds; false when it did not within `timeoutMs`.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs);
