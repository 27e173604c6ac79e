// The form run time: start-up, the table of loaded windows, the message
// loop, event dispatch, exit routines, shut-down and the fatal stop.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "form/form.h"
#include "platform/events.h"
#include "platform/platform.h"

namespace filmbar::shell {

// What an event routine gives back: nothing, or a value.
struct RoutineResult {
  bool returned = false;
  int32_t value = 0;

  static RoutineResult nothing() { return {}; }
  static RoutineResult of(int32_t v) { return {true, v}; }
};

// An event routine takes its event's arguments, first argument first.
using EventRoutine = RoutineResult (*)(int32_t argument_count, const int32_t* arguments);
using ExitRoutine = void (*)();

// What the start routine runs: the form, the routine table its bindings
// index, and the global set-up and clean-up routines. The program's own is
// the_program(); tests may run another.
struct Program {
  const form::FormDecl* form;  // null: the form description cannot be read
  std::vector<EventRoutine> routines;
  void (*setup)();
  ExitRoutine cleanup;
  // The constant area: the program's string constants, never freed.
  const char* constants_begin;
  const char* constants_end;
};

const Program& the_program();

// The program's start routine and its two routines (both empty).
int32_t program_entry();
int32_t program_entry(const Program& program);
void program_setup();
void program_cleanup();

// The framework around program_entry: the start step records the program
// folder and runs program_entry; a zero result goes straight to the exit
// step, which runs shut_down(0). Returns the code of the quit message, which
// the process ends with.
int32_t run_framework(const Program& program);

void prepare_program(const Program& program);
void register_exit_routine(ExitRoutine routine);
void load_window(uint32_t window_number);
void run_message_loop();
void shut_down(int32_t exit_code);
[[noreturn]] void fatal_stop(const std::string& message, int32_t error_code = 0);

// A loaded window's unit: its resolved settings, its stored common values
// and, once built, its system window.
struct LoadedUnit {
  form::UnitSettings settings;
  const form::KindDecl* kind = nullptr;
  std::vector<std::pair<int32_t, EventRoutine>> bindings;
  uint32_t binding_link = 0;
  std::string tag;
  std::string mouse_pointer_data;
  platform::NativeUnit* native = nullptr;  // owned below
};

struct LoadedWindow {
  uint32_t number = 0;
  // The window's own record first, then the controls in form order.
  std::vector<LoadedUnit> units;
  std::unique_ptr<platform::NativeWindow> window;
  std::vector<std::unique_ptr<platform::NativeControl>> controls;  // form order
  uint32_t last_focused = 0;
  bool loaded = false;
};

// Lookups used by property access. Null when there is no such window, or
// no record of that control number (a number whose low 24 bits or bits
// 24 to 27 are all zero matches nothing).
LoadedWindow* find_window(uint32_t window_number);
LoadedUnit* find_unit(LoadedWindow& window, uint32_t control_number);

// The unit with a live system window, or a fatal stop.
LoadedUnit& live_unit(uint32_t window_number, uint32_t control_number);
LoadedUnit& unit_record(uint32_t window_number, uint32_t control_number);

// The suppression counter: while above zero no event routine runs.
void raise_suppression();
void lower_suppression();
int32_t suppression_level();

// Where the current event came from; both 0 outside a routine.
uint32_t current_event_window();
uint32_t current_event_control();

// "0x%08X": how window and control numbers appear in messages.
std::string hex_number(uint32_t number);

// The program folder recorded at start-up.
const std::string& program_folder();

// Counts of state that tests and backends may look at.
bool loop_started();
bool fatal_stop_under_way();
bool ole_started();
size_t exit_routine_count();

// Forgets all run-time state, so that one test process can start the
// program more than once.
void reset_for_tests();

}  // namespace filmbar::shell
