// GTK backend: raw input through the core's pre-translation step (GDK 3).
//
// The router replaces GTK's own GDK event handler. Every mouse button,
// pointer motion, key and wheel event aimed at one of the program's windows
// is first described as a neutral input record for the control it is for
// and handed to core::pre_translate; only when the verdict lets it through
// does GTK see it. Which control it is for:
//  - pointer input: the control owning the GDK window the event came to,
//    which during a button press is the one holding the implicit grab (so
//    a drag that started in the address box keeps reporting to it), and
//    during a GTK grab (the chooser's dropped list) the grabbing control;
//  - keys: the control with the keyboard focus in the window the key came
//    to; for the chooser's dropped list, the chooser.
// A pointer crossing into a control counts as a move over it, since GDK
// reports that move as the crossing alone. Keys are reported with Windows virtual-key codes, a
// character record follows an unconsumed key press that types one, and an unconsumed Alt+F4 is a
// close request (no window manager is needed for it).
#include "platform/gtk/input.h"

#include <gtk/gtk.h>

#include <cmath>
#include <string>

#include "platform/events.h"
#include "platform/gtk/control.h"
#include "platform/gtk/text_conversion.h"
#include "platform/gtk/window.h"

namespace filmbar::gtk {
namespace {

bool g_error_box_showing = false;

constexpr guint kButtonsHeld =
    GDK_BUTTON1_MASK | GDK_BUTTON2_MASK | GDK_BUTTON3_MASK | GDK_BUTTON4_MASK | GDK_BUTTON5_MASK;

struct Target {
  Window* window = nullptr;
  Control* control = nullptr;  // null: the window's own body
};

// The window and control a widget belongs to, following the chooser's list
// (a menu in a popup window) back to the chooser it drops from.
Target owner_of(GtkWidget* widget) {
  for (GtkWidget* w = widget; w != nullptr;) {
    if (Control* control = Control::of_widget(w)) return {&control->window(), control};
    if (Window* window = Window::of_widget(w)) return {window, nullptr};
    GtkWidget* next = GTK_IS_MENU(w) ? gtk_menu_get_attach_widget(GTK_MENU(w)) : nullptr;
    if (next == nullptr) next = gtk_widget_get_parent(w);
    if (next == nullptr && GTK_IS_WINDOW(w)) {
      next = gtk_window_get_attached_to(GTK_WINDOW(w));
      GtkWidget* child = gtk_bin_get_child(GTK_BIN(w));
      if (next == nullptr && child != nullptr && GTK_IS_MENU(child)) next = child;
    }
    w = next;
  }
  return {};
}

Target pointer_target(GdkEvent* event) {
  GtkWidget* widget = gtk_get_event_widget(event);
  GtkWidget* grab = gtk_grab_get_current();
  if (grab != nullptr && widget != nullptr && widget != grab &&
      !gtk_widget_is_ancestor(widget, grab)) {
    widget = grab;
  }
  return owner_of(widget);
}

Target key_target(GdkEvent* event) {
  GtkWidget* widget = gtk_get_event_widget(event);
  if (widget == nullptr) return {};
  GtkWidget* toplevel = gtk_widget_get_toplevel(widget);
  Target target = owner_of(toplevel);
  if (target.window == nullptr || target.control != nullptr) return target;
  if (toplevel != target.window->toplevel()) return target;
  GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(toplevel));
  return focus != nullptr ? owner_of(focus) : target;
}

// Input goes to the core only for a live window of the program that is not
// showing a page's video fullscreen (that view takes the keys, Esc first,
// as a window of its own would).
bool routed(const Target& target) {
  return target.window != nullptr && target.window->exists() && !target.window->in_fullscreen() &&
         (target.control == nullptr || target.control->exists());
}

// The pointer's place in the target's client coordinates.
void client_position(const Target& target, double x_root, double y_root, int32_t& x, int32_t& y) {
  GtkWidget* reference =
      target.control != nullptr ? target.control->input_widget() : target.window->client();
  GtkWidget* toplevel = target.window->toplevel();
  int origin_x = 0;
  int origin_y = 0;
  GdkWindow* top_window = gtk_widget_get_window(toplevel);
  if (top_window != nullptr) gdk_window_get_origin(top_window, &origin_x, &origin_y);
  int offset_x = 0;
  int offset_y = 0;
  if (reference != nullptr && gtk_widget_get_realized(reference)) {
    gtk_widget_translate_coordinates(reference, toplevel, 0, 0, &offset_x, &offset_y);
  }
  x = static_cast<int32_t>(std::floor(x_root)) - (origin_x + offset_x);
  y = static_cast<int32_t>(std::floor(y_root)) - (origin_y + offset_y);
}

core::InputRecord record_for(const Target& target, core::InputKind kind) {
  core::InputRecord record;
  record.window_number = target.window->number();
  record.control_number = target.control != nullptr ? target.control->number() : 0;
  record.kind = kind;
  return record;
}

int32_t key_state_of(guint state) {
  int32_t key_state = 0;
  if ((state & GDK_CONTROL_MASK) != 0) key_state |= core::kCtrl;
  if ((state & GDK_SHIFT_MASK) != 0) key_state |= core::kShift;
  if ((state & GDK_MOD1_MASK) != 0) key_state |= core::kAlt;
  return key_state;
}

// The key's state as Windows reports it: a modifier key counts as held
// in its own key-down and no longer in its key-up.
int32_t key_state_of(const GdkEventKey& key, int32_t virtual_key) {
  int32_t key_state = key_state_of(key.state);
  int32_t own = 0;
  if (virtual_key == 0x11) own = core::kCtrl;
  if (virtual_key == 0x10) own = core::kShift;
  if (virtual_key == 0x12) own = core::kAlt;
  if (key.type == GDK_KEY_PRESS) key_state |= own;
  if (key.type == GDK_KEY_RELEASE) key_state &= ~own;
  return key_state;
}

// The Windows virtual-key code of a key: keys are named by their unshifted
// meaning, so Shift+Tab is Tab and Shift+1 is 1.
int32_t virtual_key_of(const GdkEventKey& key) {
  guint keyval = key.keyval;
  GdkKeymap* keymap = gdk_keymap_get_for_display(gdk_window_get_display(key.window));
  guint unshifted = 0;
  if (gdk_keymap_translate_keyboard_state(keymap, key.hardware_keycode,
                                          static_cast<GdkModifierType>(0), key.group, &unshifted,
                                          nullptr, nullptr, nullptr) &&
      unshifted != 0) {
    keyval = unshifted;
  }
  if (keyval >= GDK_KEY_a && keyval <= GDK_KEY_z)
    return static_cast<int32_t>(keyval - GDK_KEY_a) + 'A';
  if (keyval >= GDK_KEY_A && keyval <= GDK_KEY_Z) return static_cast<int32_t>(keyval);
  if (keyval >= GDK_KEY_0 && keyval <= GDK_KEY_9) return static_cast<int32_t>(keyval);
  if (keyval >= GDK_KEY_F1 && keyval <= GDK_KEY_F24) {
    return core::kKeyF1 + static_cast<int32_t>(keyval - GDK_KEY_F1);
  }
  if (keyval >= GDK_KEY_KP_0 && keyval <= GDK_KEY_KP_9) {
    return 0x60 + static_cast<int32_t>(keyval - GDK_KEY_KP_0);
  }
  switch (keyval) {
    case GDK_KEY_BackSpace: return 0x08;
    case GDK_KEY_Tab:
    case GDK_KEY_ISO_Left_Tab:
    case GDK_KEY_KP_Tab: return core::kKeyTab;
    case GDK_KEY_Clear:
    case GDK_KEY_KP_Begin: return 0x0C;
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_ISO_Enter: return core::kKeyEnter;
    case GDK_KEY_Shift_L:
    case GDK_KEY_Shift_R: return 0x10;
    case GDK_KEY_Control_L:
    case GDK_KEY_Control_R: return 0x11;
    case GDK_KEY_Alt_L:
    case GDK_KEY_Alt_R:
    case GDK_KEY_Meta_L:
    case GDK_KEY_Meta_R: return 0x12;
    case GDK_KEY_Pause: return 0x13;
    case GDK_KEY_Caps_Lock: return 0x14;
    case GDK_KEY_Escape: return core::kKeyEscape;
    case GDK_KEY_space:
    case GDK_KEY_KP_Space: return core::kKeySpace;
    case GDK_KEY_Page_Up:
    case GDK_KEY_KP_Page_Up: return 0x21;
    case GDK_KEY_Page_Down:
    case GDK_KEY_KP_Page_Down: return 0x22;
    case GDK_KEY_End:
    case GDK_KEY_KP_End: return 0x23;
    case GDK_KEY_Home:
    case GDK_KEY_KP_Home: return 0x24;
    case GDK_KEY_Left:
    case GDK_KEY_KP_Left: return 0x25;
    case GDK_KEY_Up:
    case GDK_KEY_KP_Up: return 0x26;
    case GDK_KEY_Right:
    case GDK_KEY_KP_Right: return 0x27;
    case GDK_KEY_Down:
    case GDK_KEY_KP_Down: return 0x28;
    case GDK_KEY_Print: return 0x2C;
    case GDK_KEY_Insert:
    case GDK_KEY_KP_Insert: return 0x2D;
    case GDK_KEY_Delete:
    case GDK_KEY_KP_Delete: return 0x2E;
    case GDK_KEY_Super_L: return 0x5B;
    case GDK_KEY_Super_R: return 0x5C;
    case GDK_KEY_Menu: return 0x5D;
    case GDK_KEY_KP_Multiply: return 0x6A;
    case GDK_KEY_KP_Add: return 0x6B;
    case GDK_KEY_KP_Separator: return 0x6C;
    case GDK_KEY_KP_Subtract: return 0x6D;
    case GDK_KEY_KP_Decimal: return 0x6E;
    case GDK_KEY_KP_Divide: return 0x6F;
    case GDK_KEY_Num_Lock: return 0x90;
    case GDK_KEY_Scroll_Lock: return 0x91;
    case GDK_KEY_semicolon: return 0xBA;
    case GDK_KEY_equal: return 0xBB;
    case GDK_KEY_comma: return 0xBC;
    case GDK_KEY_minus: return 0xBD;
    case GDK_KEY_period: return 0xBE;
    case GDK_KEY_slash: return 0xBF;
    case GDK_KEY_grave: return 0xC0;
    case GDK_KEY_bracketleft: return 0xDB;
    case GDK_KEY_backslash: return 0xDC;
    case GDK_KEY_bracketright: return 0xDD;
    case GDK_KEY_apostrophe: return 0xDE;
    default: return 0;
  }
}

// The character a key press types, as code page 936 (a double-byte
// character as lead byte * 256 + trail byte); 0 when it types none. Ctrl
// with a letter types the control character, as on Windows; Alt types none.
int32_t character_of(const GdkEventKey& key) {
  if ((key.state & GDK_MOD1_MASK) != 0) return 0;
  gunichar character = gdk_keyval_to_unicode(key.keyval);
  if ((key.state & GDK_CONTROL_MASK) != 0) {
    const gunichar upper = g_unichar_toupper(character);
    return upper >= 'A' && upper <= 'Z' ? static_cast<int32_t>(upper - 'A' + 1) : 0;
  }
  if (character == 0 || character == 0x7F) return 0;
  if (character < 0x80) return static_cast<int32_t>(character);
  char utf8[8];
  const int length = g_unichar_to_utf8(character, utf8);
  const std::string bytes = cp936_from_utf8(utf8, static_cast<size_t>(length));
  int32_t code = 0;
  for (unsigned char byte : bytes) code = (code << 8) | byte;
  return code;
}

// The keyval that types a code page 936 character code.
guint keyval_of_character(int32_t code) {
  if (code >= 0 && code < 0x80) return gdk_unicode_to_keyval(static_cast<guint32>(code));
  std::string bytes;
  if (code > 0xFF) bytes.push_back(static_cast<char>((code >> 8) & 0xFF));
  bytes.push_back(static_cast<char>(code & 0xFF));
  const std::string utf8 = utf8_from_cp936(bytes);
  return gdk_unicode_to_keyval(g_utf8_get_char(utf8.c_str()));
}

bool is_alt_f4(const GdkEventKey& key, int32_t virtual_key) {
  return key.type == GDK_KEY_PRESS && virtual_key == core::kKeyF4 &&
         (key.state & GDK_MOD1_MASK) != 0;
}

// Handles one pointer event (a crossing into a window counts as a move);
// true when GTK may see it.
bool pre_translate_pointer(GdkEvent* event) {
  const Target target = pointer_target(event);
  if (!routed(target)) return true;
  core::InputKind kind;
  double x_root = 0;
  double y_root = 0;
  guint state = 0;
  int32_t wheel_delta = 0;
  switch (event->type) {
    case GDK_MOTION_NOTIFY:
      kind = core::InputKind::MouseMove;
      x_root = event->motion.x_root;
      y_root = event->motion.y_root;
      state = event->motion.state;
      break;
    case GDK_ENTER_NOTIFY:
      // A move that takes the pointer into another of the window's GDK
      // windows reaches that window only as a crossing, never as motion.
      // The pointer has moved over it all the same. Crossings caused by
      // grabs, those of the windows merely passed through, and those while
      // a button holds the pointer for another window are no moves of it.
      if (event->crossing.mode != GDK_CROSSING_NORMAL ||
          event->crossing.detail == GDK_NOTIFY_VIRTUAL ||
          event->crossing.detail == GDK_NOTIFY_NONLINEAR_VIRTUAL ||
          (event->crossing.state & kButtonsHeld) != 0) {
        return true;
      }
      kind = core::InputKind::MouseMove;
      x_root = event->crossing.x_root;
      y_root = event->crossing.y_root;
      state = event->crossing.state;
      break;
    case GDK_BUTTON_PRESS:
    case GDK_2BUTTON_PRESS:
    case GDK_BUTTON_RELEASE: {
      const guint button = event->button.button;
      if (button != GDK_BUTTON_PRIMARY && button != GDK_BUTTON_SECONDARY) return true;
      const bool left = button == GDK_BUTTON_PRIMARY;
      if (event->type == GDK_2BUTTON_PRESS) {
        if (!left) return true;
        kind = core::InputKind::LeftDouble;
      } else if (event->type == GDK_BUTTON_PRESS) {
        kind = left ? core::InputKind::LeftDown : core::InputKind::RightDown;
      } else {
        kind = left ? core::InputKind::LeftUp : core::InputKind::RightUp;
      }
      x_root = event->button.x_root;
      y_root = event->button.y_root;
      state = event->button.state;
      break;
    }
    case GDK_SCROLL:
      kind = core::InputKind::Wheel;
      x_root = event->scroll.x_root;
      y_root = event->scroll.y_root;
      state = event->scroll.state;
      if (event->scroll.direction == GDK_SCROLL_UP) wheel_delta = 120;
      if (event->scroll.direction == GDK_SCROLL_DOWN) wheel_delta = -120;
      if (event->scroll.direction == GDK_SCROLL_SMOOTH) {
        wheel_delta = static_cast<int32_t>(std::lround(-event->scroll.delta_y * 120.0));
      }
      if (wheel_delta == 0) return true;
      break;
    default: return true;
  }
  core::InputRecord record = record_for(target, kind);
  client_position(target, x_root, y_root, record.x, record.y);
  record.key_state = key_state_of(state);
  record.wheel_delta = wheel_delta;
  const bool consumed = core::pre_translate(record).consumed;
  // Crossings keep GTK's own hover tracking right whatever the verdict.
  return event->type == GDK_ENTER_NOTIFY || !consumed;
}

// Handles one key event; true when GTK may see it.
bool pre_translate_key(GdkEvent* event) {
  Target target = key_target(event);
  if (!routed(target)) return true;
  GdkEventKey& key = event->key;
  const int32_t virtual_key = virtual_key_of(key);
  core::InputRecord record = record_for(
      target, key.type == GDK_KEY_PRESS ? core::InputKind::KeyDown : core::InputKind::KeyUp);
  record.key_code = virtual_key;
  record.key_state = key_state_of(key, virtual_key);
  if (core::pre_translate(record).consumed) return false;
  if (key.type != GDK_KEY_PRESS) return true;

  // The routine may have changed the focus or closed the window: look again.
  target = key_target(event);
  if (!routed(target)) return true;
  if (is_alt_f4(key, virtual_key)) {
    core::close_requested(target.window->number());
    return false;
  }
  const int32_t character = character_of(key);
  if (character == 0) return true;
  core::InputRecord typed = record_for(target, core::InputKind::Character);
  typed.character = character;
  const core::InputVerdict verdict = core::pre_translate(typed);
  if (verdict.consumed) return false;
  if (verdict.character_replaced) {
    const guint keyval = keyval_of_character(verdict.character);
    if (keyval == 0) return false;
    key.keyval = keyval;
  }
  return true;
}

void route_event(GdkEvent* event, gpointer) {
  bool deliver = true;
  if (!g_error_box_showing) {
    switch (event->type) {
      case GDK_MOTION_NOTIFY:
      case GDK_ENTER_NOTIFY:
      case GDK_BUTTON_PRESS:
      case GDK_2BUTTON_PRESS:
      case GDK_BUTTON_RELEASE:
      case GDK_SCROLL: deliver = pre_translate_pointer(event); break;
      case GDK_KEY_PRESS:
      case GDK_KEY_RELEASE: deliver = pre_translate_key(event); break;
      default: break;
    }
  }
  if (deliver) gtk_main_do_event(event);
  // Pointer-motion hints: ask for the next motion even when this one was
  // consumed before the widget could.
  if (event->type == GDK_MOTION_NOTIFY) gdk_event_request_motions(&event->motion);
}

}  // namespace

void install_input_router() {
  gdk_event_handler_set(route_event, nullptr, nullptr);
}

void set_error_box_showing(bool showing) {
  g_error_box_showing = showing;
}

bool error_box_showing() {
  return g_error_box_showing;
}

}  // namespace filmbar::gtk
