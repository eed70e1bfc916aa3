#include "platform/linux/FileDialogs.h"

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "shared/TextUtil.h"

namespace {

constexpr const char* kTestSavePathVar = "TESSARY_TEST_SAVE_PATH";

std::vector<std::string> MaskPatterns(const std::string& mask) {
  std::vector<std::string> patterns;
  std::size_t start = 0;
  while (start <= mask.size()) {
    const std::size_t end = std::min(mask.find(';', start), mask.size());
    if (end > start) patterns.push_back(mask.substr(start, end - start));
    start = end + 1;
  }
  return patterns;
}

std::string AddDefaultExtension(const std::string& path, const std::string& defaultExt) {
  if (defaultExt.empty() || std::filesystem::path(path).has_extension()) return path;
  return path + "." + defaultExt;
}

}  // namespace

int FileTypeForPath(const TSaveDialogRequest& request, const std::string& path, int fallback) {
  const std::string extension = LowerExtension(path);
  for (std::size_t i = 0; i < request.types.size(); ++i)
    for (const std::string& pattern : MaskPatterns(request.types[i].mask))
      if (!extension.empty() && EqualsNoCase(pattern, "*" + extension)) return static_cast<int>(i) + 1;
  return fallback;
}

std::optional<std::string> RunFolderDialog(GtkWindow* parent, const std::string& title) {
  GtkFileChooserNative* dialog = gtk_file_chooser_native_new(title.c_str(), parent,
                                                             GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, nullptr, nullptr);
  gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(dialog), TRUE);
  std::optional<std::string> folder;
  if (gtk_native_dialog_run(GTK_NATIVE_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
    gchar* path = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog));
    if (path) folder = path;
    g_free(path);
  }
  g_object_unref(dialog);
  return folder;
}

TSaveDialogResult RunSaveDialog(GtkWindow* parent, const TSaveDialogRequest& request) {
  if (const char* testPath = std::getenv(kTestSavePathVar); testPath && *testPath)
    return {true, testPath, FileTypeForPath(request, testPath, request.defaultTypeIndex), {}};

  GtkFileChooserNative* dialog =
      gtk_file_chooser_native_new(request.title.c_str(), parent, GTK_FILE_CHOOSER_ACTION_SAVE, nullptr, nullptr);
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
  gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(dialog), TRUE);
  gtk_file_chooser_set_do_overwrite_confirmation(chooser, TRUE);
  std::vector<GtkFileFilter*> filters;
  for (const TFileType& type : request.types) {
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, type.name.c_str());
    for (const std::string& pattern : MaskPatterns(type.mask)) {
      gtk_file_filter_add_pattern(filter, pattern.c_str());
      gtk_file_filter_add_pattern(filter, ToUpperAscii(pattern).c_str());
    }
    gtk_file_chooser_add_filter(chooser, filter);
    filters.push_back(filter);
  }
  const int defaultIndex = request.defaultTypeIndex;
  if (defaultIndex >= 1 && defaultIndex <= static_cast<int>(filters.size()))
    gtk_file_chooser_set_filter(chooser, filters[defaultIndex - 1]);
  if (const char* pictures = g_get_user_special_dir(G_USER_DIRECTORY_PICTURES))
    gtk_file_chooser_set_current_folder(chooser, pictures);
  gtk_file_chooser_set_current_name(chooser, request.fileName.c_str());

  TSaveDialogResult result;
  if (gtk_native_dialog_run(GTK_NATIVE_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
    gchar* path = gtk_file_chooser_get_filename(chooser);
    if (path) {
      result.ok = true;
      result.path = AddDefaultExtension(path, request.defaultExt);
      result.confirmedPath = path;
      result.typeIndex = defaultIndex;
      GtkFileFilter* chosen = gtk_file_chooser_get_filter(chooser);
      for (std::size_t i = 0; i < filters.size(); ++i)
        if (filters[i] == chosen) result.typeIndex = static_cast<int>(i) + 1;
    }
    g_free(path);
  }
  g_object_unref(dialog);
  return result;
}
