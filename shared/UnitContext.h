// What a program's unit works with instead of its window's own fields: the
// page's event channel, the user's language, dialogs, the main loop, system
// facts, the chunked transfers (whose limits all units share) and background
// work per request. The window builds one and hands it to every unit.
#pragma once

#include <functional>
#include <string>

#include "platform/Dialogs.h"
#include "platform/MainLoop.h"
#include "platform/SystemServices.h"
#include "shared/CommandTable.h"
#include "shared/HostBridge.h"
#include "shared/RequestWork.h"

struct TUnitContext {
  TEmitFn emit;
  std::function<bool()> japanese;  // the language of the host's own texts, now
  IDialogs& dialogs;
  IMainLoop& loop;
  ISystemServices& system;
  THostBridge& bridge;
  TRequestWork& work;

  void Emit(const std::string& event, const TJson& payload) const { emit(event, payload); }
  bool Japanese() const { return japanese(); }
};
