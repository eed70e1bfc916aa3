#include "generator/UnavailableFeatures.h"

#include <stdexcept>

#include "generator/HostTexts.h"

void TUnavailableFeatures::Register(TCommandTable& table) {
  RegisterAlbums(table);
}

// The answers are failures with the feature's own text: the table's boundary
// turns each into the command's error event.
void TUnavailableFeatures::RegisterAlbums(TCommandTable& table) {
  const auto unavailable = [this](const TCommand&) {
    throw std::runtime_error(HostText(THostText::htAlbumsUnavailable, FContext.Japanese()));
  };
  for (const char* name : {"albumSaveList", "albumSave", "albumLoad", "albumDelete"})
    table.Add(name, unavailable, ErrorEvent("albumError"));
}
