// GTK backend: the program's icon, drawn with cairo into a 32 x 32 image and
// handed to GTK as a GdkPixbuf, so that no image file ships with the program.
#include "platform/gtk/icon.h"

#include <cairo.h>
#include <gdk/gdk.h>

namespace filmbar::gtk {

GdkPixbuf* make_program_icon() {
  constexpr int kSize = 32;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kSize, kSize);
  cairo_t* cr = cairo_create(surface);

  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_paint(cr);

  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_set_line_width(cr, 2.5);
  cairo_arc(cr, 16, 16, 13, 0, 2 * G_PI);
  cairo_stroke(cr);

  // The triangle's centroid sits on the ring's centre.
  cairo_move_to(cr, 12, 9);
  cairo_line_to(cr, 12, 23);
  cairo_line_to(cr, 24, 16);
  cairo_close_path(cr);
  cairo_fill(cr);

  cairo_destroy(cr);
  cairo_surface_flush(surface);
  GdkPixbuf* icon = gdk_pixbuf_get_from_surface(surface, 0, 0, kSize, kSize);
  cairo_surface_destroy(surface);
  return icon;
}

}  // namespace filmbar::gtk
