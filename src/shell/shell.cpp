// The form run time: start-up, the table of loaded windows, the loop, event
// dispatch, closing, exit routines, shut-down and the fatal stop.
#include "shell/shell.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "access/heap.h"

namespace filmbar::shell {
namespace {

struct RunTime {
  const Program* program = nullptr;
  std::vector<std::unique_ptr<LoadedWindow>> windows;
  std::vector<ExitRoutine> exit_routines;
  int32_t suppression = 0;
  bool fatal = false;  // a fatal stop is under way: nothing runs again
  bool loop_started = false;
  bool ole_started = false;
  bool libraries_connected = false;
  std::string program_folder;
  uint32_t event_window = 0;
  uint32_t event_control = 0;
  int32_t quit_code = 0;  // the code of the quit message the loop retrieved
};

RunTime g;

bool has_system_window(const LoadedWindow& w) {
  return w.window != nullptr && w.window->exists();
}

bool any_system_window() {
  return std::any_of(g.windows.begin(), g.windows.end(),
                     [](const std::unique_ptr<LoadedWindow>& w) { return has_system_window(*w); });
}

bool valid_control_number(uint32_t number) {
  return (number & 0x00FFFFFFu) != 0 && (number & 0x0F000000u) != 0;
}

// Turns one declared unit into its record, resolving settings and binding
// references. False when the unit cannot be read.
bool read_unit(const form::UnitDecl& decl, const Program& program, LoadedUnit& out) {
  if (!resolve_settings(decl, out.settings)) return false;
  out.kind = form::find_kind(decl.kind);
  out.binding_link = decl.binding_link;
  for (const form::BindingDecl& binding : decl.bindings) {
    EventRoutine routine = nullptr;
    if (binding.routine_index >= 0) {
      if (static_cast<size_t>(binding.routine_index) >= program.routines.size()) return false;
      routine = program.routines[static_cast<size_t>(binding.routine_index)];
    } else if (binding.routine_index != -1) {
      return false;
    }
    out.bindings.emplace_back(binding.event, routine);
  }
  return true;
}

bool read_form(const Program& program) {
  if (program.form == nullptr || program.form->windows.empty()) return false;
  std::vector<std::unique_ptr<LoadedWindow>> table;
  for (const form::WindowDecl& decl : program.form->windows) {
    if (decl.window.kind != form::Kind::Window) return false;
    auto window = std::make_unique<LoadedWindow>();
    window->number = decl.window.number;
    window->units.resize(decl.controls.size() + 1);
    if (!read_unit(decl.window, program, window->units[0])) return false;
    for (size_t i = 0; i < decl.controls.size(); ++i) {
      const form::UnitDecl& control = decl.controls[i];
      if (control.kind == form::Kind::Window || !valid_control_number(control.number)) return false;
      if (!read_unit(control, program, window->units[i + 1])) return false;
    }
    for (const auto& existing : table) {
      if (existing->number == window->number) return false;
    }
    table.push_back(std::move(window));
  }
  g.windows = std::move(table);
  return true;
}

// Releases the system windows built for a window, controls first.
void release_natives(LoadedWindow& window) {
  for (LoadedUnit& unit : window.units) unit.native = nullptr;
  std::vector<std::unique_ptr<platform::NativeControl>> controls = std::move(window.controls);
  std::unique_ptr<platform::NativeWindow> native_window = std::move(window.window);
  controls.clear();
  native_window.reset();
}

[[noreturn]] void window_load_failed(LoadedWindow* window) {
  if (window != nullptr) release_natives(*window);
  fatal_stop("Loading the start-up window failed.");
}

// Follows a record's link to the control whose binding list it uses, while
// the link names an existing control of the same kind.
LoadedUnit& binding_owner(LoadedWindow& window, LoadedUnit& unit) {
  LoadedUnit* owner = &unit;
  for (size_t steps = 0; owner->binding_link != 0 && steps < window.units.size(); ++steps) {
    LoadedUnit* next = find_unit(window, owner->binding_link);
    if (next == nullptr || next->settings.kind != owner->settings.kind) break;
    owner = next;
  }
  return *owner;
}

}  // namespace

std::string hex_number(uint32_t number) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", number);
  return text;
}

