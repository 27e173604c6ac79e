// Win32 backend: the Timer kind as a hidden child window of the backend's
// own class that is never shown, with a system timer (id 1000) set on it by
// SetTimer. Implements Period and the tick event.
#include "platform/win32/units.h"

namespace filmbar::win32 {
namespace {

constexpr wchar_t kTimerClass[] = L"FilmbarTimer";
constexpr UINT_PTR kTimerId = 1000;

class Timer final : public Win32Control {
 public:
  using Win32Control::Win32Control;

  ~Timer() override {
    if (exists()) KillTimer(hwnd_, kTimerId);
  }

  // A timer has no visible window.
  void set_visible(bool) override {}

  bool set_own(int32_t n, const platform::RawValue& value) override {
    if (n != form::timer_prop::Period) return Win32Control::set_own(n, value);
    const int32_t period = value.number < 0 ? 0 : value.number;
    // The same period again leaves a running timer alone.
    if (period == own_.number(n)) return false;
    own_.set_number(n, period);
    start();
    return false;
  }

  bool own_message(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override {
    if (message == WM_TIMER && wparam == kTimerId) {
      raise(form::kTick);
      result = 0;
      return true;
    }
    return Win32Control::own_message(message, wparam, lparam, result);
  }

 protected:
  HWND build(HWND parent, const platform::Rect& place) override {
    register_unit_class(kTimerClass, nullptr);
    HWND holder = CreateWindowExW(
        0, kTimerClass, L"", child_style() & ~static_cast<DWORD>(WS_TABSTOP), place.left, place.top,
        place.width, place.height, parent, nullptr, program_instance(), this);
    if (holder == nullptr) return nullptr;
    hwnd_ = holder;
    start();
    return holder;
  }

 private:
  // Stops the timer and, for a period above 0, starts it again.
  void start() {
    if (hwnd_ == nullptr) return;
    KillTimer(hwnd_, kTimerId);
    const int32_t period = own_.number(form::timer_prop::Period);
    if (period > 0) SetTimer(hwnd_, kTimerId, static_cast<UINT>(period), nullptr);
  }
};

}  // namespace

std::unique_ptr<Win32Control> make_timer(Win32Window& window, const form::UnitSettings& settings) {
  return std::make_unique<Timer>(window, settings);
}

}  // namespace filmbar::win32
