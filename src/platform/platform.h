// The one interface through which the core builds windows and controls,
// runs the loop, reads the clock and the program path, sets the current
// directory, starts and stops OLE, shows the error box and ends the process.
//
// Each backend (win32, gtk, headless) implements it in its own folder and
// installs one instance with install_platform() before the framework runs.
// Texts cross this interface as code page 936 bytes; a backend converts to
// its toolkit's own strings at its edge, always from and to code page 936.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "form/form.h"

namespace filmbar::platform {

struct Rect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 0;
  int32_t height = 0;
};

struct Size {
  int32_t width = 0;
  int32_t height = 0;
};

struct LocalTime {
  int year, month, day, hour, minute, second;
};

// A kind property's value as the native half reports or takes it, before or
// after the core's value-kind conversion.
//  - integer, logical: `number`
//  - 64-bit number: `number` (low half) and `number_high`
//  - text: `data`/`length`, code page 936 bytes, no terminator required;
//    null or length 0 is the empty text
//  - byte data: `data`/`length` the bytes alone; for the chooser's Items,
//    each entry followed by one zero byte
//  - font: `data` the 60-byte font record (FontRecord in access/), or null
//    for the stock default GUI font
struct RawValue {
  int32_t number = 0;
  int32_t number_high = 0;
  const void* data = nullptr;
  uint32_t length = 0;
};

// What the window and every control offer the core.
class NativeUnit {
 public:
  virtual ~NativeUnit() = default;

  // False once the system window has been destroyed.
  virtual bool exists() const = 0;

  // Common properties, for the window in screen coordinates (outer frame),
  // for a control in the window's client coordinates.
  virtual Rect bounds() const = 0;
  virtual void set_bounds(const Rect& place) = 0;
  virtual bool visible() const = 0;
  virtual void set_visible(bool visible) = 0;  // shows without activating
  virtual bool enabled() const = 0;
  virtual void set_enabled(bool enabled) = 0;
  virtual void set_mouse_pointer(int32_t /*pointer*/) {}

  // Own property n (property index 8 + n). The raw value stays valid until
  // the next call on this unit.
  virtual RawValue get_own(int32_t n) = 0;
  // Returns true when the control must be re-created for the change to show.
  // The unit copies what it keeps.
  virtual bool set_own(int32_t n, const RawValue& value) = 0;
  // Rebuilds the system window in place with the current state.
  virtual void recreate() {}

  // Gives the keyboard focus to this unit's system window.
  virtual void focus() = 0;

  // load_window tells every control, last to first, and then the window.
  virtual void window_complete() {}
  virtual void window_shown() {}
};

class NativeControl : public NativeUnit {};

class NativeWindow : public NativeUnit {
 public:
  // Creates a control's system window as a hidden child, disabled when the
  // settings say so and a tab stop when it takes the focus. Returns nullptr
  // when it cannot be created (for the browser area: the browser engine
  // cannot be had).
  virtual std::unique_ptr<NativeControl> create_control(const form::UnitSettings& settings) = 0;

  // Orders the controls front to back, the first in front.
  virtual void stack_front_to_back(const std::vector<NativeControl*>& controls) = 0;

  // Shows the window (start position 2 minimised, 3 maximised, otherwise a
  // plain show) and activates it. The backend raises the window's shown,
  // first-activated and activated events and, when the window gets the
  // keyboard focus, calls core::window_got_focus.
  virtual void show(int32_t start_position) = 0;

  // Destroys the window with its controls: core::window_destroying first,
  // then core::window_gone once the system window is gone.
  virtual void destroy() = 0;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // Process services.
  virtual void* heap_alloc(std::size_t size) = 0;  // nullptr when the heap is exhausted
  virtual void heap_free(void* block) = 0;
  virtual std::string program_file_path() = 0;  // full path of the program file
  virtual char path_separator() const = 0;
  virtual bool set_current_directory(const std::string& folder) = 0;
  virtual void ole_initialize() = 0;
  virtual void ole_uninitialize() = 0;
  virtual LocalTime local_time_now() = 0;  // whole seconds
  virtual Size screen_size() = 0;          // the primary screen

  // Connects the control libraries to the run time, and tells them the
  // program is ending.
  virtual void connect_control_libraries() {}
  virtual void control_libraries_ending() {}

  // A modal error box with the error icon and no owner window; returns when
  // the user has closed it.
  virtual void show_error_box(const std::string& message) = 0;
  [[noreturn]] virtual void exit_process(int32_t code) = 0;

  // Creates the top-level window hidden at `outer` (screen coordinates of
  // the outer frame). Returns nullptr when it cannot be created.
  virtual std::unique_ptr<NativeWindow> create_window(const form::UnitSettings& settings,
                                                      const Rect& outer) = 0;

  // The loop's native half. Waits for the next message and delivers it;
  // input goes through core::pre_translate first. Returns false, with the
  // code, when the message retrieved is the quit message.
  virtual bool deliver_next_message(int32_t& quit_code) = 0;
  virtual void post_quit(int32_t code) = 0;
  // Delivers whatever is pending without waiting.
  virtual void process_pending_messages() = 0;
};

// The installed backend. The core reaches the platform only through this.
Platform& current();
void install(Platform* backend);  // nullptr uninstalls
bool installed();

}  // namespace filmbar::platform