// ---- lookups ---------------------------------------------------------------

LoadedWindow* find_window(uint32_t window_number) {
  for (auto& window : g.windows) {
    if (window->number == window_number) return window.get();
  }
  return nullptr;
}

LoadedUnit* find_unit(LoadedWindow& window, uint32_t control_number) {
  for (size_t i = 0; i < window.units.size(); ++i) {
    if (window.units[i].settings.number != control_number) continue;
    // The window's own record carries the window number; controls must have
    // a well-formed control number.
    if (i == 0 || valid_control_number(control_number)) return &window.units[i];
  }
  return nullptr;
}

LoadedUnit& unit_record(uint32_t window_number, uint32_t control_number) {
  LoadedWindow* window = find_window(window_number);
  if (window == nullptr) fatal_stop("Window " + hex_number(window_number) + " is not loaded.");
  LoadedUnit* unit = find_unit(*window, control_number);
  if (unit == nullptr) {
    fatal_stop("Control " + hex_number(control_number) + " is not part of window " +
               hex_number(window_number) + ".");
  }
  return *unit;
}

LoadedUnit& live_unit(uint32_t window_number, uint32_t control_number) {
  LoadedUnit& unit = unit_record(window_number, control_number);
  if (unit.native == nullptr || !unit.native->exists()) {
    fatal_stop("Control " + hex_number(control_number) + " has no system window.");
  }
  return unit;
}

// ---- the program's start routine -------------------------------------------

void program_setup() {}
void program_cleanup() {}

int32_t program_entry(const Program& program) {
  prepare_program(program);
  program.setup();
  register_exit_routine(program.cleanup);
  load_window(form::kMainWindow);
  run_message_loop();
  return 0;
}

int32_t program_entry() {
  return program_entry(the_program());
}

void prepare_program(const Program& program) {
  g.program = &program;
  platform::Platform& backend = platform::current();
  // The program heap is the backend's own; nothing to set up for it.
  if (!g.ole_started) {
    backend.ole_initialize();
    g.ole_started = true;
  }
  const std::string path = backend.program_file_path();
  const size_t separator = path.find_last_of(backend.path_separator());
  g.program_folder = separator == std::string::npos ? std::string() : path.substr(0, separator);
  if (!g.program_folder.empty()) backend.set_current_directory(g.program_folder);
  access::set_constant_area(program.constants_begin, program.constants_end);
  backend.connect_control_libraries();
  g.libraries_connected = true;
  if (!read_form(program)) fatal_stop("Loading the window form data failed.");
}

void register_exit_routine(ExitRoutine routine) {
  if (routine == nullptr) return;
  if (std::find(g.exit_routines.begin(), g.exit_routines.end(), routine) != g.exit_routines.end()) {
    return;
  }
  g.exit_routines.push_back(routine);
}

