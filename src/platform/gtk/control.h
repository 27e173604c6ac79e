// GTK backend: what every native control of the form shares.
//
// A Control owns one reference to its GTK widget (the timer has none), puts
// it into the window's client area at the form's place and keeps a copy of
// every own property, so that get_own can answer any property of the kind;
// each kind overrides the properties that live in the widget.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "form/form.h"
#include "platform/platform.h"

namespace filmbar::gtk {

class Window;

// The own properties of one unit as the core last set them, answered as raw
// values. Texts, byte data and font records are kept as bytes.
class OwnValues {
 public:
  explicit OwnValues(const form::UnitSettings& settings);

  const form::Value& value(int32_t n) const;
  form::ValueKind kind_of(int32_t n) const;
  platform::RawValue get(int32_t n);
  void set(int32_t n, const platform::RawValue& raw);
  std::string text(int32_t n) const { return value(n).text; }
  int32_t number(int32_t n) const { return static_cast<int32_t>(value(n).number); }

  // Keeps a copy of `bytes` and answers it as a text value.
  platform::RawValue answer_text(std::string bytes);

 private:
  const form::KindDecl* decl_;
  std::vector<form::Value> values_;
  std::string answer_;  // backs the last raw value handed out
};

// A title with "&" mnemonics ("&x" underlines x, "&&" is one "&"), as the
// text to show and the byte index of the underlined character (-1: none).
struct MnemonicText {
  std::string text;
  int32_t underline = -1;
};
MnemonicText parse_mnemonic(const std::string& utf8_title);

// Widget owner of the control's events and data, found by walking up from
// any widget of the window; see input.cpp.
class Control : public platform::NativeControl {
 public:
  Control(Window& window, const form::UnitSettings& settings);
  ~Control() override;
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  uint32_t number() const { return number_; }
  form::Kind kind() const { return kind_; }
  Window& window() const { return window_; }
  GtkWidget* widget() const { return widget_; }
  // The widget whose client coordinates mouse input is reported in.
  GtkWidget* input_widget() const { return widget_; }

  bool exists() const override;
  platform::Rect bounds() const override { return place_; }
  void set_bounds(const platform::Rect& place) override;
  bool visible() const override;
  void set_visible(bool visible) override;
  bool enabled() const override;
  void set_enabled(bool enabled) override;
  void focus() override;

  platform::RawValue get_own(int32_t n) override { return own_.get(n); }
  bool set_own(int32_t n, const platform::RawValue& value) override;

  // Finds the control that a widget belongs to, or null.
  static Control* of_widget(GtkWidget* widget);

 protected:
  // Takes the widget (adding one reference) and puts it, hidden, into the
  // window's client area at the form's place, sized `height` tall (-1: the
  // widget's own height).
  void attach(GtkWidget* widget, int32_t height);
  // The widget that takes the keyboard focus.
  virtual GtkWidget* focus_widget() const { return widget_; }
  // Raises one of this control's events.
  void raise(int32_t event, std::initializer_list<int32_t> arguments = {}) const;

  OwnValues own_;

 private:
  static void on_destroyed(GtkWidget*, gpointer self);

  Window& window_;
  uint32_t number_;
  form::Kind kind_;
  platform::Rect place_;
  GtkWidget* widget_ = nullptr;
  bool alive_ = true;  // false once the widget is destroyed
  bool visible_ = false;
  bool enabled_ = true;
  bool follows_height_ = true;  // false: the widget keeps its own height
};

// One factory per control kind, each in its own file. A null result means
// the control cannot be built.
std::unique_ptr<Control> make_edit_box(Window& window, const form::UnitSettings& settings);
std::unique_ptr<Control> make_button(Window& window, const form::UnitSettings& settings);
std::unique_ptr<Control> make_combo_box(Window& window, const form::UnitSettings& settings);
std::unique_ptr<Control> make_trans_label(Window& window, const form::UnitSettings& settings);
std::unique_ptr<Control> make_timer(Window& window, const form::UnitSettings& settings);
std::unique_ptr<Control> make_browser_area(Window& window, const form::UnitSettings& settings);

// A "realize" handler: the widget's GDK windows report every pointer move,
// at once.
void report_every_move(GtkWidget* widget, gpointer unused);

// Colour 0x00BBGGRR as a CSS colour; colours with the high byte set (the
// system's colours) have none and give an empty string.
std::string css_colour(int32_t colour);
// Gives one widget its own style rules (replacing any given before).
void set_widget_css(GtkWidget* widget, const std::string& css);

}  // namespace filmbar::gtk
