// The live wallpaper's texts about the desktop it lives on, in English and
// Japanese: why it cannot start in a session, and why "Show desktop icons"
// cannot be switched on a desktop.
#pragma once

#include <string>

#include "wallpaper/DesktopAttach.h"
#include "wallpaper/IconLayer.h"

// Said once when attaching failed for want of an X11 session; empty for
// any other outcome (an unsupported desktop fails without a message).
std::string AttachFailureText(TAttachFailure failure, bool japanese);

// The short reason shown beside the greyed "Show desktop icons"; empty when
// the icons can be switched.
std::string IconToggleReason(TIconLayer layer, bool japanese);
