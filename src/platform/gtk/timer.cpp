// GTK backend: the Timer kind on a GLib timeout.
//
// The timer has no widget and is never shown. With a Period above 0 the
// timeout runs and every expiry raises the tick event; writing the same
// period again leaves a running timer alone, any other value stops it and,
// above 0, starts it again with the new period.
#include "platform/gtk/control.h"

namespace filmbar::gtk {
namespace {

using form::timer_prop::Period;

class Timer final : public Control {
 public:
  Timer(Window& window, const form::UnitSettings& settings) : Control(window, settings) {
    start(own_.number(Period));
  }
  ~Timer() override { stop(); }

  bool set_own(int32_t n, const platform::RawValue& value) override {
    if (n != Period) return Control::set_own(n, value);
    const int32_t period = value.number < 0 ? 0 : value.number;
    if (period == own_.number(Period)) return false;
    own_.set(n, platform::RawValue{period, 0, nullptr, 0});
    stop();
    start(period);
    return false;
  }

  void focus() override {}

 private:
  void start(int32_t period) {
    if (period > 0) source_ = g_timeout_add(static_cast<guint>(period), on_tick, this);
  }

  void stop() {
    if (source_ != 0) g_source_remove(source_);
    source_ = 0;
  }

  static gboolean on_tick(gpointer self) {
    auto* timer = static_cast<Timer*>(self);
    if (timer->exists()) timer->raise(form::kTick);
    return G_SOURCE_CONTINUE;
  }

  guint source_ = 0;
};

}  // namespace

std::unique_ptr<Control> make_timer(Window& window, const form::UnitSettings& settings) {
  return std::make_unique<Timer>(window, settings);
}

}  // namespace filmbar::gtk
