#include "platform/linux/GlibMainLoop.h"

#include <glib.h>

#include <exception>
#include <string>
#include <utility>

#include "shared/Diagnostics.h"

int TGlibMainLoop::StartTimer(int intervalMs, std::function<void()> onTick) {
  auto* tick = new std::function<void()>(std::move(onTick));
  return static_cast<int>(g_timeout_add_full(
      G_PRIORITY_DEFAULT, static_cast<guint>(intervalMs),
      [](gpointer data) -> gboolean {
        // Nothing may unwind into GLib.
        try {
          (*static_cast<std::function<void()>*>(data))();
        } catch (const std::exception& error) {
          LogDiagnostic("timer", error.what());
        }
        return G_SOURCE_CONTINUE;
      },
      tick, [](gpointer data) { delete static_cast<std::function<void()>*>(data); }));
}

void TGlibMainLoop::StopTimer(int id) {
  if (id > 0) g_source_remove(static_cast<guint>(id));
}

void TGlibMainLoop::RunInBackground(std::function<void()> work, std::function<void()> done) {
  FBackground.Run(std::move(work), std::move(done));
}
