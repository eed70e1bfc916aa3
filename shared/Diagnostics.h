// Diagnostic lines on stderr: "Tessary [area] text".
#pragma once

#include <string>

void LogDiagnostic(const std::string& area, const std::string& text);
// Off: the lines are dropped (a command-line run keeps stderr for its own
// progress and its one-line reason). On by default.
void SetDiagnosticsShown(bool shown);
