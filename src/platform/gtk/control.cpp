// GTK backend: the parts every native control shares (GTK 3).
//
// Implements the Control base (place, visibility, focus, the kept own
// properties), the "&" mnemonic rule of titles and the small CSS helpers
// with which controls take the form's colours.
#include "platform/gtk/control.h"

#include <cstdio>
#include <cstring>

#include "platform/events.h"
#include "platform/gtk/window.h"

namespace filmbar::gtk {
namespace {

constexpr char kControlKey[] = "filmbar-control";
constexpr char kStyleKey[] = "filmbar-style";

}  // namespace

// ---------------------------------------------------------------- OwnValues

OwnValues::OwnValues(const form::UnitSettings& settings)
    : decl_(form::find_kind(settings.kind)), values_(settings.own) {}

const form::Value& OwnValues::value(int32_t n) const {
  static const form::Value none;
  if (n < 0 || static_cast<size_t>(n) >= values_.size()) return none;
  return values_[static_cast<size_t>(n)];
}

form::ValueKind OwnValues::kind_of(int32_t n) const {
  if (decl_ == nullptr || n < 0 || static_cast<size_t>(n) >= decl_->properties.size()) {
    return form::ValueKind::Integer;
  }
  return decl_->properties[static_cast<size_t>(n)].kind;
}

platform::RawValue OwnValues::answer_text(std::string bytes) {
  answer_ = std::move(bytes);
  platform::RawValue raw;
  raw.data = answer_.data();
  raw.length = static_cast<uint32_t>(answer_.size());
  return raw;
}

platform::RawValue OwnValues::get(int32_t n) {
  const form::Value& stored = value(n);
  platform::RawValue raw;
  switch (kind_of(n)) {
    case form::ValueKind::Text: return answer_text(stored.text);
    case form::ValueKind::ByteData:
      if (stored.has_items) {
        // The chooser's entries: each followed by one zero byte.
        std::string joined;
        for (const std::string& item : stored.items) {
          joined += item;
          joined.push_back('\0');
        }
        return answer_text(std::move(joined));
      }
      return answer_text(stored.text);
    case form::ValueKind::Font:
      if (stored.text.empty()) return raw;  // the stock default GUI font
      return answer_text(stored.text);
    case form::ValueKind::Number64:
      raw.number = static_cast<int32_t>(stored.number & 0xFFFFFFFF);
      raw.number_high = static_cast<int32_t>(stored.number >> 32);
      return raw;
    default: raw.number = static_cast<int32_t>(stored.number); return raw;
  }
}

void OwnValues::set(int32_t n, const platform::RawValue& raw) {
  if (n < 0 || static_cast<size_t>(n) >= values_.size()) return;
  form::Value& stored = values_[static_cast<size_t>(n)];
  const char* bytes = static_cast<const char*>(raw.data);
  const std::string data = bytes == nullptr ? std::string() : std::string(bytes, raw.length);
  switch (kind_of(n)) {
    case form::ValueKind::Text:
    case form::ValueKind::Font: stored = form::Value::of_text(data); break;
    case form::ValueKind::ByteData:
      if (stored.has_items) {
        std::vector<std::string> items;
        size_t start = 0;
        for (size_t i = 0; i < data.size(); ++i) {
          if (data[i] == '\0') {
            items.push_back(data.substr(start, i - start));
            start = i + 1;
          }
        }
        if (start < data.size()) items.push_back(data.substr(start));
        stored = form::Value::of_items(std::move(items));
      } else {
        stored = form::Value::of_text(data);
      }
      break;
    case form::ValueKind::Number64:
      stored = form::Value::of_number(static_cast<int64_t>(
          (static_cast<uint64_t>(static_cast<uint32_t>(raw.number_high)) << 32) |
          static_cast<uint32_t>(raw.number)));
      break;
    default: stored = form::Value::of_number(raw.number); break;
  }
}

// ---------------------------------------------------------------- mnemonics

MnemonicText parse_mnemonic(const std::string& utf8_title) {
  MnemonicText result;
  for (size_t i = 0; i < utf8_title.size(); ++i) {
    if (utf8_title[i] != '&') {
      result.text.push_back(utf8_title[i]);
      continue;
    }
    if (i + 1 >= utf8_title.size()) break;  // a lone "&" at the end shows nothing
    if (utf8_title[i + 1] == '&') {
      result.text.push_back('&');
      ++i;
    } else if (result.underline < 0) {
      result.underline = static_cast<int32_t>(result.text.size());
    }
  }
  return result;
}

// ---------------------------------------------------------------- CSS

std::string css_colour(int32_t colour) {
  const uint32_t value = static_cast<uint32_t>(colour);
  if ((value & 0xFF000000u) != 0) return std::string();
  char text[32];
  std::snprintf(text, sizeof text, "rgb(%u,%u,%u)", value & 0xFFu, (value >> 8) & 0xFFu,
                (value >> 16) & 0xFFu);
  return text;
}

void set_widget_css(GtkWidget* widget, const std::string& css) {
  GtkStyleContext* context = gtk_widget_get_style_context(widget);
  auto* previous = static_cast<GtkCssProvider*>(g_object_get_data(G_OBJECT(widget), kStyleKey));
  if (previous != nullptr) {
    gtk_style_context_remove_provider(context, GTK_STYLE_PROVIDER(previous));
  }
  GtkCssProvider* provider = gtk_css_provider_new();
  gtk_css_provider_load_from_data(provider, css.c_str(), -1, nullptr);
  gtk_style_context_add_provider(context, GTK_STYLE_PROVIDER(provider),
                                 GTK_STYLE_PROVIDER_PRIORITY_APPLICATION + 1);
  // The widget keeps the provider alive; the data key drops the old one.
  g_object_set_data_full(G_OBJECT(widget), kStyleKey, provider, g_object_unref);
}

// ---------------------------------------------------------------- Control

Control::Control(Window& window, const form::UnitSettings& settings)
    : own_(settings),
      window_(window),
      number_(settings.number),
      kind_(settings.kind),
      place_{settings.left, settings.top, settings.width, settings.height},
      enabled_(!settings.disabled) {}

Control::~Control() {
  window_.forget(*this);
  if (widget_ == nullptr) return;
  g_signal_handlers_disconnect_by_data(widget_, this);
  g_object_set_data(G_OBJECT(widget_), kControlKey, nullptr);
  if (alive_) gtk_widget_destroy(widget_);
  g_object_unref(widget_);
}

void Control::attach(GtkWidget* widget, int32_t height) {
  widget_ = widget;
  g_object_ref_sink(widget_);
  g_object_set_data(G_OBJECT(widget_), kControlKey, this);
  g_signal_connect(widget_, "destroy", G_CALLBACK(on_destroyed), this);
  g_signal_connect_after(widget_, "realize", G_CALLBACK(report_every_move), nullptr);
  follows_height_ = height >= 0;
  gtk_widget_set_size_request(widget_, place_.width, follows_height_ ? place_.height : -1);
  gtk_widget_set_sensitive(widget_, enabled_);
  gtk_widget_set_no_show_all(widget_, TRUE);
  window_.put(*this, widget_, place_.left, place_.top);
}

// Every move over a control is to be reported at once, so two of GDK's
// savings are turned off on all of the control's GDK windows: motion hints
// (GtkEntry asks for them), which drop motion until the widget asks for
// more, as it cannot for a motion that the core consumed; and motion
// compression, which can hold the last motion of a drag back until some
// other event comes, so that the address box would not hear of the move
// while it holds the pointer.
void report_every_move(GtkWidget* widget, gpointer) {
  GdkWindow* base = gtk_widget_get_window(widget);
  if (base == nullptr) return;
  const auto each_move_at_once = [](GdkWindow* window) {
    gdk_window_set_events(window, static_cast<GdkEventMask>(gdk_window_get_events(window) &
                                                            ~GDK_POINTER_MOTION_HINT_MASK));
    gdk_window_set_event_compression(window, FALSE);
  };
  if (gtk_widget_get_has_window(widget)) each_move_at_once(base);
  GList* own = gdk_window_get_children_with_user_data(base, widget);
  for (GList* item = own; item != nullptr; item = item->next) {
    each_move_at_once(static_cast<GdkWindow*>(item->data));
  }
  g_list_free(own);
}

void Control::on_destroyed(GtkWidget*, gpointer self) {
  static_cast<Control*>(self)->alive_ = false;
}

Control* Control::of_widget(GtkWidget* widget) {
  return widget == nullptr
             ? nullptr
             : static_cast<Control*>(g_object_get_data(G_OBJECT(widget), kControlKey));
}

bool Control::exists() const {
  return alive_ && window_.exists();
}

void Control::set_bounds(const platform::Rect& place) {
  place_ = place;
  if (widget_ == nullptr || !alive_) return;
  gtk_widget_set_size_request(widget_, place.width, follows_height_ ? place.height : -1);
  window_.move(widget_, place.left, place.top);
}

bool Control::visible() const {
  return widget_ == nullptr ? visible_ : alive_ && gtk_widget_get_visible(widget_);
}

void Control::set_visible(bool visible) {
  visible_ = visible;
  if (widget_ != nullptr && alive_) gtk_widget_set_visible(widget_, visible);
}

bool Control::enabled() const {
  return enabled_;
}

void Control::set_enabled(bool enabled) {
  enabled_ = enabled;
  if (widget_ != nullptr && alive_) gtk_widget_set_sensitive(widget_, enabled);
}

void Control::focus() {
  GtkWidget* target = focus_widget();
  if (target != nullptr && alive_) gtk_widget_grab_focus(target);
}

bool Control::set_own(int32_t n, const platform::RawValue& value) {
  own_.set(n, value);
  return false;
}

void Control::raise(int32_t event, std::initializer_list<int32_t> arguments) const {
  core::raise_event(window_.number(), number_, event, arguments);
}

}  // namespace filmbar::gtk
