// Script text that emits one host event in the page.
#pragma once

#include <string>

#include "shared/JsonWriter.h"

// window.kobHost.emit("name", {...});
std::string BuildEventScript(const std::string& event, const TJson& payload);
// window.kobHost.emit("name");
std::string BuildEventScript(const std::string& event);
