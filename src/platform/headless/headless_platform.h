// Headless backend: an in-memory stand-in for a windowing system, for the
// core's tests. It implements the platform interface with a fixed screen
// (1920 x 1080), a settable clock, a record of every native call in order,
// scripted input, and failure switches (fail the n-th allocation, refuse the
// browser control or a window). Uses only the C++ standard library.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/events.h"
#include "platform/platform.h"

namespace filmbar::headless {

class HeadlessWindow;

// One step of scripted user input, taken by the loop one per message.
struct Action {
  enum class Type {
    Move,          // pointer move over `control` (0: the window's body)
    Click,         // left button down and up over `control`
    Key,           // key down and up on the focused control
    Type,          // characters typed into the focused control
    Paste,         // text pasted into the focused address box, no key events
    Pick,          // picks entry `number` of the chooser
    Tick,          // the timer's period elapses `number` times
    CloseRequest,  // the close button
    Run,           // runs `callback` (to look at the state mid-run)
    DismissBox,    // closes the error box
  };
  Type type;
  uint32_t control = 0;
  int32_t x = 0, y = 0;
  int32_t key_code = 0;
  int32_t key_state = 0;
  int32_t number = 0;
  std::string text;
  std::function<void()> callback;
};

class HeadlessPlatform : public platform::Platform {
 public:
  HeadlessPlatform();
  ~HeadlessPlatform() override;

  // --- test controls ---
  std::vector<std::string>& log() { return log_; }
  void note(const std::string& entry) { log_.push_back(entry); }
  // Index of the first log entry starting with `prefix`, or -1.
  int find(const std::string& prefix) const;
  std::string joined_log() const;

  std::deque<Action>& script() { return script_; }
  void move(uint32_t control, int32_t x = 5, int32_t y = 5, int32_t key_state = 0);
  void click(uint32_t control, int32_t x = 5, int32_t y = 5);
  void key(int32_t key_code, int32_t key_state = 0);
  void type(const std::string& text);
  void paste(const std::string& text);
  void pick(int32_t entry);
  void tick(int32_t times);
  void close_request();
  void run(std::function<void()> callback);
  void dismiss_box();

  platform::LocalTime clock{2017, 3, 16, 11, 34, 53};
  platform::Size screen{1920, 1080};
  std::string program_path = "C:\\Program Files\\filmbar\\filmbar.exe";
  char separator = '\\';
  long fail_allocation_number = 0;  // 1-based; 0 never fails
  bool refuse_browser = false;
  bool refuse_window = false;
  std::function<void(int32_t)> on_exit;  // runs before the process ends

  long allocations() const { return allocations_; }
  long live_blocks() const { return live_blocks_; }
  const std::vector<std::string>& navigations() const { return navigations_; }
  bool window_exists() const;
  bool window_visible() const;
  uint32_t focused_control() const;  // 0 when no control has the focus

  // --- platform::Platform ---
  void* heap_alloc(std::size_t size) override;
  void heap_free(void* block) override;
  std::string program_file_path() override { return program_path; }
  char path_separator() const override { return separator; }
  bool set_current_directory(const std::string& folder) override;
  void ole_initialize() override { note("ole_initialize"); }
  void ole_uninitialize() override { note("ole_uninitialize"); }
  platform::LocalTime local_time_now() override { return clock; }
  platform::Size screen_size() override { return screen; }
  void connect_control_libraries() override { note("libraries_connected"); }
  void control_libraries_ending() override { note("libraries_ending"); }
  void show_error_box(const std::string& message) override;
  [[noreturn]] void exit_process(int32_t code) override;
  std::unique_ptr<platform::NativeWindow> create_window(const form::UnitSettings& settings,
                                                        const platform::Rect& outer) override;
  bool deliver_next_message(int32_t& quit_code) override;
  void post_quit(int32_t code) override;
  void process_pending_messages() override { note("process_pending"); }

  // Used by the headless units.
  void record_navigation(const std::string& address);
  void forget_window(const HeadlessWindow* window);

 private:
  void perform(Action& action);
  void send_input(core::InputRecord input, bool* consumed = nullptr, int32_t* character = nullptr);

  std::vector<std::string> log_;
  std::deque<Action> script_;
  std::vector<std::string> navigations_;
  HeadlessWindow* window_ = nullptr;
  bool quit_posted_ = false;
  int32_t quit_code_ = 0;
  bool box_up_ = false;
  long allocations_ = 0;
  long live_blocks_ = 0;
};

}  // namespace filmbar::headless
