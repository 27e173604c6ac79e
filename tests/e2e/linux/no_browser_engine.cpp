// Test shim, preloaded into the program by the fatal-stop test: the browser
// engine hands out no view, as when it cannot start, so that the browser
// area and with it the main window cannot be built.
extern "C" void* webkit_web_view_new() {
  return nullptr;
}
