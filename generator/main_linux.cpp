// Program entry of TessaryMaker on Linux: worker and batch detection, one
// instance per session, GTK start-up, the main window and its browser.
#include <gtk/gtk.h>

#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "generator/BatchOptions.h"
#include "generator/BatchRender.h"
#include "generator/MainForm.h"
#include "generator/Options.h"
#include "platform/linux/GDBusTransport.h"
#include "platform/linux/GlibMainLoop.h"
#include "platform/linux/GtkBrowserWindow.h"
#include "platform/linux/GtkDialogs.h"
#include "platform/linux/ImageCodec.h"
#include "platform/linux/LinuxDesktopWallpaper.h"
#include "platform/linux/LinuxSystem.h"
#include "platform/linux/SingleInstance.h"
#include "shared/Diagnostics.h"
#include "shared/TextUtil.h"

namespace {

constexpr const char* kInstanceName = "TessaryMaker.SingleInstance";

// The browser's MediaRecorder needs our "autovideoflip" element; its plugin
// lies in "gst" beside the program. Set before GStreamer starts anywhere.
void AddOwnGstreamerPlugins(const std::string& programDir) {
  std::string path = programDir + "/gst";
  if (const char* existing = g_getenv("GST_PLUGIN_PATH"); existing && *existing) path += ":" + std::string(existing);
  g_setenv("GST_PLUGIN_PATH", path.c_str(), TRUE);
}

bool AutomationWanted(const std::vector<std::string>& args) {
  for (const std::string& arg : args)
    if (EqualsNoCase(arg, "--automation")) return true;
  const char* env = g_getenv("TESSARY_AUTOMATION");
  return env && *env && std::string(env) != "0";
}

int FailAtStart(int& argc, char**& argv, const std::string& text) {
  LogDiagnostic("startup", text);
  if (gtk_init_check(&argc, &argv)) {
    GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, "%s",
                                               text.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), kApplicationTitle);
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
  }
  return EXIT_FAILURE;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const bool worker = IsWorkerInvocation(args);
  // A batch run ("--ipc=stop" from a script) does its one job also while the
  // window is open, and needs no display.
  const bool batch = IsBatchMode(ParseOptions(args));

  // A batch render ("--render=OUT") checks what it can before the desktop
  // starts, runs beside an open window and ends with its own exit code.
  TBatchArguments render = ParseBatchArguments(args);
  if (render.kind == TBatchArguments::bkHelp) {
    std::cout << BatchUsage();
    return EXIT_SUCCESS;
  }
  if (render.kind == TBatchArguments::bkError) {
    std::cerr << "TessaryMaker: " << render.error << "\n\n" << BatchUsage();
    return static_cast<int>(TBatchExit::beBadArguments);
  }
  const bool batchRender = render.kind == TBatchArguments::bkRun;
  TBatchConsole console(std::cerr, isatty(STDERR_FILENO) == 1, render.request.quiet);
  if (batchRender) {
    // Its stderr is for progress and the reason; TESSARY_DIAGNOSTICS=1 adds the program's own lines.
    const char* diagnostics = g_getenv("TESSARY_DIAGNOSTICS");
    SetDiagnosticsShown(diagnostics && *diagnostics && std::string(diagnostics) != "0");
    TLinuxSystem checkSystem;
    const TBatchCheck check = CheckBatchInputs(render.request, checkSystem);
    if (check.exit != TBatchExit::beDone) {
      console.Error(check.reason);
      if (check.exit == TBatchExit::beBadArguments) std::cerr << "\n" << BatchUsage();
      return static_cast<int>(check.exit);
    }
  }

  std::unique_ptr<TSingleInstance> instance;
  if (!worker && !batch && !batchRender) {
    try {
      instance = std::make_unique<TSingleInstance>(kInstanceName);
    } catch (const std::exception& e) {
      const char* lead = TLinuxSystem().UiLanguageIsJapanese() ? "Tessary Maker を起動できません: "
                                                                : "Cannot start Tessary Maker: ";
      return FailAtStart(argc, argv, lead + std::string(e.what()));
    }
    if (instance->AlreadyRunning()) return EXIT_SUCCESS;
  }

  TLinuxSystem system;
  AddOwnGstreamerPlugins(system.ProgramDir());
  g_set_prgname("TessaryMaker");
  g_set_application_name(kApplicationTitle);

  // Declared before the loop, which waits for the work using it when it ends.
  TGDBusTransport ipc;
  TLinuxImageCodec codec;
  TLinuxDesktopWallpaperProvider desktopWallpaper;
  TGlibMainLoop loop;
  TGtkBrowserWindow window;
  TGtkDialogs gtkDialogs([&window] { return window.DialogParent(); }, kApplicationTitle);
  TFormMain* batchForm = nullptr;
  TBatchDialogs batchDialogs([&batchForm](const std::string& text) {
    if (batchForm) batchForm->FailBatch(text);
  });
  IDialogs& dialogs = batchRender ? static_cast<IDialogs&>(batchDialogs) : gtkDialogs;
  TFormMain form(window, dialogs, loop, system, codec, desktopWallpaper, ipc);
  if (batchRender) {
    batchForm = &form;
    form.PrepareBatchRender(std::move(render.request), console);
  }
  // Nothing before the window opens needs the display, so batch runs end here without one.
  const TStartupResult startup = form.FormCreate(args);
  if (startup.endNow) return startup.exitCode;
  if (!gtk_init_check(&argc, &argv)) {
    LogDiagnostic("startup", "no display to show the window on");
    if (batchRender) console.Error("no display: a batch render needs a desktop session (DISPLAY or WAYLAND_DISPLAY)");
    return EXIT_FAILURE;
  }

  TWindowOptions options;
  options.kind = startup.windowKind;
  options.minWidth = kMainMinWidth;
  options.minHeight = kMainMinHeight;
  options.width = kMainClientWidth;
  options.height = kMainClientHeight;
  options.endsProgram = true;
  window.Open(form, options, {form.UserDataDir(), "TessaryMaker", AutomationWanted(args)});
  gtk_main();
  return form.ExitCode();
}
