// Headless backend: in-memory windows and controls that behave as far as the
// core's tests need (an edit box that holds text, a button that clicks, a
// chooser that selects, a timer that ticks, a browser area that records
// what it is told to load), and a loop that takes scripted input.
#include "platform/headless/headless_platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "shell/shell.h"

namespace filmbar::headless {
namespace {

using form::Kind;
using platform::RawValue;
using platform::Rect;

using shell::hex_number;

// The common half of the window and every control.
template <class Base>
class HeadlessUnit : public Base {
 public:
  HeadlessUnit(HeadlessPlatform& backend, const form::UnitSettings& settings)
      : backend_(backend),
        settings_(settings),
        own_(settings.own),
        place_{settings.left, settings.top, settings.width, settings.height},
        enabled_(!settings.disabled) {}

  bool exists() const override { return exists_; }
  Rect bounds() const override { return place_; }
  void set_bounds(const Rect& place) override { place_ = place; }
  bool visible() const override { return visible_; }
  void set_visible(bool visible) override {
    visible_ = visible;
    backend_.note((visible ? "show_control " : "hide_control ") + hex_number(settings_.number));
  }
  bool enabled() const override { return enabled_; }
  void set_enabled(bool enabled) override { enabled_ = enabled; }
  void set_mouse_pointer(int32_t pointer) override {
    backend_.note("mouse_pointer " + hex_number(settings_.number) + " " + std::to_string(pointer));
  }
  void window_complete() override {
    backend_.note("window_complete " + hex_number(settings_.number));
  }
  void window_shown() override { backend_.note("window_shown " + hex_number(settings_.number)); }
  void recreate() override { backend_.note("recreate " + hex_number(settings_.number)); }

  RawValue get_own(int32_t n) override {
    const form::Value& value = own_.at(static_cast<size_t>(n));
    if (value.has_items) {
      scratch_.clear();
      for (const std::string& item : value.items) {
        scratch_ += item;
        scratch_.push_back('\0');
      }
      return RawValue{0, 0, scratch_.data(), static_cast<uint32_t>(scratch_.size())};
    }
    if (!value.text.empty()) {
      return RawValue{0, 0, value.text.data(), static_cast<uint32_t>(value.text.size())};
    }
    return RawValue{static_cast<int32_t>(value.number), static_cast<int32_t>(value.number >> 32),
                    nullptr, 0};
  }

  bool set_own(int32_t n, const RawValue& raw) override {
    form::Value& value = own_.at(static_cast<size_t>(n));
    const form::ValueKind kind =
        form::find_kind(settings_.kind)->properties[static_cast<size_t>(n)].kind;
    if (kind == form::ValueKind::Text || kind == form::ValueKind::ByteData ||
        kind == form::ValueKind::Font) {
      value.text.assign(static_cast<const char*>(raw.data == nullptr ? "" : raw.data), raw.length);
    } else {
      value.number =
          (static_cast<int64_t>(raw.number_high) << 32) | static_cast<uint32_t>(raw.number);
      if (kind != form::ValueKind::Number64) value.number = raw.number;
    }
    return false;
  }

  uint32_t number() const { return settings_.number; }
  Kind kind() const { return settings_.kind; }
  void mark_gone() { exists_ = false; }

 protected:
  HeadlessPlatform& backend_;
  form::UnitSettings settings_;
  std::vector<form::Value> own_;
  std::string scratch_;
  Rect place_;
  bool visible_ = false;
  bool enabled_ = true;
  bool exists_ = true;
};

}  // namespace

class HeadlessControl : public HeadlessUnit<platform::NativeControl> {
 public:
  HeadlessControl(HeadlessPlatform& backend, HeadlessWindow& window,
                  const form::UnitSettings& settings);

  void focus() override;
  bool set_own(int32_t n, const RawValue& raw) override;

  // Native behaviour after input the shell let through.
  void append_text(const std::string& text);
  void clicked();
  void pick(int32_t entry);
  void tick(int32_t times);
  int32_t selection() const {
    return static_cast<int32_t>(own_[form::combo_prop::CurrentSelection].number);
  }
  const std::string& text() const { return own_[form::edit_prop::Content].text; }

