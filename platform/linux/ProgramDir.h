// Where our own program file lies: its sibling programs, plugins and page
// files are found from there.
#pragma once

#include <string>

// The folder of /proc/self/exe; the working folder when that cannot be read.
std::string OwnProgramDir();
