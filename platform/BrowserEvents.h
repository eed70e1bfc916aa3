// What a browser view tells the program that shows a page in it. The
// generator's main window implements it, and so will the live wallpaper's
// window: the platform layer calls programs only through this interface.
// Everything is called on the window's thread.
#pragma once

#include <optional>
#include <string>

#include "shared/WebResponse.h"

class IBrowserEvents {
 public:
  virtual ~IBrowserEvents() = default;

  // The browser is ready to navigate (ok), or could not be made: `failure`
  // is the platform's own description of why.
  virtual void OnBrowserCreated(bool ok, const std::string& failure) = 0;
  // False: cancel this navigation.
  virtual bool AllowNavigation(const std::string& uri) = 0;
  virtual void OnNavigationCompleted(bool success) = 0;
  // The page's process ended and will not be started again.
  virtual void OnPageGone() = 0;
  // Answers one request on the program's origins; an unanswered response
  // lets the browser refuse it.
  virtual TWebResponse RouteRequest(const std::string& uri) = 0;
  // A message the page posted: `text` is nullopt when it was not a string;
  // `sourceUri` is the address of the document that posted it. Messages
  // arrive one at a time, in the order they were posted.
  virtual void OnPageMessage(const std::string& sourceUri, const std::optional<std::string>& text) = 0;
  // The user (or the page) asked to close the window. True: close now.
  virtual bool CloseQuery() = 0;
  // The window is being destroyed; no events follow.
  virtual void OnDestroyed() = 0;
};
