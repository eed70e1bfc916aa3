// Start at sign-in on Linux desktops: an XDG autostart entry
// ("<config home>/autostart/tessary.desktop") that starts the generator
// without options, which then restores the creation marked for it.
#pragma once

#include <string>

inline constexpr const char* kAutostartFileName = "tessary.desktop";

// The entry's text for `programPath`; empty when the path cannot be written
// in a desktop entry (it holds a control character).
std::string AutostartEntryText(const std::string& programPath);

// The `Exec` value that runs `programPath` with no arguments: the path in
// double quotes with `"`, `` ` ``, `$` and `\` escaped, then `\` doubled
// for the string value and `%` doubled for the field codes.
std::string QuotedExecValue(const std::string& programPath);

// Writes the entry into `<configHome>/autostart` (enable) or removes it
// (disable). False when it could not be written; removing an entry that is
// not there succeeds.
bool SetXdgAutostart(const std::string& configHome, const std::string& programPath, bool enable);
