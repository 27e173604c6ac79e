// GTK backend: the Linux desktop program's entry point.
//
// Opens the display, installs the GTK platform and runs the framework; the
// process ends with the code that the framework returns (0 after the
// window is closed; a fatal stop ends the process itself with -1).
#include <gtk/gtk.h>

#include <cstdio>

#include "platform/gtk/gtk_platform.h"
#include "shell/shell.h"

int main(int argc, char** argv) {
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "filmbar: cannot open the display (is DISPLAY set?)\n");
    return 1;
  }
  filmbar::gtk::GtkPlatform backend;
  filmbar::platform::install(&backend);
  const int32_t code = filmbar::shell::run_framework(filmbar::shell::the_program());
  backend.exit_process(code);
}
