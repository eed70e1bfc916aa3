// Modal file dialogs owned by the main window (GTK's native choosers).
#pragma once

#include <gtk/gtk.h>

#include <optional>
#include <string>

#include "platform/Dialogs.h"

// The chosen folder, or nothing when cancelled.
std::optional<std::string> RunFolderDialog(GtkWindow* parent, const std::string& title);

// Shows the save dialog. When the environment variable TESSARY_TEST_SAVE_PATH
// is set (end-to-end tests), no dialog appears: that path is chosen with the
// file type its extension fits.
TSaveDialogResult RunSaveDialog(GtkWindow* parent, const TSaveDialogRequest& request);

// 1-based index of the first type whose mask fits the path's extension
// (ignoring letter case), else `fallback`.
int FileTypeForPath(const TSaveDialogRequest& request, const std::string& path, int fallback);
