// GTK backend: raw input through the core's pre-translation step.
#pragma once

namespace filmbar::gtk {

// Puts the router in front of GTK's own event handling: from then on every
// mouse, key and wheel event for the program's windows reaches
// core::pre_translate before any widget sees it.
void install_input_router();

// While the fatal-stop box is up, input goes straight to GTK, and the main
// window ignores close requests.
void set_error_box_showing(bool showing);
bool error_box_showing();

}  // namespace filmbar::gtk
