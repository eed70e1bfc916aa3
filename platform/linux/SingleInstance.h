// One running instance per user session: an exclusive flock on a lock file
// in the user's runtime folder stands in for a named mutex. The lock goes
// away with the process, also when it crashes.
#pragma once

#include <string>

class TSingleInstance {
 public:
  // Opens the lock file for `name` and tries to take it. Throws
  // std::runtime_error with the system's message when the file cannot be used.
  explicit TSingleInstance(const std::string& name);
  ~TSingleInstance();
  TSingleInstance(const TSingleInstance&) = delete;
  TSingleInstance& operator=(const TSingleInstance&) = delete;

  // True when another process holds the lock.
  bool AlreadyRunning() const { return !FOwned; }

  // $XDG_RUNTIME_DIR/<name>.lock, else /tmp/<name>-<uid>.lock.
  static std::string LockPath(const std::string& name);

 private:
  int FFd = -1;
  bool FOwned = false;
};