 private:
  HeadlessWindow& window_;
  int32_t timer_period_ = 0;
};

class HeadlessWindow : public HeadlessUnit<platform::NativeWindow> {
 public:
  HeadlessWindow(HeadlessPlatform& backend, const form::UnitSettings& settings)
      : HeadlessUnit(backend, settings) {}
  ~HeadlessWindow() override { backend_.forget_window(this); }

  std::unique_ptr<platform::NativeControl> create_control(
      const form::UnitSettings& settings) override {
    backend_.note("create_control " + hex_number(settings.number) + " " +
                  form::find_kind(settings.kind)->name + " hidden" +
                  (settings.disabled ? " disabled" : "") + (settings.tab_stop ? " tabstop" : ""));
    if (settings.kind == Kind::HtmlViewer && backend_.refuse_browser) {
      backend_.note("browser_control_refused");
      return nullptr;
    }
    auto control = std::make_unique<HeadlessControl>(backend_, *this, settings);
    controls_.push_back(control.get());
    return control;
  }

  void stack_front_to_back(const std::vector<platform::NativeControl*>& controls) override {
    std::string entry = "stack";
    for (platform::NativeControl* control : controls) {
      entry += " " + hex_number(static_cast<HeadlessControl*>(control)->number());
    }
    backend_.note(entry);
  }

  void show(int32_t start_position) override {
    backend_.note("show_window " + std::to_string(start_position));
    visible_ = true;
    core::raise_event(number(), 0, form::window_event::Shown);
    if (!activated_once_) {
      activated_once_ = true;
      core::raise_event(number(), 0, form::window_event::FirstActivated);
    }
    core::raise_event(number(), 0, form::window_event::Activated);
    core::window_got_focus(number());
  }

  void destroy() override {
    if (!exists_) return;
    backend_.note("destroy_window");
    core::window_destroying(number());
    for (HeadlessControl* control : controls_) control->mark_gone();
    exists_ = false;
    visible_ = false;
    core::window_gone(number());
  }

  void focus() override { move_focus_to(0); }

  void move_focus_to(uint32_t control) {
    const uint32_t losing = focused_;
    if (losing == control) return;
    focused_ = control;
    backend_.note("focus " + hex_number(control));
    core::focus_changed(number(), losing, control);
  }

  uint32_t focused() const { return focused_; }
  HeadlessControl* control(uint32_t number_wanted) const {
    for (HeadlessControl* c : controls_) {
      if (c->number() == number_wanted) return c;
    }
    return nullptr;
  }
  HeadlessControl* control_of_kind(Kind kind) const {
    for (HeadlessControl* c : controls_) {
      if (c->kind() == kind) return c;
    }
    return nullptr;
  }