void load_window(uint32_t window_number) {
  LoadedWindow* window = find_window(window_number);
  if (window == nullptr) window_load_failed(nullptr);
  platform::Platform& backend = platform::current();

  // The window's system window, hidden, at its final place.
  LoadedUnit& own = window->units[0];
  const form::UnitSettings& s = own.settings;
  const auto start_position = static_cast<int32_t>(s.own[form::window_prop::StartPosition].number);
  platform::Rect outer{s.left, s.top, s.width, s.height};
  if (start_position == 1) {
    const platform::Size screen = backend.screen_size();
    outer.left = (screen.width - s.width) / 2;
    outer.top = (screen.height - s.height) / 2;
  }
  window->window = backend.create_window(s, outer);
  if (window->window == nullptr) window_load_failed(window);
  own.native = window->window.get();

  // Controls hidden, last of the form first.
  const size_t count = window->units.size() - 1;
  window->controls.resize(count);
  for (size_t i = count; i-- > 0;) {
    LoadedUnit& unit = window->units[i + 1];
    window->controls[i] = window->window->create_control(unit.settings);
    if (window->controls[i] == nullptr) window_load_failed(window);
    unit.native = window->controls[i].get();
  }

  // Front to back in form order.
  std::vector<platform::NativeControl*> stacking;
  for (auto& control : window->controls) stacking.push_back(control.get());
  window->window->stack_front_to_back(stacking);

  own.native->set_mouse_pointer(s.mouse_pointer);
  for (size_t i = 0; i < count; ++i) {
    window->units[i + 1].native->set_mouse_pointer(window->units[i + 1].settings.mouse_pointer);
  }
  for (size_t i = count; i-- > 0;) window->controls[i]->window_complete();
  window->window->window_complete();

  for (size_t i = 0; i < count; ++i) {
    const LoadedUnit& unit = window->units[i + 1];
    window->controls[i]->set_visible(unit.settings.visible &&
                                     unit.settings.kind != form::Kind::Timer);
  }

  // Created, moved, resized: the window still invisible.
  for (int32_t event :
       {form::window_event::Created, form::window_event::Moved, form::window_event::Resized}) {
    if (!has_system_window(*window)) break;
    core::raise_event(window_number, 0, event);
  }

  if (has_system_window(*window) && s.visible) window->window->show(start_position);

  if (has_system_window(*window)) {
    for (size_t i = count; i-- > 0;) window->controls[i]->window_shown();
    window->window->window_shown();
  }
  window->loaded = true;
}

void run_message_loop() {
  g.loop_started = true;
  if (!any_system_window()) return;
  while (platform::current().deliver_next_message(g.quit_code)) {
  }
}

int32_t run_framework(const Program& program) {
  // The start step: a zero result means the framework runs no loop of its
  // own and goes straight to its exit step.
  const int32_t result = program_entry(program);
  if (result != 0) return result;
  shut_down(0);
  return g.quit_code;
}

// ---- dispatch ----------------------------------------------------------------

void raise_suppression() {
  ++g.suppression;
}
void lower_suppression() {
  if (g.suppression > 0) --g.suppression;
}
int32_t suppression_level() {
  return g.suppression;
}
uint32_t current_event_window() {
  return g.event_window;
}
uint32_t current_event_control() {
  return g.event_control;
}
const std::string& program_folder() {
  return g.program_folder;
}
bool loop_started() {
  return g.loop_started;
}
bool fatal_stop_under_way() {
  return g.fatal;
}
bool ole_started() {
  return g.ole_started;
}
size_t exit_routine_count() {
  return g.exit_routines.size();
}

// ---- the end -------------------------------------------------------------------

void shut_down(int32_t /*exit_code*/) {
  raise_suppression();

  // Released from a table already emptied, so that a backend reporting its
  // windows' destruction finds nothing left to act on.
  std::vector<std::unique_ptr<LoadedWindow>> table = std::move(g.windows);
  g.windows.clear();
  for (auto& window : table) release_natives(*window);
  table.clear();

  std::vector<ExitRoutine> routines = std::move(g.exit_routines);
  g.exit_routines.clear();
  for (ExitRoutine routine : routines) routine();

  if (g.libraries_connected) {
    g.libraries_connected = false;
    platform::current().control_libraries_ending();
  }
  if (g.ole_started) {
    g.ole_started = false;
    platform::current().ole_uninitialize();
  }
}

void fatal_stop(const std::string& message, int32_t error_code) {
  platform::Platform& backend = platform::current();
  if (g.fatal) backend.exit_process(-1);  // a failure while already stopping
  g.fatal = true;
  raise_suppression();

  std::string text = "A run-time error has occurred.";
  if (error_code != 0) text += "\nError code: " + std::to_string(error_code);
  if (!message.empty()) text += "\n" + message;
  backend.show_error_box(text);

  g.exit_routines.clear();
  shut_down(-1);
  backend.exit_process(-1);
  std::abort();  // exit_process never returns; the compiler cannot see that through a virtual
}

