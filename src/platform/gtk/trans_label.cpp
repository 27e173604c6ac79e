// GTK backend: the TransLabel kind, drawn with cairo and Pango (GTK 3).
//
// A GtkDrawingArea that paints no background of its own: GTK paints what
// lies beneath (the window's colour) first, then the label draws its title
// over it in TextColor (0x00BBGGRR), aligned as HorizontalAlign and
// VerticalAlign say, on one line unless WordWrap is on, with the Effect's
// relief. An "&" marks the next character as a mnemonic (underlined).
// Assistive technologies read the title as the label's name.
#include <string>

#include "platform/gtk/control.h"
#include "platform/gtk/text_conversion.h"

namespace filmbar::gtk {
namespace {

using form::label_prop::Effect;
using form::label_prop::HorizontalAlign;
using form::label_prop::TextColor;
using form::label_prop::Title;
using form::label_prop::VerticalAlign;
using form::label_prop::WordWrap;

enum LabelEffect : int32_t { kNoEffect = 0, kSunken = 1, kRaised = 2, kShadow = 3 };

void set_source_colour(cairo_t* cr, uint32_t colour) {
  cairo_set_source_rgb(cr, (colour & 0xFF) / 255.0, ((colour >> 8) & 0xFF) / 255.0,
                       ((colour >> 16) & 0xFF) / 255.0);
}

class TransLabel final : public Control {
 public:
  TransLabel(Window& window, const form::UnitSettings& settings) : Control(window, settings) {
    GtkWidget* area = gtk_drawing_area_new();
    attach(area, settings.height);
    AtkObject* accessible = gtk_widget_get_accessible(area);
    if (accessible != nullptr) atk_object_set_role(accessible, ATK_ROLE_LABEL);
    apply_title();
    g_signal_connect(area, "draw", G_CALLBACK(on_draw), this);
  }

  bool set_own(int32_t n, const platform::RawValue& value) override {
    own_.set(n, value);
    if (n == Title) apply_title();
    // The next frame repaints the window's background beneath, then the text.
    if (exists()) gtk_widget_queue_draw(widget());
    return false;
  }

 private:
  void apply_title() {
    shown_ = parse_mnemonic(utf8_from_cp936(own_.text(Title)));
    AtkObject* accessible = gtk_widget_get_accessible(widget());
    if (accessible != nullptr) atk_object_set_name(accessible, shown_.text.c_str());
  }

  void draw(cairo_t* cr) {
    const int width = gtk_widget_get_allocated_width(widget());
    const int height = gtk_widget_get_allocated_height(widget());
    PangoLayout* layout = gtk_widget_create_pango_layout(widget(), shown_.text.c_str());
    if (shown_.underline >= 0) {
      PangoAttrList* attributes = pango_attr_list_new();
      PangoAttribute* underline = pango_attr_underline_new(PANGO_UNDERLINE_SINGLE);
      const char* start = shown_.text.c_str() + shown_.underline;
      underline->start_index = static_cast<guint>(shown_.underline);
      underline->end_index = static_cast<guint>(g_utf8_next_char(start) - shown_.text.c_str());
      pango_attr_list_insert(attributes, underline);
      pango_layout_set_attributes(layout, attributes);
      pango_attr_list_unref(attributes);
    }
    const int32_t horizontal = own_.number(HorizontalAlign);
    pango_layout_set_alignment(layout, horizontal == 1   ? PANGO_ALIGN_CENTER
                                       : horizontal == 2 ? PANGO_ALIGN_RIGHT
                                                         : PANGO_ALIGN_LEFT);
    pango_layout_set_width(layout, width * PANGO_SCALE);
    if (own_.number(WordWrap) != 0) {
      pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    } else {
      pango_layout_set_single_paragraph_mode(layout, TRUE);
      pango_layout_set_width(layout, -1);
    }
    int text_width = 0;
    int text_height = 0;
    pango_layout_get_pixel_size(layout, &text_width, &text_height);
    int x = 0;
    if (own_.number(WordWrap) == 0) {
      if (horizontal == 1) x = (width - text_width) / 2;
      if (horizontal == 2) x = width - text_width;
    }
    const int32_t vertical = own_.number(VerticalAlign);
    int y = 0;
    if (vertical == 1) y = (height - text_height) / 2;
    if (vertical == 2) y = height - text_height;

    cairo_rectangle(cr, 0, 0, width, height);
    cairo_clip(cr);
    const int32_t effect = own_.number(Effect);
    if (effect == kSunken || effect == kRaised) {
      // The light edge on the side the light comes from.
      const int offset = effect == kRaised ? -1 : 1;
      set_source_colour(cr, 0xFFFFFF);
      cairo_move_to(cr, x + offset, y + offset);
      pango_cairo_show_layout(cr, layout);
      set_source_colour(cr, 0x808080);
      cairo_move_to(cr, x - offset, y - offset);
      pango_cairo_show_layout(cr, layout);
    } else if (effect == kShadow) {
      set_source_colour(cr, 0x808080);
      cairo_move_to(cr, x + 1, y + 1);
      pango_cairo_show_layout(cr, layout);
    }
    set_source_colour(cr, static_cast<uint32_t>(own_.number(TextColor)));
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
  }

  static gboolean on_draw(GtkWidget*, cairo_t* cr, gpointer self) {
    static_cast<TransLabel*>(self)->draw(cr);
    return FALSE;
  }

  MnemonicText shown_;
};

}  // namespace

std::unique_ptr<Control> make_trans_label(Window& window, const form::UnitSettings& settings) {
  return std::make_unique<TransLabel>(window, settings);
}

}  // namespace filmbar::gtk