 private:
  std::vector<HeadlessControl*> controls_;
  uint32_t focused_ = 0;
  bool activated_once_ = false;
};

HeadlessControl::HeadlessControl(HeadlessPlatform& backend, HeadlessWindow& window,
                                 const form::UnitSettings& settings)
    : HeadlessUnit(backend, settings), window_(window) {
  switch (settings.kind) {
    case Kind::ComboBox: {
      const auto entries = static_cast<int64_t>(own_[form::combo_prop::Items].items.size());
      int64_t& selection = own_[form::combo_prop::CurrentSelection].number;
      if (selection < -1) selection = -1;
      if (selection > entries - 1) selection = entries - 1;
      break;
    }
    case Kind::HtmlViewer: {
      backend_.note("browser offline=" + std::to_string(own_[form::browser_prop::Offline].number) +
                    " silent=" + std::to_string(own_[form::browser_prop::Silent].number) +
                    " zoom=" + std::to_string(own_[form::browser_prop::ZoomLevel].number));
      const std::string& address = own_[form::browser_prop::Address].text;
      if (!address.empty()) backend_.record_navigation(address);
      break;
    }
    case Kind::Timer:
      timer_period_ = static_cast<int32_t>(own_[form::timer_prop::Period].number);
      if (timer_period_ > 0) backend_.note("timer_start 1000 " + std::to_string(timer_period_));
      break;
    default: break;
  }
}

void HeadlessControl::focus() {
  window_.move_focus_to(number());
}

bool HeadlessControl::set_own(int32_t n, const RawValue& raw) {
  const std::string bytes(static_cast<const char*>(raw.data == nullptr ? "" : raw.data),
                          raw.length);
  switch (settings_.kind) {
    case Kind::EditBox:
      if (n == form::edit_prop::Content) {
        own_[static_cast<size_t>(n)].text = bytes;
        backend_.note("edit_text " + hex_number(number()) + " \"" + bytes + "\"");
        core::raise_event(window_.number(), number(), form::kContentChanged);
        return false;
      }
      // A single-line box becomes a multi-line one only by being rebuilt.
      if (n == form::edit_prop::MultiLine) {
        const bool changed = (raw.number != 0) != (own_[static_cast<size_t>(n)].number != 0);
        HeadlessUnit::set_own(n, raw);
        return changed;
      }
      break;
    case Kind::TransLabel:
      if (n == form::label_prop::Title) {
        own_[static_cast<size_t>(n)].text = bytes;
        backend_.note("label_title " + hex_number(number()) + " \"" + bytes + "\"");
        return false;
      }
      break;
    case Kind::HtmlViewer:
      if (n == form::browser_prop::Address) {
        own_[static_cast<size_t>(n)].text = bytes;
        backend_.record_navigation(bytes);
        return false;
      }
      break;
    case Kind::Timer:
      if (n == form::timer_prop::Period) {
        // The same period leaves a running timer alone.
        if (raw.number == timer_period_) return false;
        if (timer_period_ > 0) backend_.note("timer_stop 1000");
        timer_period_ = raw.number;
        own_[static_cast<size_t>(n)].number = raw.number;
        if (timer_period_ > 0) backend_.note("timer_start 1000 " + std::to_string(timer_period_));
        return false;
      }
      break;
    case Kind::ComboBox:
      if (n == form::combo_prop::CurrentSelection) {
        pick(raw.number);
        return false;
      }
      break;
    default: break;
  }
  return HeadlessUnit::set_own(n, raw);
}

void HeadlessControl::append_text(const std::string& text) {
  own_[form::edit_prop::Content].text += text;
  core::raise_event(window_.number(), number(), form::kContentChanged);
}

void HeadlessControl::clicked() {
  backend_.note("clicked " + hex_number(number()));
  core::raise_event(window_.number(), number(), form::kClicked);
}

void HeadlessControl::pick(int32_t entry) {
  const auto entries = static_cast<int32_t>(own_[form::combo_prop::Items].items.size());
  own_[form::combo_prop::CurrentSelection].number = entry < -1 || entry >= entries ? -1 : entry;
}

void HeadlessControl::tick(int32_t times) {
  for (int32_t i = 0; i < times && timer_period_ > 0 && exists_; ++i) {
    core::raise_event(window_.number(), number(), form::kTick);
  }
}

// ---- the platform --------------------------------------------------------------

HeadlessPlatform::HeadlessPlatform() = default;
HeadlessPlatform::~HeadlessPlatform() = default;

int HeadlessPlatform::find(const std::string& prefix) const {
  for (size_t i = 0; i < log_.size(); ++i) {
    if (log_[i].compare(0, prefix.size(), prefix) == 0) return static_cast<int>(i);
  }
  return -1;
}

std::string HeadlessPlatform::joined_log() const {
  std::string all;
  for (const std::string& entry : log_) all += entry + "\n";
  return all;
}

void HeadlessPlatform::move(uint32_t control, int32_t x, int32_t y, int32_t key_state) {
  Action a{Action::Type::Move};
  a.control = control;
  a.x = x;
  a.y = y;
  a.key_state = key_state;
  script_.push_back(a);
}
void HeadlessPlatform::click(uint32_t control, int32_t x, int32_t y) {
  Action a{Action::Type::Click};
  a.control = control;
  a.x = x;
  a.y = y;
  script_.push_back(a);
}
void HeadlessPlatform::key(int32_t key_code, int32_t key_state) {
  Action a{Action::Type::Key};
  a.key_code = key_code;
  a.key_state = key_state;
  script_.push_back(a);
}
void HeadlessPlatform::type(const std::string& text) {
  Action a{Action::Type::Type};
  a.text = text;
  script_.push_back(a);
}
void HeadlessPlatform::paste(const std::string& text) {
  Action a{Action::Type::Paste};
  a.text = text;
  script_.push_back(a);
}
void HeadlessPlatform::pick(int32_t entry) {
  Action a{Action::Type::Pick};
  a.number = entry;
  script_.push_back(a);
}
void HeadlessPlatform::tick(int32_t times) {
  Action a{Action::Type::Tick};
  a.number = times;
  script_.push_back(a);
}
void HeadlessPlatform::close_request() {
  script_.push_back(Action{Action::Type::CloseRequest});
}
void HeadlessPlatform::run(std::function<void()> callback) {
  Action a{Action::Type::Run};
  a.callback = std::move(callback);
  script_.push_back(a);
}
void HeadlessPlatform::dismiss_box() {
  script_.push_back(Action{Action::Type::DismissBox});
}

void* HeadlessPlatform::heap_alloc(std::size_t size) {
  ++allocations_;
  if (fail_allocation_number != 0 && allocations_ == fail_allocation_number) {
    note("alloc_failed " + std::to_string(size));
    return nullptr;
  }
  void* block = std::malloc(size);
  if (block != nullptr) ++live_blocks_;
  return block;
}

void HeadlessPlatform::heap_free(void* block) {
  if (block == nullptr) return;
  --live_blocks_;
  std::free(block);
}

bool HeadlessPlatform::set_current_directory(const std::string& folder) {
  note("set_current_directory " + folder);
  return true;
}

void HeadlessPlatform::show_error_box(const std::string& message) {
  note("error_box " + message);
  // The box runs its own loop until the user closes it; scripted input
  // meanwhile still reaches the window.
  box_up_ = true;
  while (!script_.empty()) {
    Action action = std::move(script_.front());
    script_.pop_front();
    if (action.type == Action::Type::DismissBox) break;
    perform(action);
  }
  box_up_ = false;
  note("error_box_closed");
}

void HeadlessPlatform::exit_process(int32_t code) {
  note("exit " + std::to_string(code));
  if (on_exit) on_exit(code);
  std::fputs(joined_log().c_str(), stderr);
  std::fflush(stderr);
  std::_Exit(code);
}

std::unique_ptr<platform::NativeWindow> HeadlessPlatform::create_window(
    const form::UnitSettings& settings, const platform::Rect& outer) {
  note("create_window " + std::to_string(outer.left) + "," + std::to_string(outer.top) + " " +
       std::to_string(outer.width) + "x" + std::to_string(outer.height) + " hidden");
  if (refuse_window) return nullptr;
  form::UnitSettings placed = settings;
  placed.left = outer.left;
  placed.top = outer.top;
  placed.width = outer.width;
  placed.height = outer.height;
  auto window = std::make_unique<HeadlessWindow>(*this, placed);
  window_ = window.get();
  return window;
}

bool HeadlessPlatform::deliver_next_message(int32_t& quit_code) {
  if (quit_posted_) {
    quit_posted_ = false;
    quit_code = quit_code_;
    note("quit " + std::to_string(quit_code));
    return false;
  }
  if (script_.empty()) {
    // Nothing more to do: the user closes the window, so that a test never
    // hangs on a loop without input.
    note("script_ended");
    if (window_ != nullptr) core::close_requested(form::kMainWindow);
    if (!quit_posted_) {
      quit_code = -2;
      return false;
    }
    return true;
  }
  Action action = std::move(script_.front());
  script_.pop_front();
  perform(action);
  return true;
}

void HeadlessPlatform::post_quit(int32_t code) {
  note("post_quit " + std::to_string(code));
  quit_posted_ = true;
  quit_code_ = code;
}

void HeadlessPlatform::record_navigation(const std::string& address) {
  note("navigate \"" + address + "\"");
  navigations_.push_back(address);
}

bool HeadlessPlatform::window_exists() const {
  return window_ != nullptr && window_->exists();
}
bool HeadlessPlatform::window_visible() const {
  return window_exists() && window_->visible();
}
uint32_t HeadlessPlatform::focused_control() const {
  return window_exists() ? window_->focused() : 0;
}

void HeadlessPlatform::forget_window(const HeadlessWindow* window) {
  if (window_ == window) window_ = nullptr;
}

void HeadlessPlatform::send_input(core::InputRecord input, bool* consumed, int32_t* character) {
  input.window_number = form::kMainWindow;
  const core::InputVerdict verdict = core::pre_translate(input);
  if (consumed != nullptr) *consumed = verdict.consumed;
  if (character != nullptr && verdict.character_replaced) *character = verdict.character;
}

void HeadlessPlatform::perform(Action& action) {
  using core::InputKind;
  HeadlessWindow* window = window_;
  const bool window_alive = window != nullptr && window->exists();
  HeadlessControl* focused = window_alive ? window->control(window->focused()) : nullptr;
  switch (action.type) {
    case Action::Type::Move: {
      core::InputRecord input;
      input.control_number = action.control;
      input.kind = InputKind::MouseMove;
      input.x = action.x;
      input.y = action.y;
      input.key_state = action.key_state;
      send_input(input);
      break;
    }
    case Action::Type::Click: {
      if (!window_alive) break;
      core::InputRecord input;
      input.control_number = action.control;
      input.x = action.x;
      input.y = action.y;
      input.kind = InputKind::LeftDown;
      bool down_consumed = false;
      send_input(input, &down_consumed);
      HeadlessControl* target = window->control(action.control);
      if (!down_consumed && target != nullptr && target->enabled() && target->exists()) {
        const form::KindDecl* kind = form::find_kind(target->kind());
        if (kind->takes_focus) target->focus();
      }
      input.kind = InputKind::LeftUp;
      bool up_consumed = false;
      send_input(input, &up_consumed);
      if (!up_consumed && target != nullptr && target->exists() && target->enabled() &&
          target->kind() == form::Kind::Button) {
        target->clicked();
      }
      break;
    }
    case Action::Type::Key: {
      core::InputRecord input;
      input.control_number = focused != nullptr ? focused->number() : 0;
      input.kind = InputKind::KeyDown;
      input.key_code = action.key_code;
      input.key_state = action.key_state;
      bool consumed = false;
      send_input(input, &consumed);
      if (!consumed && focused != nullptr && focused->exists()) {
        if (focused->kind() == form::Kind::Button && action.key_code == core::kKeySpace &&
            action.key_state == 0) {
          focused->clicked();
        }
      }
      if (!consumed && action.key_code == core::kKeyF4 && action.key_state == core::kAlt) {
        core::close_requested(form::kMainWindow);
      }
      if (window_ != nullptr && window_->exists()) {
        input.kind = InputKind::KeyUp;
        send_input(input);
      }
      break;
    }
    case Action::Type::Type:
      for (char c : action.text) {
        core::InputRecord input;
        input.control_number = focused != nullptr ? focused->number() : 0;
        input.kind = InputKind::Character;
        input.character = static_cast<unsigned char>(c);
        bool consumed = false;
        int32_t character = input.character;
        send_input(input, &consumed, &character);
        if (!consumed && focused != nullptr && focused->exists() &&
            focused->kind() == form::Kind::EditBox) {
          focused->append_text(std::string(1, static_cast<char>(character)));
        }
      }
      break;
    case Action::Type::Paste:
      if (focused != nullptr && focused->kind() == form::Kind::EditBox) {
        focused->append_text(action.text);
      }
      break;
    case Action::Type::Pick: {
      HeadlessControl* chooser =
          window_alive ? window->control_of_kind(form::Kind::ComboBox) : nullptr;
      if (chooser == nullptr) break;
      chooser->pick(action.number);
      core::raise_event(form::kMainWindow, chooser->number(), form::combo_event::EntryPicked);
      break;
    }
    case Action::Type::Tick: {
      HeadlessControl* timer = window_alive ? window->control_of_kind(form::Kind::Timer) : nullptr;
      if (timer != nullptr) timer->tick(action.number);
      break;
    }
    case Action::Type::CloseRequest: core::close_requested(form::kMainWindow); break;
    case Action::Type::Run:
      if (action.callback) action.callback();
      break;
    case Action::Type::DismissBox: break;
  }
}

}  // namespace filmbar::headless
