// The four virtual origins as custom URI schemes of the browser: registered
// as secure and CORS-enabled, every request answered from the core's routing.
#pragma once

#include <webkit2/webkit2.h>

#include <functional>
#include <string>

#include "platform/linux/BackgroundWork.h"
#include "shared/WebResponse.h"

// Answers one request URI (the core's routing plus the web-folder fallback).
using TWebRouter = std::function<TWebResponse(const std::string& uri)>;

// Registers the schemes on `context`; `router` and `background` (where
// answers that take long are made) must outlive the context.
void RegisterWebSchemes(WebKitWebContext* context, TWebRouter* router, TBackgroundWork* background);

// The browser's response for a routing answer: headers as given, plus
// Content-Type and Access-Control-Allow-Origin when the answer has none.
WebKitURISchemeResponse* BuildSchemeResponse(const TWebResponse& answer);
