// GTK backend: the program's icon, drawn at start-up.
#pragma once

#include <gdk-pixbuf/gdk-pixbuf.h>

namespace filmbar::gtk {

// The play symbol: a white ring around a white right-pointing triangle on a
// black square, 32 x 32, fully opaque. Returns a new reference.
GdkPixbuf* make_program_icon();

}  // namespace filmbar::gtk
