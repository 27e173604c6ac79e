// GTK backend: the main window (GTK 3).
//
// A fixed-size, non-resizable GtkWindow with an empty title and the
// program's icon; its client area is a GtkLayout, whose children sit at
// fixed places and which asks for no more room than it is given, so that
// the browser area's right-hand strip is cut off by the window's edge. The
// client area has the size that the form's outer size leaves on Windows
// after a fixed frame and a caption bar. Implements the window's events
// (shown, activated, moved, resized, close request, focus) for the core.
#include "platform/gtk/window.h"

#include "platform/events.h"
#include "platform/gtk/icon.h"
#include "platform/gtk/input.h"
#include "platform/gtk/text_conversion.h"

namespace filmbar::gtk {
namespace {

constexpr char kWindowKey[] = "filmbar-window";

// What a fixed-frame Windows window with a caption takes from its outer size.
constexpr int32_t kFrameSides = 2 * 3;
constexpr int32_t kFrameCaptionAndBottom = 22 + 3;

// The controls' look, for the program's windows only. The default GUI font
// is a CJK font whose metrics match the Windows stock GUI font closely
// enough that the form's texts fit the form's places (the clock's longest
// text in its 160 pixels), and the theme's generous paddings are trimmed so
// that the bar's controls fit the form's 20 to 24 pixel heights.
constexpr char kWindowCss[] =
    "#filmbar-main { font-family: \"WenQuanYi Micro Hei\", \"Noto Sans CJK SC\", sans-serif;"
    " font-size: 8pt; }\n"
    "#filmbar-main entry { min-height: 0; padding-top: 0; padding-bottom: 0; }\n"
    "#filmbar-main button { min-height: 0; padding: 0 6px; }\n"
    "#filmbar-main combobox button { min-height: 0; padding-top: 0; padding-bottom: 0; }\n"
    "#filmbar-client { background-color: transparent; }\n";

void install_window_css() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  GtkCssProvider* provider = gtk_css_provider_new();
  gtk_css_provider_load_from_data(provider, kWindowCss, -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(provider),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(provider);
}

constexpr GdkEventMask kInputEvents = static_cast<GdkEventMask>(
    GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_SCROLL_MASK |
    GDK_KEY_PRESS_MASK | GDK_KEY_RELEASE_MASK);

}  // namespace

Window::Window(const form::UnitSettings& settings, const platform::Rect& outer)
    : own_(settings), number_(settings.number), outer_(outer), enabled_(!settings.disabled) {
  install_window_css();
  toplevel_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  if (toplevel_ == nullptr) {
    alive_ = false;
    return;
  }
  g_object_ref(toplevel_);
  gtk_widget_set_name(toplevel_, "filmbar-main");
  g_object_set_data(G_OBJECT(toplevel_), kWindowKey, this);
  gtk_window_set_resizable(GTK_WINDOW(toplevel_), FALSE);
  gtk_window_set_skip_taskbar_hint(GTK_WINDOW(toplevel_),
                                   own_.number(form::window_prop::ShowInTaskbar) == 0);
  gtk_window_set_keep_above(GTK_WINDOW(toplevel_),
                            own_.number(form::window_prop::AlwaysOnTop) != 0);
  GdkPixbuf* icon = make_program_icon();
  gtk_window_set_icon(GTK_WINDOW(toplevel_), icon);
  g_object_unref(icon);
  gtk_widget_add_events(toplevel_, kInputEvents);

  client_ = gtk_layout_new(nullptr, nullptr);
  gtk_widget_set_name(client_, "filmbar-client");
  gtk_widget_add_events(client_, kInputEvents);
  g_signal_connect_after(client_, "realize", G_CALLBACK(report_every_move), nullptr);
  gtk_container_add(GTK_CONTAINER(toplevel_), client_);
  set_client_size(outer.width, outer.height);
  gtk_window_move(GTK_WINDOW(toplevel_), outer.left, outer.top);
  apply_title();
  apply_background();

  g_signal_connect(toplevel_, "delete-event", G_CALLBACK(on_delete), this);
  g_signal_connect(toplevel_, "destroy", G_CALLBACK(on_destroyed), this);
  g_signal_connect_after(toplevel_, "set-focus", G_CALLBACK(on_set_focus), this);
  g_signal_connect(toplevel_, "notify::is-active", G_CALLBACK(on_active_changed), this);
  g_signal_connect(toplevel_, "configure-event", G_CALLBACK(on_configure), this);
  g_signal_connect(toplevel_, "map", G_CALLBACK(on_map), this);
  g_signal_connect(toplevel_, "unmap", G_CALLBACK(on_unmap), this);
}

Window::~Window() {
  if (toplevel_ == nullptr) return;
  g_signal_handlers_disconnect_by_data(toplevel_, this);
  g_object_set_data(G_OBJECT(toplevel_), kWindowKey, nullptr);
  if (alive_) gtk_widget_destroy(toplevel_);
  g_object_unref(toplevel_);
}

Window* Window::of_widget(GtkWidget* widget) {
  return widget == nullptr ? nullptr
                           : static_cast<Window*>(g_object_get_data(G_OBJECT(widget), kWindowKey));
}

void Window::set_client_size(int32_t outer_width, int32_t outer_height) {
  const int32_t width = outer_width - kFrameSides;
  const int32_t height = outer_height - kFrameCaptionAndBottom;
  gtk_widget_set_size_request(client_, width > 1 ? width : 1, height > 1 ? height : 1);
}

void Window::apply_title() {
  // An empty title stays empty: the title bar shows no text.
  const std::string title = utf8_from_cp936(own_.text(form::window_prop::Caption));
  gtk_window_set_title(GTK_WINDOW(toplevel_), title.c_str());
}

void Window::apply_background() {
  const std::string colour = css_colour(own_.number(form::window_prop::BackColor));
  set_widget_css(toplevel_,
                 colour.empty() ? std::string("*{}") : "* { background-color: " + colour + "; }");
}

void Window::put(Control& control, GtkWidget* widget, int32_t left, int32_t top) {
  gtk_widget_add_events(widget, kInputEvents);
  gtk_layout_put(GTK_LAYOUT(client_), widget, left, top);
  controls_.push_back(&control);
}

void Window::move(GtkWidget* widget, int32_t left, int32_t top) {
  gtk_layout_move(GTK_LAYOUT(client_), widget, left, top);
}

void Window::forget(Control& control) {
  for (auto it = controls_.begin(); it != controls_.end(); ++it) {
    if (*it == &control) {
      controls_.erase(it);
      break;
    }
  }
  if (fullscreen_.browser == &control) fullscreen_.browser = nullptr;
  for (auto it = fullscreen_.hidden.begin(); it != fullscreen_.hidden.end();) {
    it = *it == &control ? fullscreen_.hidden.erase(it) : it + 1;
  }
}

platform::Rect Window::bounds() const {
  GdkWindow* gdk_window = alive_ ? gtk_widget_get_window(toplevel_) : nullptr;
  if (gdk_window == nullptr || !gtk_widget_get_mapped(toplevel_)) return outer_;
  GdkRectangle frame;
  gdk_window_get_frame_extents(gdk_window, &frame);
  return {frame.x, frame.y, frame.width, frame.height};
}

void Window::set_bounds(const platform::Rect& place) {
  outer_ = place;
  if (!alive_) return;
  set_client_size(place.width, place.height);
  gtk_window_move(GTK_WINDOW(toplevel_), place.left, place.top);
}

bool Window::visible() const {
  return alive_ && gtk_widget_get_visible(toplevel_);
}

void Window::set_visible(bool visible) {
  if (!alive_) return;
  if (visible) {
    gtk_window_set_focus_on_map(GTK_WINDOW(toplevel_), FALSE);
    gtk_widget_show(client_);
    gtk_widget_show(toplevel_);
    gtk_window_set_focus_on_map(GTK_WINDOW(toplevel_), TRUE);
  } else {
    gtk_widget_hide(toplevel_);
  }
}

bool Window::enabled() const {
  return enabled_;
}

void Window::set_enabled(bool enabled) {
  enabled_ = enabled;
  if (alive_) gtk_widget_set_sensitive(toplevel_, enabled);
}

void Window::focus() {
  if (alive_) gtk_window_present(GTK_WINDOW(toplevel_));
}

bool Window::set_own(int32_t n, const platform::RawValue& value) {
  own_.set(n, value);
  if (!alive_) return false;
  if (n == form::window_prop::Caption) apply_title();
  if (n == form::window_prop::BackColor) apply_background();
  return false;
}

std::unique_ptr<platform::NativeControl> Window::create_control(
    const form::UnitSettings& settings) {
  if (!alive_) return nullptr;
  switch (settings.kind) {
    case form::Kind::EditBox: return make_edit_box(*this, settings);
    case form::Kind::Button: return make_button(*this, settings);
    case form::Kind::ComboBox: return make_combo_box(*this, settings);
    case form::Kind::TransLabel: return make_trans_label(*this, settings);
    case form::Kind::Timer: return make_timer(*this, settings);
    case form::Kind::HtmlViewer: return make_browser_area(*this, settings);
    case form::Kind::Window: break;
  }
  return nullptr;
}

void Window::stack_front_to_back(const std::vector<platform::NativeControl*>& controls) {
  // The layout draws its children in the order they were put in, and their
  // windows are stacked in that order when realized: put them in again from
  // the back to the front.
  for (auto it = controls.rbegin(); it != controls.rend(); ++it) {
    auto* control = dynamic_cast<Control*>(*it);
    if (control == nullptr || control->widget() == nullptr || !control->exists()) continue;
    GtkWidget* widget = control->widget();
    int left = 0;
    int top = 0;
    gtk_container_child_get(GTK_CONTAINER(client_), widget, "x", &left, "y", &top, nullptr);
    g_object_ref(widget);
    gtk_container_remove(GTK_CONTAINER(client_), widget);
    gtk_layout_put(GTK_LAYOUT(client_), widget, left, top);
    g_object_unref(widget);
    GdkWindow* own_window =
        gtk_widget_get_has_window(widget) ? gtk_widget_get_window(widget) : nullptr;
    if (own_window != nullptr) gdk_window_raise(own_window);
  }
}

void Window::show(int32_t start_position) {
  if (!alive_) return;
  gtk_widget_show(client_);
  gtk_widget_realize(toplevel_);
  GdkWindow* gdk_window = gtk_widget_get_window(toplevel_);
  // Window managers that read these offer move, minimise and close only.
  int functions = GDK_FUNC_MOVE | GDK_FUNC_CLOSE;
  int decorations = GDK_DECOR_BORDER | GDK_DECOR_TITLE | GDK_DECOR_MENU;
  if (own_.number(form::window_prop::MinButton) != 0) {
    functions |= GDK_FUNC_MINIMIZE;
    decorations |= GDK_DECOR_MINIMIZE;
  }
  gdk_window_set_functions(gdk_window, static_cast<GdkWMFunction>(functions));
  gdk_window_set_decorations(gdk_window, static_cast<GdkWMDecoration>(decorations));
  if (start_position == 2) gtk_window_iconify(GTK_WINDOW(toplevel_));
  if (start_position == 3) gtk_window_maximize(GTK_WINDOW(toplevel_));
  // GTK focuses the first widget of its own order when a window without a
  // focus widget is shown; the core chooses instead, once the window counts
  // as activated.
  presenting_ = true;
  gtk_window_present(GTK_WINDOW(toplevel_));
  presenting_ = false;
  if (alive_) report_activation(true);
}

void Window::report_activation(bool active) {
  if (destroying_ || !alive_ || active == active_reported_) return;
  active_reported_ = active;
  if (!active) {
    core::raise_event(number_, 0, form::window_event::Deactivated);
    return;
  }
  if (!activated_once_) {
    activated_once_ = true;
    core::raise_event(number_, 0, form::window_event::FirstActivated);
  }
  if (alive_) core::raise_event(number_, 0, form::window_event::Activated);
  if (alive_) core::window_got_focus(number_);
}

void Window::destroy() {
  if (!alive_ || destroying_) return;
  destroying_ = true;
  if (fullscreen_.on) gtk_window_unfullscreen(GTK_WINDOW(toplevel_));
  core::window_destroying(number_);
  gtk_widget_destroy(toplevel_);
  alive_ = false;
  core::window_gone(number_);
}

uint32_t Window::control_number_of(GtkWidget* widget) const {
  for (GtkWidget* w = widget; w != nullptr && w != toplevel_; w = gtk_widget_get_parent(w)) {
    if (Control* control = Control::of_widget(w)) return control->number();
  }
  return 0;
}

gboolean Window::on_delete(GtkWidget*, GdkEvent*, gpointer self) {
  auto* window = static_cast<Window*>(self);
  // The core decides: it runs the close queries and destroys the window.
  if (!error_box_showing() && !window->destroying_) core::close_requested(window->number_);
  return TRUE;
}

void Window::on_destroyed(GtkWidget*, gpointer self) {
  static_cast<Window*>(self)->alive_ = false;
}

void Window::on_set_focus(GtkWindow*, GtkWidget* focus, gpointer self) {
  auto* window = static_cast<Window*>(self);
  if (window->destroying_ || !window->alive_ || window->presenting_) return;
  const uint32_t gaining = window->control_number_of(focus);
  const uint32_t losing = window->focused_control_;
  if (gaining == losing) return;
  window->focused_control_ = gaining;
  core::focus_changed(window->number_, losing, gaining);
}

void Window::on_active_changed(GObject*, GParamSpec*, gpointer self) {
  auto* window = static_cast<Window*>(self);
  if (!window->alive_ || window->destroying_) return;
  window->report_activation(gtk_window_is_active(GTK_WINDOW(window->toplevel_)) != FALSE);
}

gboolean Window::on_configure(GtkWidget*, GdkEventConfigure* event, gpointer self) {
  auto* window = static_cast<Window*>(self);
  if (!window->shown_once_ || window->destroying_) return FALSE;
  int x = 0;
  int y = 0;
  gtk_window_get_position(GTK_WINDOW(window->toplevel_), &x, &y);
  const bool moved = x != window->last_x_ || y != window->last_y_;
  const bool resized = event->width != window->last_width_ || event->height != window->last_height_;
  window->last_x_ = x;
  window->last_y_ = y;
  window->last_width_ = event->width;
  window->last_height_ = event->height;
  if (moved) core::raise_event(window->number_, 0, form::window_event::Moved);
  if (resized && window->alive_) core::raise_event(window->number_, 0, form::window_event::Resized);
  return FALSE;
}

void Window::on_map(GtkWidget*, gpointer self) {
  auto* window = static_cast<Window*>(self);
  if (window->destroying_) return;
  if (!window->shown_once_) {
    window->shown_once_ = true;
    gtk_window_get_position(GTK_WINDOW(window->toplevel_), &window->last_x_, &window->last_y_);
    gtk_widget_get_size_request(window->client_, &window->last_width_, &window->last_height_);
  }
  core::raise_event(window->number_, 0, form::window_event::Shown);
}

void Window::on_unmap(GtkWidget*, gpointer self) {
  auto* window = static_cast<Window*>(self);
  if (!window->destroying_ && window->alive_) {
    core::raise_event(window->number_, 0, form::window_event::Hidden);
  }
}

void Window::enter_fullscreen(Control& browser) {
  if (fullscreen_.on || !alive_ || browser.widget() == nullptr) return;
  fullscreen_.on = true;
  fullscreen_.browser = &browser;
  gtk_window_get_position(GTK_WINDOW(toplevel_), &fullscreen_.x, &fullscreen_.y);
  for (Control* control : controls_) {
    if (control != &browser && control->widget() != nullptr && control->visible()) {
      control->set_visible(false);
      fullscreen_.hidden.push_back(control);
    }
  }
  GdkRectangle screen{0, 0, 0, 0};
  GdkDisplay* display = gtk_widget_get_display(toplevel_);
  GdkMonitor* monitor =
      gdk_display_get_monitor_at_window(display, gtk_widget_get_window(toplevel_));
  if (monitor != nullptr) gdk_monitor_get_geometry(monitor, &screen);
  gtk_window_set_resizable(GTK_WINDOW(toplevel_), TRUE);
  gtk_widget_set_size_request(client_, screen.width, screen.height);
  gtk_widget_set_size_request(browser.widget(), screen.width, screen.height);
  move(browser.widget(), 0, 0);
  // A window manager makes the window fill the screen; without one, moving
  // and growing it does the same.
  gtk_window_fullscreen(GTK_WINDOW(toplevel_));
  gtk_window_move(GTK_WINDOW(toplevel_), screen.x, screen.y);
  gtk_window_resize(GTK_WINDOW(toplevel_), screen.width, screen.height);
}

void Window::leave_fullscreen() {
  if (!fullscreen_.on || !alive_) return;
  fullscreen_.on = false;
  gtk_window_unfullscreen(GTK_WINDOW(toplevel_));
  if (fullscreen_.browser != nullptr) {
    fullscreen_.browser->set_bounds(fullscreen_.browser->bounds());
  }
  set_client_size(outer_.width, outer_.height);
  for (Control* control : fullscreen_.hidden) control->set_visible(true);
  fullscreen_.hidden.clear();
  fullscreen_.browser = nullptr;
  gtk_window_set_resizable(GTK_WINDOW(toplevel_), FALSE);
  gtk_window_move(GTK_WINDOW(toplevel_), fullscreen_.x, fullscreen_.y);
}

}  // namespace filmbar::gtk
