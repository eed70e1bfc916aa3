// Short messages to the user from a program without a window of its own:
// the desktop's notification service (org.freedesktop.Notifications on the
// session bus), as the notification area's balloons are elsewhere. Where no
// such service runs the message goes only to the diagnostic output.
#pragma once

#include <string>

class TDesktopNotices {
 public:
  // `appName`: the program as the notification service lists it.
  explicit TDesktopNotices(std::string appName);
  // Fire and forget; never blocks the window's thread.
  void Show(const std::string& title, const std::string& text);

 private:
  std::string FAppName;
};
