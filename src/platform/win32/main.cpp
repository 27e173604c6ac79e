// Win32 backend: the program's entry point. Installs the Win32 platform,
// runs the framework's start and exit steps around program_entry, and
// ends the process with the code of the quit message.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "platform/win32/platform.h"
#include "shell/shell.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  static filmbar::win32::Win32Platform backend;
  filmbar::platform::install(&backend);
  const int32_t quit_code = filmbar::shell::run_framework(filmbar::shell::the_program());
  ExitProcess(static_cast<UINT>(quit_code));
}
