// Diagnostic lines on stderr: "Tessary [area] text".
#pragma once

#include <string>

void LogDiagnostic(const std::string& area, const std::string& text);
