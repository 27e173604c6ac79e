// The pre-translation step shared by every backend: the window's keyboard
// rules, then the mouse and keyboard events -1 to -12 of the target, and
// where the keyboard focus goes.
#include <algorithm>

#include "shell/shell.h"

namespace filmbar::core {
namespace {

using shell::LoadedUnit;
using shell::LoadedWindow;

bool can_take_focus(const LoadedUnit& unit) {
  return unit.kind != nullptr && unit.kind->takes_focus && unit.native != nullptr &&
         unit.native->exists() && unit.native->visible() && unit.native->enabled();
}

// Tab order: by tab order, and for equal tab orders in reverse form order.
std::vector<LoadedUnit*> tab_sequence(LoadedWindow& window) {
  std::vector<LoadedUnit*> sequence;
  for (size_t i = window.units.size(); i-- > 1;) {
    LoadedUnit& unit = window.units[i];
    if (unit.settings.tab_stop && can_take_focus(unit)) sequence.push_back(&unit);
  }
  std::stable_sort(sequence.begin(), sequence.end(), [](const LoadedUnit* a, const LoadedUnit* b) {
    return a->settings.tab_order < b->settings.tab_order;
  });
  return sequence;
}

void move_focus(LoadedWindow& window, bool backward) {
  const std::vector<LoadedUnit*> sequence = tab_sequence(window);
  if (sequence.empty()) return;
  const auto current = std::find_if(sequence.begin(), sequence.end(), [&](const LoadedUnit* unit) {
    return unit->settings.number == window.last_focused;
  });
  size_t next = 0;
  if (current != sequence.end()) {
    const size_t at = static_cast<size_t>(current - sequence.begin());
    next = backward ? (at + sequence.size() - 1) % sequence.size() : (at + 1) % sequence.size();
  } else if (backward) {
    next = sequence.size() - 1;
  }
  sequence[next]->native->focus();
}

bool esc_closes(const LoadedWindow& window) {
  return window.units[0].settings.own[form::window_prop::EscCloses].number == 1;
}

int32_t low_word(int32_t coordinate) {
  return static_cast<int32_t>(coordinate & 0xFFFF);
}

int32_t event_for(InputKind kind) {
  switch (kind) {
    case InputKind::LeftDown: return form::kLeftDown;
    case InputKind::LeftUp: return form::kLeftUp;
    case InputKind::LeftDouble: return form::kLeftDouble;
    case InputKind::RightDown: return form::kRightDown;
    case InputKind::RightUp: return form::kRightUp;
    case InputKind::MouseMove: return form::kMouseMoved;
    case InputKind::KeyDown: return form::kKeyDown;
    case InputKind::KeyUp: return form::kKeyUp;
    case InputKind::Character: return form::kCharacter;
    case InputKind::Wheel: return form::kWheel;
  }
  return form::kMouseMoved;
}

}  // namespace

InputVerdict pre_translate(const InputRecord& input) {
  InputVerdict verdict;
  LoadedWindow* window = shell::find_window(input.window_number);
  if (window == nullptr || shell::fatal_stop_under_way()) return verdict;

  if (input.kind == InputKind::KeyDown) {
    if (input.key_code == kKeyEscape && input.key_state == 0 && esc_closes(*window)) {
      close_requested(input.window_number);
      verdict.consumed = true;
      return verdict;
    }
    if (input.key_code == kKeyTab && (input.key_state == 0 || input.key_state == kShift)) {
      move_focus(*window, input.key_state == kShift);
      verdict.consumed = true;
      return verdict;
    }
  }

  LoadedUnit* target = input.control_number == 0 ? &window->units[0]
                                                 : shell::find_unit(*window, input.control_number);
  if (target == nullptr || target->native == nullptr || !target->native->exists() ||
      !target->native->enabled()) {
    return verdict;
  }
  const int32_t x = low_word(input.x);
  const int32_t y = low_word(input.y);
  const int32_t event = event_for(input.kind);
  EventRecord record;
  switch (input.kind) {
    case InputKind::KeyDown:
    case InputKind::KeyUp:
      record = raise_event(input.window_number, input.control_number, event,
                           {input.key_code, input.key_state});
      break;
    case InputKind::Character:
      record = raise_event(input.window_number, input.control_number, event, {input.character});
      break;
    case InputKind::Wheel:
      record = raise_event(input.window_number, input.control_number, event,
                           {input.wheel_delta / 120, input.key_state});
      break;
    default:  // the mouse buttons and moves
      record =
          raise_event(input.window_number, input.control_number, event, {x, y, input.key_state});
      break;
  }
  if (record.has_result != 0) {
    if (record.result == 0) {
      verdict.consumed = true;
    } else if (input.kind == InputKind::Character) {
      verdict.character_replaced = true;
      verdict.character = record.result;
    }
  }
  return verdict;
}

void window_got_focus(uint32_t window_number) {
  LoadedWindow* window = shell::find_window(window_number);
  if (window == nullptr) return;
  raise_event(window_number, 0, form::kGotFocus);

  // The control that last had the focus, if it still exists; otherwise the
  // smallest tab order, searched from the last control of the form to the
  // first, a later candidate winning only on a strictly smaller order.
  LoadedUnit* target = nullptr;
  if (window->last_focused != 0) {
    LoadedUnit* last = shell::find_unit(*window, window->last_focused);
    if (last != nullptr && last->native != nullptr && last->native->exists()) target = last;
  }
  if (target == nullptr) {
    for (size_t i = window->units.size(); i-- > 1;) {
      LoadedUnit& unit = window->units[i];
      if (!can_take_focus(unit)) continue;
      if (target == nullptr || unit.settings.tab_order < target->settings.tab_order) target = &unit;
    }
  }
  if (target != nullptr) target->native->focus();
}

void focus_changed(uint32_t window_number, uint32_t losing_control, uint32_t gaining_control) {
  LoadedWindow* window = shell::find_window(window_number);
  if (window == nullptr) return;
  if (losing_control != 0) raise_event(window_number, losing_control, form::kLostFocus);
  if (gaining_control != 0) {
    window->last_focused = gaining_control;
    raise_event(window_number, gaining_control, form::kGotFocus);
  }
}

}  // namespace filmbar::core