void reset_for_tests() {
  std::vector<std::unique_ptr<LoadedWindow>> table = std::move(g.windows);
  for (auto& window : table) release_natives(*window);
  g = RunTime{};
}

namespace {
// When the process objects are destroyed at exit, the ordered release runs
// once more; by then there is nothing left to release.
struct ShutDownAtProcessExit {
  ~ShutDownAtProcessExit() { shut_down(0); }
} g_shut_down_at_exit;
}  // namespace

}  // namespace filmbar::shell

// ---- entry points for backends -----------------------------------------------

namespace filmbar::core {

using shell::g;

bool dispatch_event(EventRecord& record) {
  if (g.suppression > 0 || g.fatal) return false;
  shell::LoadedWindow* window = shell::find_window(record.window_number);
  if (window == nullptr) {
    shell::fatal_stop("An event came from window " + shell::hex_number(record.window_number) +
                      ", which is not loaded.");
  }
  shell::LoadedUnit* unit = record.control_number == 0
                                ? &window->units[0]
                                : shell::find_unit(*window, record.control_number);
  if (unit == nullptr) {
    shell::fatal_stop("An event came from control " + shell::hex_number(record.control_number) +
                      ", which is not part of window " + shell::hex_number(record.window_number) +
                      ".");
  }
  shell::LoadedUnit& owner = shell::binding_owner(*window, *unit);
  if (owner.kind == nullptr || !owner.kind->raises_events) {
    shell::fatal_stop("Control " + shell::hex_number(owner.settings.number) + " raises no events.");
  }

  shell::EventRoutine routine = nullptr;
  for (const auto& [event, bound] : owner.bindings) {
    if (event == record.event_number) {
      routine = bound;
      break;
    }
  }
  if (routine == nullptr) return false;

  // An event raised while a routine runs goes through at once; the outer
  // event's source is put back afterwards.
  const uint32_t outer_window = g.event_window;
  const uint32_t outer_control = g.event_control;
  g.event_window = record.window_number;
  g.event_control = record.control_number;
  const shell::RoutineResult result = routine(record.argument_count, record.arguments);
  g.event_window = outer_window;
  g.event_control = outer_control;
  if (result.returned) {
    record.has_result = 1;
    record.result = result.value;
  }
  return true;
}

EventRecord raise_event(uint32_t window_number, uint32_t control_number, int32_t event_number,
                        std::initializer_list<int32_t> arguments) {
  EventRecord record;
  record.window_number = window_number;
  record.control_number = control_number;
  record.event_number = event_number;
  for (int32_t argument : arguments) {
    if (record.argument_count == 5) break;
    record.arguments[record.argument_count++] = argument;
  }
  dispatch_event(record);
  return record;
}

void close_requested(uint32_t window_number) {
  // While the fatal-stop box is up the program is ending anyway; closing the
  // window now would end the box's loop early.
  if (g.fatal) return;
  shell::LoadedWindow* window = shell::find_window(window_number);
  if (window == nullptr || !shell::has_system_window(*window)) return;
  for (int32_t query :
       {form::window_event::FirstCloseQuery, form::window_event::SecondCloseQuery}) {
    const EventRecord record = raise_event(window_number, 0, query);
    if (record.has_result != 0 && record.result == 0) return;
  }
  window->window->destroy();
}

void window_destroying(uint32_t window_number) {
  if (shell::find_window(window_number) == nullptr) return;
  raise_event(window_number, 0, form::window_event::BeingDestroyed);
}

void window_gone(uint32_t window_number) {
  if (shell::find_window(window_number) == nullptr) return;
  if (g.loop_started && !shell::any_system_window()) platform::current().post_quit(0);
}

}  // namespace filmbar::core
