#include "shared/Diagnostics.h"

#include <cstdio>

void LogDiagnostic(const std::string& area, const std::string& text) {
  std::fprintf(stderr, "Tessary [%s] %s\n", area.c_str(), text.c_str());
  std::fflush(stderr);
}
