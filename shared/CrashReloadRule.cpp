#include "shared/CrashReloadRule.h"

bool TCrashReloadRule::AllowReload() {
  const auto now = FClock();
  while (!FReloads.empty() && now - FReloads.front() >= FSpan) FReloads.pop_front();
  if (static_cast<int>(FReloads.size()) >= FMaxReloads) return false;
  FReloads.push_back(now);
  return true;
}
