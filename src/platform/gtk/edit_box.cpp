// GTK backend: the EditBox kind on a GtkEntry (GTK 3).
//
// A single-line entry that scrolls horizontally, with no length limit of
// its own unless MaxLength says so. Its text is code page 936 to the core
// and UTF-8 to GTK. Writing Content replaces the text and then raises the
// content-changed event exactly once, also when the text stays the same
// (GTK itself stays silent then). Selection offsets are code page 936 byte
// offsets, as the core counts them.
#include <string>

#include "platform/gtk/control.h"
#include "platform/gtk/text_conversion.h"

namespace filmbar::gtk {
namespace {

using form::edit_prop::Alignment;
using form::edit_prop::BackColor;
using form::edit_prop::Border;
using form::edit_prop::Content;
using form::edit_prop::InputMode;
using form::edit_prop::MaxLength;
using form::edit_prop::PasswordChar;
using form::edit_prop::SelLength;
using form::edit_prop::SelStart;
using form::edit_prop::SelText;
using form::edit_prop::TextColor;

// Input modes that change how the box takes text.
constexpr int32_t kReadOnly = 1;
constexpr int32_t kPassword = 2;

class EditBox final : public Control {
 public:
  EditBox(Window& window, const form::UnitSettings& settings) : Control(window, settings) {
    entry_ = GTK_ENTRY(gtk_entry_new());
    gtk_entry_set_width_chars(entry_, 0);
    attach(GTK_WIDGET(entry_), settings.height);
    apply_style();
    const std::string text = utf8_from_cp936(own_.text(Content));
    gtk_entry_set_text(entry_, text.c_str());
    gtk_editable_set_position(GTK_EDITABLE(entry_), 0);
    changed_handler_ = g_signal_connect(entry_, "changed", G_CALLBACK(on_changed), this);
  }

  platform::RawValue get_own(int32_t n) override {
    switch (n) {
      case Content: return own_.answer_text(cp936_from_utf8(gtk_entry_get_text(entry_)));
      case SelStart:
      case SelLength: {
        int start = 0;
        int end = 0;
        gtk_editable_get_selection_bounds(GTK_EDITABLE(entry_), &start, &end);
        if (start == end) start = end = gtk_editable_get_position(GTK_EDITABLE(entry_));
        platform::RawValue raw;
        const int32_t start_byte = byte_offset(start);
        raw.number = n == SelStart ? start_byte : byte_offset(end) - start_byte;
        return raw;
      }
      case SelText: {
        int start = 0;
        int end = 0;
        gtk_editable_get_selection_bounds(GTK_EDITABLE(entry_), &start, &end);
        gchar* selected = gtk_editable_get_chars(GTK_EDITABLE(entry_), start, end);
        platform::RawValue raw = own_.answer_text(cp936_from_utf8(selected));
        g_free(selected);
        return raw;
      }
      default: return own_.get(n);
    }
  }

  bool set_own(int32_t n, const platform::RawValue& value) override {
    own_.set(n, value);
    switch (n) {
      case Content: {
        const std::string text = utf8_from_cp936(own_.text(Content));
        g_signal_handler_block(entry_, changed_handler_);
        gtk_entry_set_text(entry_, text.c_str());
        g_signal_handler_unblock(entry_, changed_handler_);
        raise(form::kContentChanged);
        break;
      }
      case SelStart:
      case SelLength: {
        const int start = char_offset(own_.number(SelStart));
        const int end = char_offset(own_.number(SelStart) + own_.number(SelLength));
        gtk_editable_select_region(GTK_EDITABLE(entry_), start, end);
        break;
      }
      case SelText: {
        const std::string text = utf8_from_cp936(own_.text(SelText));
        int start = 0;
        int end = 0;
        gtk_editable_get_selection_bounds(GTK_EDITABLE(entry_), &start, &end);
        if (start == end) start = end = gtk_editable_get_position(GTK_EDITABLE(entry_));
        gtk_editable_delete_text(GTK_EDITABLE(entry_), start, end);
        int position = start;
        gtk_editable_insert_text(GTK_EDITABLE(entry_), text.c_str(), static_cast<int>(text.size()),
                                 &position);
        gtk_editable_set_position(GTK_EDITABLE(entry_), position);
        break;
      }
      default: apply_style(); break;
    }
    return false;
  }

 private:
  void apply_style() {
    gtk_entry_set_has_frame(entry_, own_.number(Border) != 0);
    gtk_entry_set_max_length(entry_, own_.number(MaxLength) > 0 ? own_.number(MaxLength) : 0);
    const int32_t alignment = own_.number(Alignment);
    gtk_entry_set_alignment(entry_, alignment == 1 ? 0.5f : alignment == 2 ? 1.0f : 0.0f);
    const int32_t mode = own_.number(InputMode);
    gtk_editable_set_editable(GTK_EDITABLE(entry_), mode != kReadOnly);
    gtk_entry_set_visibility(entry_, mode != kPassword);
    if (mode == kPassword) {
      const std::string mask = utf8_from_cp936(own_.text(PasswordChar));
      gunichar mask_char = mask.empty() ? '*' : g_utf8_get_char_validated(mask.c_str(), -1);
      if (mask_char == static_cast<gunichar>(-1) || mask_char == static_cast<gunichar>(-2)) {
        mask_char = '*';
      }
      gtk_entry_set_invisible_char(entry_, mask_char);
    }
    std::string css = "entry {";
    const std::string text_colour = css_colour(own_.number(TextColor));
    const std::string back_colour = css_colour(own_.number(BackColor));
    if (!text_colour.empty()) css += " color: " + text_colour + ";";
    if (!back_colour.empty())
      css += " background-color: " + back_colour + "; background-image: none;";
    css += " }";
    set_widget_css(GTK_WIDGET(entry_), css);
  }

  // Code page 936 bytes before character `index` of the text.
  int32_t byte_offset(int index) const {
    gchar* prefix = gtk_editable_get_chars(GTK_EDITABLE(entry_), 0, index);
    const auto bytes = static_cast<int32_t>(cp936_from_utf8(prefix).size());
    g_free(prefix);
    return bytes;
  }

  // The character at code page 936 byte offset `bytes` (rounded up to a
  // whole character, clamped to the text).
  int char_offset(int32_t bytes) const {
    const char* text = gtk_entry_get_text(entry_);
    int index = 0;
    int32_t counted = 0;
    for (const char* p = text; *p != '\0' && counted < bytes; p = g_utf8_next_char(p)) {
      counted += static_cast<int32_t>(
          cp936_from_utf8(p, static_cast<size_t>(g_utf8_next_char(p) - p)).size());
      ++index;
    }
    return index;
  }

  static void on_changed(GtkEditable*, gpointer self) {
    static_cast<EditBox*>(self)->raise(form::kContentChanged);
  }

  GtkEntry* entry_ = nullptr;
  gulong changed_handler_ = 0;
};

}  // namespace

std::unique_ptr<Control> make_edit_box(Window& window, const form::UnitSettings& settings) {
  return std::make_unique<EditBox>(window, settings);
}

}  // namespace filmbar::gtk
