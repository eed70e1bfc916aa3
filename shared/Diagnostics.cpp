#include "shared/Diagnostics.h"

#include <atomic>
#include <cstdio>

namespace {
std::atomic<bool> gShown{true};
}

void LogDiagnostic(const std::string& area, const std::string& text) {
  if (!gShown) return;
  std::fprintf(stderr, "Tessary [%s] %s\n", area.c_str(), text.c_str());
  std::fflush(stderr);
}

void SetDiagnosticsShown(bool shown) { gShown = shown; }
