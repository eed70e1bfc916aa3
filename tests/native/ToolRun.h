// Running a command-line tool from a test and keeping what it printed.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/wait.h>

struct TToolRun {
  int code = -1;  // the exit code; -1 when it did not exit normally
  std::string output;
};

// Runs `command` through the shell with stderr joined to stdout.
inline TToolRun RunTool(const std::string& command) {
  TToolRun run;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.output.append(buffer, n);
  const int status = ::pclose(pipe);
  if (status != -1 && WIFEXITED(status)) run.code = WEXITSTATUS(status);
  return run;
}

inline std::string ShellQuoted(const std::filesystem::path& path) {
  std::string quoted = "'";
  for (const char c : path.string()) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}
