// One answer to a browser resource request, as plain data. The browser layer
// turns it into its own response object.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <utility>
#include <vector>

struct TWebResponse {
  // False: the request is not answered here and continues to the browser's
  // own handling (for the page origin: the web folder on disk).
  bool answered = false;
  int status = 0;
  std::string reason;
  // In order; names as written, e.g. {"Content-Type", "image/png"}.
  std::vector<std::pair<std::string, std::string>> headers;

  // At most one of these carries the content; all empty means no content.
  std::vector<std::uint8_t> body;            // bytes made for this answer
  std::span<const std::uint8_t> resource;    // bytes embedded in the program
  std::string filePath;                      // a file to stream (opened read-only)

  // Set for answers that take long to make (a picture converted from HEIC):
  // the browser layer calls it off the window thread and sends what it
  // returns in place of this answer.
  std::function<TWebResponse()> makeLater;

  // Headers as one text with lines separated by CR LF.
  std::string HeaderText() const;
  const std::string* Header(const std::string& name) const;
};
