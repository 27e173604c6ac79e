// Win32 backend: the address box kind (EditBox) as the system "EDIT"
// control. Implements the styles from its settings (sunken client edge,
// horizontal auto-scroll, no length limit of its own), its text, colours,
// font and selection, and the content-changed event.
#include <algorithm>

#include "platform/win32/text_conversion.h"
#include "platform/win32/units.h"

namespace filmbar::win32 {
namespace {

using namespace form::edit_prop;

class EditBox final : public Win32Control {
 public:
  using Win32Control::Win32Control;

  platform::RawValue get_own(int32_t n) override {
    if (!exists()) return Win32Control::get_own(n);
    switch (n) {
      case Content: return hand_out(cp936_from_wide(window_text()));
      case SelStart:
      case SelLength: {
        const Selection selection = current_selection();
        platform::RawValue value;
        value.number = n == SelStart ? selection.start_bytes : selection.length_bytes;
        return value;
      }
      case SelText: {
        const std::wstring text = window_text();
        const WideSelection selection = wide_selection(text);
        return hand_out(cp936_from_wide(text.substr(selection.start, selection.length)));
      }
      default: return Win32Control::get_own(n);
    }
  }

  bool set_own(int32_t n, const platform::RawValue& value) override {
    own_.set(n, value);
    if (!exists()) return false;
    switch (n) {
      case Content: write_text(wide_from_raw(value)); return false;
      case TextColor:
      case BackColor:
        background_.reset(CreateSolidBrush(colour_of(own_.number(BackColor))));
        InvalidateRect(hwnd_, nullptr, TRUE);
        return false;
      case Font:
        font_.choose(own_, Font);
        SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
        return false;
      case MaxLength:
        SendMessageW(hwnd_, EM_SETLIMITTEXT, static_cast<WPARAM>(own_.number(MaxLength)), 0);
        return false;
      case PasswordChar: {
        const std::wstring mark = wide_from_raw(value);
        SendMessageW(hwnd_, EM_SETPASSWORDCHAR, mark.empty() ? 0 : mark[0], 0);
        InvalidateRect(hwnd_, nullptr, TRUE);
        return false;
      }
      case SelStart:
      case SelLength:
        select_bytes(own_.number(SelStart), n == SelStart ? 0 : own_.number(SelLength));
        return false;
      case SelText: {
        const std::wstring text = wide_from_raw(value);
        SendMessageW(hwnd_, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
        return false;
      }
      case Border:
      case HideSelection:
      case MultiLine:
      case ScrollBars:
      case Alignment:
      case InputMode:
      case CaseConversion: return true;  // styles fixed when the system control is made
      default: return false;
    }
  }

  void on_command(UINT code) override {
    switch (code) {
      case EN_CHANGE:
        if (!writing_) raise(form::kContentChanged);
        break;
      case EN_SETFOCUS:
      case EN_KILLFOCUS: focus_moved(); break;
      default: break;
    }
  }

  HBRUSH on_colour(HDC dc) override {
    SetTextColor(dc, colour_of(own_.number(TextColor)));
    SetBkColor(dc, colour_of(own_.number(BackColor)));
    return static_cast<HBRUSH>(background_.get());
  }

 protected:
  HWND build(HWND parent, const platform::Rect& place) override {
    DWORD style = child_style() | ES_AUTOHSCROLL;
    DWORD extended = 0;
    switch (own_.number(Border)) {
      case 0: break;
      case 2: extended |= WS_EX_DLGMODALFRAME; break;
      case 3: extended |= WS_EX_STATICEDGE; break;
      case 4: extended |= WS_EX_CLIENTEDGE | WS_EX_DLGMODALFRAME; break;
      case 5: style |= WS_BORDER; break;
      default: extended |= WS_EX_CLIENTEDGE; break;
    }
    if (own_.number(HideSelection) == 0) style |= ES_NOHIDESEL;
    if (own_.number(MultiLine) != 0) {
      style |= ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN;
      const int32_t bars = own_.number(ScrollBars);
      if (bars == 1 || bars == 3) style |= WS_HSCROLL;
      if (bars == 2 || bars == 3) style |= WS_VSCROLL;
    }
    switch (own_.number(Alignment)) {
      case 1: style |= ES_CENTER; break;
      case 2: style |= ES_RIGHT; break;
      default: style |= ES_LEFT; break;
    }
    switch (own_.number(InputMode)) {
      case 1: style |= ES_READONLY; break;
      case 2: style |= ES_PASSWORD; break;
      case 3: style |= ES_NUMBER; break;
      default: break;
    }
    switch (own_.number(CaseConversion)) {
      case 1: style |= ES_UPPERCASE; break;
      case 2: style |= ES_LOWERCASE; break;
      default: break;
    }
    const std::wstring text = wide_from_cp936(own_.bytes(Content));
    HWND edit =
        CreateWindowExW(extended, L"EDIT", text.c_str(), style, place.left, place.top, place.width,
                        place.height, parent, nullptr, program_instance(), nullptr);
    if (edit == nullptr) return nullptr;
    font_.choose(own_, Font);
    background_.reset(CreateSolidBrush(colour_of(own_.number(BackColor))));
    SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    // 0 lifts the system's default limit to the largest the control takes.
    SendMessageW(edit, EM_SETLIMITTEXT, static_cast<WPARAM>(own_.number(MaxLength)), 0);
    if ((style & ES_PASSWORD) != 0) {
      const std::wstring mark = wide_from_cp936(own_.bytes(PasswordChar));
      SendMessageW(edit, EM_SETPASSWORDCHAR, mark.empty() ? L'*' : mark[0], 0);
    }
    return edit;
  }

  void keep_state() override { own_.set_bytes(Content, cp936_from_wide(window_text())); }

 private:
  struct Selection {
    int32_t start_bytes;
    int32_t length_bytes;
  };

  // Replaces the text and raises content-changed exactly once, whatever
  // the system control itself notifies for a programmatic change.
  void write_text(const std::wstring& text) {
    writing_ = true;
    SetWindowTextW(hwnd_, text.c_str());
    writing_ = false;
    raise(form::kContentChanged);
  }

  // Positions cross the interface as byte offsets of the code page 936 text.
  // The selection in UTF-16 units of `text`, clamped to it.
  struct WideSelection {
    std::size_t start;
    std::size_t length;
  };
  WideSelection wide_selection(const std::wstring& text) const {
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(hwnd_, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    if (end > text.size()) end = static_cast<DWORD>(text.size());
    if (start > end) start = end;
    return {start, static_cast<std::size_t>(end - start)};
  }

  Selection current_selection() const {
    const std::wstring text = window_text();
    const WideSelection selection = wide_selection(text);
    const std::size_t before = cp936_from_wide(text.substr(0, selection.start)).size();
    const std::size_t inside =
        cp936_from_wide(text.substr(selection.start, selection.length)).size();
    return {static_cast<int32_t>(before), static_cast<int32_t>(inside)};
  }

  void select_bytes(int32_t start_bytes, int32_t length_bytes) {
    const std::wstring text = window_text();
    const std::string bytes = cp936_from_wide(text);
    auto to_chars = [&](int32_t offset) {
      if (offset <= 0) return static_cast<WPARAM>(0);
      const std::size_t limit =
          std::min<std::size_t>(static_cast<std::size_t>(offset), bytes.size());
      return static_cast<WPARAM>(wide_from_cp936(bytes.data(), limit).size());
    };
    const WPARAM start = to_chars(start_bytes);
    const WPARAM end = to_chars(start_bytes + (length_bytes > 0 ? length_bytes : 0));
    SendMessageW(hwnd_, EM_SETSEL, start, static_cast<LPARAM>(end));
  }

  ControlFont font_;
  GdiObject background_;
  bool writing_ = false;
};

}  // namespace

std::unique_ptr<Win32Control> make_edit_box(Win32Window& window,
                                            const form::UnitSettings& settings) {
  return std::make_unique<EditBox>(window, settings);
}

}  // namespace filmbar::win32
