// Every interface the portable units need from the operating system, for
// units that use several. The platform layer (platform/linux) implements
// them; the tests use fakes.
#pragma once

#include "platform/BrowserEvents.h"
#include "platform/Dialogs.h"
#include "platform/HostWindow.h"
#include "platform/ImageCodec.h"
#include "platform/MainLoop.h"
#include "platform/SystemServices.h"
