// Win32 backend: the transparent label kind (TransLabel) as a child window
// of the backend's own class that paints no background of its own: it lets
// its parent paint what lies under it, then draws its title over that with
// SetBkMode(TRANSPARENT) in its colour, alignment, effect and font.
#include "platform/win32/text_conversion.h"
#include "platform/win32/units.h"

namespace filmbar::win32 {
namespace {

using namespace form::label_prop;

constexpr wchar_t kLabelClass[] = L"FilmbarTransLabel";

class TransLabel final : public Win32Control {
 public:
  using Win32Control::Win32Control;

  platform::RawValue get_own(int32_t n) override {
    if (n == Title && exists()) return hand_out(cp936_from_wide(window_text()));
    return Win32Control::get_own(n);
  }

  bool set_own(int32_t n, const platform::RawValue& value) override {
    own_.set(n, value);
    if (!exists()) return false;
    if (n == Title) SetWindowTextW(hwnd_, wide_from_raw(value).c_str());
    if (n == Font) font_.choose(own_, Font);
    repaint();
    return false;
  }

  bool own_message(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override {
    switch (message) {
      case WM_ERASEBKGND:
        paint_parent_under(reinterpret_cast<HDC>(wparam));
        result = 1;
        return true;
      case WM_PAINT: {
        PAINTSTRUCT paint{};
        HDC dc = BeginPaint(hwnd_, &paint);
        draw_title(dc);
        EndPaint(hwnd_, &paint);
        result = 0;
        return true;
      }
      default: return Win32Control::own_message(message, wparam, lparam, result);
    }
  }

 protected:
  HWND build(HWND parent, const platform::Rect& place) override {
    register_unit_class(kLabelClass, nullptr);
    font_.choose(own_, Font);
    const std::wstring title = wide_from_cp936(own_.bytes(Title));
    return CreateWindowExW(0, kLabelClass, title.c_str(), child_style(), place.left, place.top,
                           place.width, place.height, parent, nullptr, program_instance(), this);
  }

  void keep_state() override { own_.set_bytes(Title, cp936_from_wide(window_text())); }

 private:
  // Repaints what lies under the label in the parent, and with it the
  // label over a fresh background, before the call returns.
  void repaint() {
    HWND parent = GetParent(hwnd_);
    RECT place{};
    GetWindowRect(hwnd_, &place);
    MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&place), 2);
    RedrawWindow(parent, &place, nullptr,
                 RDW_ERASE | RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  }

  // The parent fills its client area into this label's device context,
  // shifted so that only the part under the label lands in it.
  void paint_parent_under(HDC dc) {
    HWND parent = GetParent(hwnd_);
    POINT origin{0, 0};
    MapWindowPoints(hwnd_, parent, &origin, 1);
    POINT previous{};
    SetViewportOrgEx(dc, -origin.x, -origin.y, &previous);
    SendMessageW(parent, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    SetViewportOrgEx(dc, previous.x, previous.y, nullptr);
  }

  void draw_title(HDC dc) {
    const std::wstring title = window_text();
    if (title.empty()) return;
    RECT area{};
    GetClientRect(hwnd_, &area);
    UINT format = 0;
    switch (own_.number(HorizontalAlign)) {
      case 1: format |= DT_CENTER; break;
      case 2: format |= DT_RIGHT; break;
      default: format |= DT_LEFT; break;
    }
    const bool wrap = own_.number(WordWrap) != 0;
    const int32_t vertical = own_.number(VerticalAlign);
    HGDIOBJ old_font = SelectObject(dc, font_.get());
    SetBkMode(dc, TRANSPARENT);
    if (wrap) {
      // DrawText centres vertically only single lines: measure, then shift.
      format |= DT_WORDBREAK;
      RECT measured = area;
      DrawTextW(dc, title.c_str(), static_cast<int>(title.size()), &measured, format | DT_CALCRECT);
      const LONG spare = (area.bottom - area.top) - (measured.bottom - measured.top);
      if (spare > 0 && vertical == 1) area.top += spare / 2;
      if (spare > 0 && vertical == 2) area.top += spare;
    } else {
      format |= DT_SINGLELINE;
      if (vertical == 1) format |= DT_VCENTER;
      if (vertical == 2) format |= DT_BOTTOM;
    }
    // Effect: 1 sunken, 2 raised, 3 shadow; drawn as an offset copy first.
    const int32_t effect = own_.number(Effect);
    if (effect >= 1 && effect <= 3) {
      RECT offset = area;
      const LONG shift = effect == 2 ? -1 : 1;
      OffsetRect(&offset, shift, shift);
      SetTextColor(dc, GetSysColor(effect == 3 ? COLOR_3DDKSHADOW : COLOR_3DHILIGHT));
      DrawTextW(dc, title.c_str(), static_cast<int>(title.size()), &offset, format);
    }
    SetTextColor(dc, colour_of(own_.number(TextColor)));
    DrawTextW(dc, title.c_str(), static_cast<int>(title.size()), &area, format);
    SelectObject(dc, old_font);
  }

  ControlFont font_;
};

}  // namespace

std::unique_ptr<Win32Control> make_trans_label(Win32Window& window,
                                               const form::UnitSettings& settings) {
  return std::make_unique<TransLabel>(window, settings);
}

}  // namespace filmbar::win32
