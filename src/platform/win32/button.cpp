// Win32 backend: the Play button kind (Button) as the system "BUTTON"
// push button. Implements its caption (centred both ways, allowed to wrap
// onto several lines), the default-button style, its font and the clicked
// event.
#include "platform/win32/text_conversion.h"
#include "platform/win32/units.h"

namespace filmbar::win32 {
namespace {

using namespace form::button_prop;

class Button final : public Win32Control {
 public:
  using Win32Control::Win32Control;

  platform::RawValue get_own(int32_t n) override {
    if (n == Caption && exists()) return hand_out(cp936_from_wide(window_text()));
    return Win32Control::get_own(n);
  }

  bool set_own(int32_t n, const platform::RawValue& value) override {
    own_.set(n, value);
    if (!exists()) return false;
    switch (n) {
      case Caption: SetWindowTextW(hwnd_, wide_from_raw(value).c_str()); return false;
      case Font:
        font_.choose(own_, Font);
        SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
        return false;
      case ButtonType:
      case HorizontalAlign:
      case VerticalAlign: return true;  // styles fixed when the system control is made
      default: return false;
    }
  }

  void on_command(UINT code) override {
    switch (code) {
      case BN_CLICKED: raise(form::kClicked); break;
      case BN_SETFOCUS:
      case BN_KILLFOCUS: focus_moved(); break;
      default: break;
    }
  }

 protected:
  HWND build(HWND parent, const platform::Rect& place) override {
    // BS_NOTIFY makes the button report focus changes like the other kinds.
    DWORD style = child_style() | BS_MULTILINE | BS_NOTIFY;
    style |= own_.number(ButtonType) == 1 ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
    switch (own_.number(HorizontalAlign)) {
      case 0: style |= BS_LEFT; break;
      case 2: style |= BS_RIGHT; break;
      default: style |= BS_CENTER; break;
    }
    switch (own_.number(VerticalAlign)) {
      case 0: style |= BS_TOP; break;
      case 2: style |= BS_BOTTOM; break;
      default: style |= BS_VCENTER; break;
    }
    const std::wstring caption = wide_from_cp936(own_.bytes(Caption));
    HWND button =
        CreateWindowExW(0, L"BUTTON", caption.c_str(), style, place.left, place.top, place.width,
                        place.height, parent, nullptr, program_instance(), nullptr);
    if (button == nullptr) return nullptr;
    font_.choose(own_, Font);
    SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    return button;
  }

  void keep_state() override { own_.set_bytes(Caption, cp936_from_wide(window_text())); }

 private:
  ControlFont font_;
};

}  // namespace

std::unique_ptr<Win32Control> make_button(Win32Window& window, const form::UnitSettings& settings) {
  return std::make_unique<Button>(window, settings);
}

}  // namespace filmbar::win32
