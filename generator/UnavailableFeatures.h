// Commands of features this version does not have yet (saved creations).
// Each gets the answer that lets the page end its flow and tell
// the user; commands without an answer of their own are taken and dropped. A
// feature's unit replaces its rows here when it lands.
#pragma once

#include "shared/CommandTable.h"
#include "shared/UnitContext.h"

class TUnavailableFeatures {
 public:
  explicit TUnavailableFeatures(const TUnitContext& context) : FContext(context) {}
  void Register(TCommandTable& table);

 private:
  void RegisterAlbums(TCommandTable& table);

  const TUnitContext& FContext;
};
