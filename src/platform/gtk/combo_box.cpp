// GTK backend: the ComboBox kind on a GtkComboBoxText (GTK 3).
//
// Style 2 (drop-down list) is a combo box without an entry: the user can
// only pick one of the entries, the blank ones included. The other styles
// get an entry to type into. The entries are added in the form's order
// (sorted first when Sorted is on) and the selection starts at
// CurrentSelection clamped to the entries. The closed control keeps the
// height GTK gives it for its font; its list is GTK's own popup.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/gtk/control.h"
#include "platform/gtk/text_conversion.h"

namespace filmbar::gtk {
namespace {

using form::combo_prop::Content;
using form::combo_prop::CurrentSelection;
using form::combo_prop::Items;
using form::combo_prop::Sorted;
using form::combo_prop::Style;

constexpr int32_t kDropDownList = 2;

class ComboBox final : public Control {
 public:
  ComboBox(Window& window, const form::UnitSettings& settings) : Control(window, settings) {
    has_entry_ = own_.number(Style) != kDropDownList;
    combo_ = GTK_COMBO_BOX_TEXT(has_entry_ ? gtk_combo_box_text_new_with_entry()
                                           : gtk_combo_box_text_new());
    attach(GTK_WIDGET(combo_), -1);
    fill();
    if (has_entry_) {
      const std::string text = utf8_from_cp936(own_.text(Content));
      gtk_entry_set_text(entry(), text.c_str());
    }
    changed_handler_ = g_signal_connect(combo_, "changed", G_CALLBACK(on_changed), this);
    g_signal_connect(combo_, "notify::popup-shown", G_CALLBACK(on_popup), this);
  }

  platform::RawValue get_own(int32_t n) override {
    if (n == CurrentSelection) {
      platform::RawValue raw;
      raw.number = gtk_combo_box_get_active(GTK_COMBO_BOX(combo_));
      return raw;
    }
    if (n == Content) {
      if (has_entry_) return own_.answer_text(cp936_from_utf8(gtk_entry_get_text(entry())));
      gchar* active = gtk_combo_box_text_get_active_text(combo_);
      platform::RawValue raw = own_.answer_text(cp936_from_utf8(active));
      g_free(active);
      return raw;
    }
    return own_.get(n);
  }

  bool set_own(int32_t n, const platform::RawValue& value) override {
    if (n == CurrentSelection) {
      own_.set(n, value);
      select(value.number);
      return false;
    }
    own_.set(n, value);
    if (n == Items || n == Sorted) {
      const int32_t selection = gtk_combo_box_get_active(GTK_COMBO_BOX(combo_));
      g_signal_handler_block(combo_, changed_handler_);
      gtk_combo_box_text_remove_all(combo_);
      g_signal_handler_unblock(combo_, changed_handler_);
      own_.set(CurrentSelection, platform::RawValue{selection, 0, nullptr, 0});
      fill();
    } else if (n == Content && has_entry_) {
      const std::string text = utf8_from_cp936(own_.text(Content));
      g_signal_handler_block(combo_, changed_handler_);
      gtk_entry_set_text(entry(), text.c_str());
      g_signal_handler_unblock(combo_, changed_handler_);
    }
    return false;
  }

 private:
  GtkEntry* entry() const { return GTK_ENTRY(gtk_bin_get_child(GTK_BIN(combo_))); }

  void fill() {
    std::vector<std::string> items = own_.value(Items).items;
    if (own_.number(Sorted) != 0) std::stable_sort(items.begin(), items.end());
    if (changed_handler_ != 0) g_signal_handler_block(combo_, changed_handler_);
    for (const std::string& item : items) {
      gtk_combo_box_text_append_text(combo_, utf8_from_cp936(item).c_str());
    }
    if (changed_handler_ != 0) g_signal_handler_unblock(combo_, changed_handler_);
    count_ = static_cast<int32_t>(items.size());
    select(own_.number(CurrentSelection));
  }

  // Selects without raising an event, as a written selection does.
  void select(int32_t selection) {
    const int32_t clamped = std::max(-1, std::min(selection, count_ - 1));
    if (changed_handler_ != 0) g_signal_handler_block(combo_, changed_handler_);
    gtk_combo_box_set_active(GTK_COMBO_BOX(combo_), clamped);
    if (changed_handler_ != 0) g_signal_handler_unblock(combo_, changed_handler_);
  }

  static void on_changed(GtkComboBox* combo, gpointer self) {
    auto* control = static_cast<ComboBox*>(self);
    control->raise(gtk_combo_box_get_active(combo) >= 0 ? form::combo_event::EntryPicked
                                                        : form::combo_event::EditTextChanged);
  }

  static void on_popup(GObject* combo, GParamSpec*, gpointer self) {
    gboolean shown = FALSE;
    g_object_get(combo, "popup-shown", &shown, nullptr);
    static_cast<ComboBox*>(self)->raise(shown ? form::combo_event::ListDropping
                                              : form::combo_event::ListClosed);
  }

  GtkComboBoxText* combo_ = nullptr;
  gulong changed_handler_ = 0;
  bool has_entry_ = false;
  int32_t count_ = 0;
};

}  // namespace

std::unique_ptr<Control> make_combo_box(Window& window, const form::UnitSettings& settings) {
  return std::make_unique<ComboBox>(window, settings);
}

}  // namespace filmbar::gtk
