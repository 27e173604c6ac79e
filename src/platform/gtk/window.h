// GTK backend: the main window (a GtkWindow with a GtkLayout client area).
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "form/form.h"
#include "platform/gtk/control.h"
#include "platform/platform.h"

namespace filmbar::gtk {

class Window : public platform::NativeWindow {
 public:
  Window(const form::UnitSettings& settings, const platform::Rect& outer);
  ~Window() override;
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  uint32_t number() const { return number_; }
  GtkWidget* toplevel() const { return toplevel_; }
  GtkWidget* client() const { return client_; }
  static Window* of_widget(GtkWidget* widget);

  // The client area as its controls see it.
  void put(Control& control, GtkWidget* widget, int32_t left, int32_t top);
  void move(GtkWidget* widget, int32_t left, int32_t top);
  void forget(Control& control);

  // A page's video asks for the whole screen: the browser area's widget
  // fills it until leave_fullscreen puts everything back as it was.
  void enter_fullscreen(Control& browser);
  void leave_fullscreen();
  bool in_fullscreen() const { return fullscreen_.on; }

  bool exists() const override { return alive_; }
  platform::Rect bounds() const override;
  void set_bounds(const platform::Rect& place) override;
  bool visible() const override;
  void set_visible(bool visible) override;
  bool enabled() const override;
  void set_enabled(bool enabled) override;
  void focus() override;
  platform::RawValue get_own(int32_t n) override { return own_.get(n); }
  bool set_own(int32_t n, const platform::RawValue& value) override;

  std::unique_ptr<platform::NativeControl> create_control(
      const form::UnitSettings& settings) override;
  void stack_front_to_back(const std::vector<platform::NativeControl*>& controls) override;
  void show(int32_t start_position) override;
  void destroy() override;

 private:
  void apply_title();
  void apply_background();
  void set_client_size(int32_t outer_width, int32_t outer_height);
  void report_activation(bool active);
  uint32_t control_number_of(GtkWidget* widget) const;

  static gboolean on_delete(GtkWidget*, GdkEvent*, gpointer self);
  static void on_destroyed(GtkWidget*, gpointer self);
  static void on_set_focus(GtkWindow*, GtkWidget* focus, gpointer self);
  static void on_active_changed(GObject*, GParamSpec*, gpointer self);
  static gboolean on_configure(GtkWidget*, GdkEventConfigure* event, gpointer self);
  static void on_map(GtkWidget*, gpointer self);
  static void on_unmap(GtkWidget*, gpointer self);

  OwnValues own_;
  uint32_t number_;
  platform::Rect outer_;
  GtkWidget* toplevel_ = nullptr;
  GtkWidget* client_ = nullptr;
  std::vector<Control*> controls_;  // in the order they were put in
  bool alive_ = true;
  bool destroying_ = false;
  bool presenting_ = false;
  bool enabled_ = true;
  bool shown_once_ = false;
  bool activated_once_ = false;
  bool active_reported_ = false;
  uint32_t focused_control_ = 0;
  int32_t last_x_ = 0, last_y_ = 0, last_width_ = 0, last_height_ = 0;

  // What enter_fullscreen changed, to put back.
  struct Fullscreen {
    bool on = false;
    Control* browser = nullptr;
    int32_t x = 0, y = 0;
    std::vector<Control*> hidden;
  } fullscreen_;
};

}  // namespace filmbar::gtk
