// The core's entry points for backends: how native controls raise their
// events, how raw input reaches the shell's pre-translation step, and how a
// backend reports closing, destruction and focus. Implemented in shell/.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace filmbar::core {

// What a control hands to dispatch_event when it raises an event.
struct EventRecord {
  uint32_t window_number = 0;
  uint32_t control_number = 0;  // 0 for an event of the window itself
  int32_t event_number = 0;
  int32_t argument_count = 0;
  int32_t arguments[5] = {0, 0, 0, 0, 0};
  int32_t has_result = 0;
  int32_t result = 0;
};

// Finds and runs the routine bound to the raised event; true if one ran.
bool dispatch_event(EventRecord& record);

// Fills a record (at most five arguments) and dispatches it.
EventRecord raise_event(uint32_t window_number, uint32_t control_number, int32_t event_number,
                        std::initializer_list<int32_t> arguments = {});

// Key state bits.
enum KeyState : int32_t { kCtrl = 1, kShift = 2, kAlt = 4 };

// Key codes are the Windows virtual-key codes; other backends map to them.
enum KeyCode : int32_t {
  kKeyTab = 0x09,
  kKeyEnter = 0x0D,
  kKeyEscape = 0x1B,
  kKeySpace = 0x20,
  kKeyF1 = 0x70,
  kKeyF4 = 0x73,
};

enum class InputKind {
  LeftDown,
  LeftUp,
  LeftDouble,
  RightDown,
  RightUp,
  MouseMove,
  KeyDown,  // also with Alt
  KeyUp,    // also with Alt
  Character,
  Wheel,
};

// Raw input in neutral form, addressed to the control whose system window is
// its target (for the chooser, also the parts inside it); control number 0
// means the window's own body. x and y are in the target's client
// coordinates; the shell keeps their low 16 bits.
struct InputRecord {
  uint32_t window_number = 0;
  uint32_t control_number = 0;
  InputKind kind = InputKind::MouseMove;
  int32_t x = 0;
  int32_t y = 0;
  int32_t key_code = 0;
  int32_t key_state = 0;
  int32_t character = 0;
  int32_t wheel_delta = 0;  // in the system's units, 120 a notch
};

struct InputVerdict {
  bool consumed = false;            // the control must not see the input
  bool character_replaced = false;  // deliver `character` instead
  int32_t character = 0;
};

// The window's keyboard rules (Esc closes, Tab and Shift+Tab move the
// focus), then events -1 to -12 on the target.
InputVerdict pre_translate(const InputRecord& input);

// A close request from the close button, the system menu or Alt+F4: runs
// the close queries and, unless refused, destroys the window.
void close_requested(uint32_t window_number);

// The window is being destroyed (raises its being-destroyed event).
void window_destroying(uint32_t window_number);

// The window's system window is gone; posts the quit message when no
// window of the table has one any more and the loop has started.
void window_gone(uint32_t window_number);

// The window has received the keyboard focus: raises its got-focus event
// and hands the focus on to the right control.
void window_got_focus(uint32_t window_number);

// The keyboard focus moved between controls of a window (0 for none or the
// window itself); raises lost-focus on the old and got-focus on the new.
void focus_changed(uint32_t window_number, uint32_t losing_control, uint32_t gaining_control);

}  // namespace filmbar::core
