// GTK backend: the Button kind on a GtkButton (GTK 3).
//
// A push button with the caption centred and allowed to wrap. It is
// pressed by a left click released over it or by Space while it has the
// focus; Enter does not press it (it is never a default button), so the
// button swallows Enter before GTK's window-wide activate binding sees it.
#include <string>

#include "platform/gtk/control.h"
#include "platform/gtk/text_conversion.h"

namespace filmbar::gtk {
namespace {

using form::button_prop::Caption;
using form::button_prop::HorizontalAlign;
using form::button_prop::VerticalAlign;

// A "&" mnemonic title in GTK's "_" spelling.
std::string gtk_mnemonic(const std::string& utf8_title) {
  const MnemonicText parsed = parse_mnemonic(utf8_title);
  std::string out;
  for (size_t i = 0; i < parsed.text.size(); ++i) {
    if (static_cast<int32_t>(i) == parsed.underline) out.push_back('_');
    if (parsed.text[i] == '_') out.push_back('_');
    out.push_back(parsed.text[i]);
  }
  return out;
}

class Button final : public Control {
 public:
  Button(Window& window, const form::UnitSettings& settings) : Control(window, settings) {
    button_ = GTK_BUTTON(gtk_button_new());
    label_ = gtk_label_new(nullptr);
    gtk_label_set_line_wrap(GTK_LABEL(label_), TRUE);
    gtk_label_set_justify(GTK_LABEL(label_), GTK_JUSTIFY_CENTER);
    gtk_widget_show(label_);
    gtk_container_add(GTK_CONTAINER(button_), label_);
    attach(GTK_WIDGET(button_), settings.height);
    apply_caption();
    apply_alignment();
    g_signal_connect(button_, "clicked", G_CALLBACK(on_clicked), this);
    g_signal_connect(button_, "key-press-event", G_CALLBACK(on_key), this);
    g_signal_connect(button_, "key-release-event", G_CALLBACK(on_key), this);
  }

  bool set_own(int32_t n, const platform::RawValue& value) override {
    own_.set(n, value);
    if (n == Caption) apply_caption();
    if (n == HorizontalAlign || n == VerticalAlign) apply_alignment();
    return false;
  }

 private:
  void apply_caption() {
    const std::string text = gtk_mnemonic(utf8_from_cp936(own_.text(Caption)));
    gtk_label_set_text_with_mnemonic(GTK_LABEL(label_), text.c_str());
  }

  void apply_alignment() {
    const int32_t horizontal = own_.number(HorizontalAlign);
    const int32_t vertical = own_.number(VerticalAlign);
    gtk_widget_set_halign(label_, horizontal == 0   ? GTK_ALIGN_START
                                  : horizontal == 2 ? GTK_ALIGN_END
                                                    : GTK_ALIGN_CENTER);
    gtk_widget_set_valign(label_, vertical == 0   ? GTK_ALIGN_START
                                  : vertical == 2 ? GTK_ALIGN_END
                                                  : GTK_ALIGN_CENTER);
  }

  static void on_clicked(GtkButton*, gpointer self) {
    static_cast<Button*>(self)->raise(form::kClicked);
  }

  static gboolean on_key(GtkWidget*, GdkEventKey* event, gpointer) {
    switch (event->keyval) {
      case GDK_KEY_Return:
      case GDK_KEY_KP_Enter:
      case GDK_KEY_ISO_Enter: return TRUE;
      default: return FALSE;
    }
  }

  GtkButton* button_ = nullptr;
  GtkWidget* label_ = nullptr;
};

}  // namespace

std::unique_ptr<Control> make_button(Window& window, const form::UnitSettings& settings) {
  return std::make_unique<Button>(window, settings);
}

}  // namespace filmbar::gtk
