// A program's window with its browser view, as the program drives it.
#pragma once

#include <string>

class IHostWindow {
 public:
  virtual ~IHostWindow() = default;

  // Runs one line of script in the page, fire and forget, in call order.
  virtual void RunScript(const std::string& script) = 0;
  // Locks the browser down: developer tools, context menu and accelerator keys off.
  virtual void LockDownBrowser() = 0;
  virtual void Navigate(const std::string& uri) = 0;

  virtual void SetTitle(const std::string& utf8Title) = 0;
  // Closes the window without asking the program again for leave.
  virtual void Close() = 0;
  virtual void BringToFront() = 0;
};

// How a program's window appears; chosen when the window is made.
enum class TWindowKind {
  wkNormal,           // a decorated application window
  wkHiddenWorker,     // never on screen and never in the task list, while its page loads and runs
  wkDesktopBackdrop,  // borderless, screen-sized, kept behind the desktop icons, never in the task list
};
