#include "shared/EventScript.h"

std::string BuildEventScript(const std::string& event, const TJson& payload) {
  return "window.kobHost.emit(" + WriteJsonString(event) + ", " + WriteJson(payload) + ");";
}

std::string BuildEventScript(const std::string& event) {
  return "window.kobHost.emit(" + WriteJsonString(event) + ");";
}
