// Lets a test meet file permissions as a user does: the tests may run as
// root, who writes into read-only folders. While the scope lives, the
// effective user is "nobody" (65534); an ordinary user stays as they are.
#pragma once

#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

class TUnprivilegedScope {
 public:
  TUnprivilegedScope() : FWasRoot(::geteuid() == 0) {
    if (FWasRoot && ::seteuid(65534) != 0) throw std::runtime_error("seteuid(nobody) failed");
  }
  ~TUnprivilegedScope() {
    if (FWasRoot && ::seteuid(0) != 0) std::abort();
  }
  TUnprivilegedScope(const TUnprivilegedScope&) = delete;
  TUnprivilegedScope& operator=(const TUnprivilegedScope&) = delete;

 private:
  bool FWasRoot;
};
