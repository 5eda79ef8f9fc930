// ruvo-linklens: the installer as a stand-alone Linux program. The registry lives in
// an SQLite file and drive C: in a folder, both under the user's XDG data folder; the
// window is drawn with FLTK. It takes no arguments and reads no configuration.
//
// Exit status: 0 when the window was closed or its action succeeded, 1 when the
// action failed or the program could not start (a damaged registry store, say) or
// failed unexpectedly, 2 when there is no display.

#include <FL/Fl.H>
#include <FL/x.H>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "platform/standalone/data_home.h"
#include "platform/standalone/drive_c.h"
#include "platform/standalone/fltk/images.h"
#include "platform/standalone/fltk/look.h"
#include "platform/standalone/fltk/main_window.h"
#include "platform/standalone/fltk/user_interface.h"
#include "platform/standalone/instance_lock.h"
#include "platform/standalone/sqlite_registry.h"
#include "platform/text.h"
#include "window/window_handlers.h"

namespace ruvo {
namespace {

using namespace ruvo::fltk;
using drive::DriveCFileSystem;
using store::SqliteRegistry;
using store::StoreTrouble;

constexpr int kFailed = static_cast<int>(ExitStatus::Failed);
constexpr int kNoDisplay = 2;

constexpr const char* kProgramFilesFolder = "Program Files";

// FLTK 1.3 ends the process on its own when it cannot open the display, with no
// word of how to get one: the program opens it first and says why there is none.
bool OpenDisplay() {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') {
    std::fprintf(stderr,
                 "ruvo-linklens: no X display: DISPLAY is not set.\n"
                 "Run it on a desktop session (under Wayland through XWayland), or on a "
                 "virtual display:\n  xvfb-run -a scripts/run\n");
    return false;
  }
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr,
                 "ruvo-linklens: cannot open the X display \"%s\".\n"
                 "Check DISPLAY and the X server's access rules, or use a virtual display:\n"
                 "  xvfb-run -a scripts/run\n",
                 name);
    return false;
  }
  fl_open_display(display);  // FLTK owns the connection from here on
  return true;
}

// What the user is told of a store the program will not use, and what to do about it.
Text UnusableStoreMessage(const std::filesystem::path& store,
                          const SqliteRegistry::StoreReport& report) {
  const char* advice = report.trouble == StoreTrouble::Unreachable
                           ? "The system refuses it: mend its permissions, the disk or the path"
                           : "Move what stands there aside, or restore the file from a backup";
  return FromUtf8("RUVO LinkLens cannot use its registry store\n" + store.string() +
                  "\n\nProblem: " + report.problem + "\n\nNothing was changed. " + advice +
                  ", then start RUVO LinkLens again.");
}

// Dialogs take FLTK's background colour: make it the window's 3-D face colour.
void UseButtonFaceForDialogs() {
  unsigned char red = 0, green = 0, blue = 0;
  Fl::get_color(FltkColour(SystemColour::ButtonFace), red, green, blue);
  Fl::background(red, green, blue);
}

int RunInstallerWindow(const FltkFonts& fonts, int dpi) {
  const std::filesystem::path store = RegistryStoreFile();
  SqliteRegistry registry(store);
  if (const auto report = registry.Examine(); report.trouble != StoreTrouble::Fine) {
    ShowApplicationMessage(fonts, dpi, UnusableStoreMessage(store, report), MessageIcon::Error);
    return kFailed;
  }
  // Drive C: as Windows leaves it: "c:\Program Files" is always there, and the
  // installer makes only its own folder inside it.
  CreatePrivateFolders(DriveCFolder() / kProgramFilesFolder);
  DriveCFileSystem files(DriveCFolder());

  EmbeddedImages images;
  FltkMainWindow window(fonts, dpi, images.Banner(), images.PackageIcon());
  FltkUserInterface ui(window, fonts, dpi);
  // While the lock is busy the window keeps answering; its close box ends the wait.
  FileInstanceLock lock(InstanceLockFile(), [&window](std::chrono::milliseconds step) {
    Fl::wait(std::chrono::duration<double>(step).count());
    return window.Window().shown() != 0;
  });
  PlatformServices platform{registry, files, ui, lock};
  WindowHandlers handlers(platform);

  handlers.Form_Load();
  // The logic raises nothing: the click tells its outcome and ends the program.
  window.OnActionButtonPressed([&] {
    window.ActionButton().deactivate();  // input while it runs never reaches it again
    handlers.ActionButton_Click();
  });
  ui.ShowWindow();
  if (!ui.ended()) Fl::run();
  return static_cast<int>(ui.exitStatus());
}

int Run() {
  if (!OpenDisplay()) return kNoDisplay;
  UseButtonFaceForDialogs();
  const FltkFonts fonts;
  const int dpi = ScreenDpi();
  try {
    return RunInstallerWindow(fonts, dpi);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "ruvo-linklens: %s\n", error.what());
    const std::string what = error.what();
    ShowApplicationMessage(
        fonts, dpi, FromUtf8("RUVO LinkLens stopped because of an unexpected failure.\n\n" + what),
        MessageIcon::Error);
    return kFailed;
  }
}

}  // namespace
}  // namespace ruvo

int main() {
  return ruvo::Run();
}
