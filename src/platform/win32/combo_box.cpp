// Win32 backend: the service chooser kind (ComboBox) as the system
// "COMBOBOX" control. Implements its style (here the drop-down list), the
// entries in order, the list's item height raised by LineSpacing, the
// selection, colours and font, and events 0 to 4. The list and edit field
// inside it count as the chooser for input.
#include <algorithm>

#include "platform/win32/text_conversion.h"
#include "platform/win32/units.h"

namespace filmbar::win32 {
namespace {

using namespace form::combo_prop;

// How far the dropped list reaches below the control's top, at least.
constexpr int32_t kMinimumDroppedHeight = 160;

class ComboBox final : public Win32Control {
 public:
  using Win32Control::Win32Control;

  bool contains(HWND inner) const override {
    return inner != nullptr && (inner == hwnd_ || inner == list_ || inner == field_);
  }

  void set_bounds(const platform::Rect& place) override {
    platform::Rect raised = place;
    raised.height = std::max(place.height, kMinimumDroppedHeight);
    Win32Control::set_bounds(raised);
  }

  platform::RawValue get_own(int32_t n) override {
    if (!exists()) return Win32Control::get_own(n);
    switch (n) {
      case CurrentSelection: {
        // Asked of the list at the moment of the read.
        platform::RawValue value;
        value.number = static_cast<int32_t>(SendMessageW(hwnd_, CB_GETCURSEL, 0, 0));
        return value;
      }
      case Content: return hand_out(cp936_from_wide(window_text()));
      case Items: {
        std::string all;
        const LRESULT count = SendMessageW(hwnd_, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
          all += cp936_from_wide(entry_text(static_cast<WPARAM>(i)));
          all.push_back('\0');
        }
        platform::RawValue value = hand_out(std::move(all));
        if (count <= 0) value.data = nullptr;
        return value;
      }
      default: return Win32Control::get_own(n);
    }
  }

  bool set_own(int32_t n, const platform::RawValue& value) override {
    own_.set(n, value);
    if (!exists()) return false;
    switch (n) {
      case CurrentSelection: select(own_.number(CurrentSelection)); return false;
      case Content: SetWindowTextW(hwnd_, wide_from_raw(value).c_str()); return false;
      case Items:
        SendMessageW(hwnd_, CB_RESETCONTENT, 0, 0);
        add_entries(hwnd_);
        return false;
      case MaxLength:
        SendMessageW(hwnd_, CB_LIMITTEXT, static_cast<WPARAM>(own_.number(MaxLength)), 0);
        return false;
      case LineSpacing: apply_item_height(hwnd_); return false;
      case TextColor:
      case BackColor:
        background_.reset(CreateSolidBrush(colour_of(own_.number(BackColor))));
        InvalidateRect(hwnd_, nullptr, TRUE);
        return false;
      case Font:
        font_.choose(own_, Font);
        SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
        base_item_height_ = -1;  // the new font sets the system's height afresh
        apply_item_height(hwnd_);
        return false;
      case Style:
      case Sorted: return true;  // styles fixed when the system control is made
      default: return false;
    }
  }

  void on_command(UINT code) override {
    using namespace form::combo_event;
    switch (code) {
      case CBN_SELCHANGE:
        // A pick in the dropped list counts once the list has closed.
        if (SendMessageW(hwnd_, CB_GETDROPPEDSTATE, 0, 0) != 0) {
          pick_pending_ = true;
        } else {
          raise(EntryPicked);
        }
        break;
      case CBN_EDITCHANGE: raise(EditTextChanged); break;
      case CBN_DROPDOWN:
        pick_pending_ = false;
        raise(ListDropping);
        break;
      case CBN_CLOSEUP:
        raise(ListClosed);
        if (pick_pending_) {
          pick_pending_ = false;
          raise(EntryPicked);
        }
        break;
      case CBN_DBLCLK: raise(DoubleClick); break;
      case CBN_SETFOCUS:
      case CBN_KILLFOCUS: focus_moved(); break;
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
    DWORD style = child_style() | WS_VSCROLL | CBS_AUTOHSCROLL;
    switch (own_.number(Style)) {
      case 0: style |= CBS_SIMPLE; break;
      case 2: style |= CBS_DROPDOWNLIST; break;
      default: style |= CBS_DROPDOWN; break;
    }
    if (own_.number(Sorted) != 0) style |= CBS_SORT;
    HWND combo = CreateWindowExW(0, L"COMBOBOX", L"", style, place.left, place.top, place.width,
                                 std::max(place.height, kMinimumDroppedHeight), parent, nullptr,
                                 program_instance(), nullptr);
    if (combo == nullptr) return nullptr;
    font_.choose(own_, Font);
    background_.reset(CreateSolidBrush(colour_of(own_.number(BackColor))));
    SendMessageW(combo, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    if (own_.number(MaxLength) > 0) {
      SendMessageW(combo, CB_LIMITTEXT, static_cast<WPARAM>(own_.number(MaxLength)), 0);
    }
    add_entries(combo);
    base_item_height_ = -1;
    apply_item_height(combo);
    const std::wstring content = wide_from_cp936(own_.bytes(Content));
    if (!content.empty()) SetWindowTextW(combo, content.c_str());
    COMBOBOXINFO parts{};
    parts.cbSize = sizeof parts;
    if (GetComboBoxInfo(combo, &parts)) {
      list_ = parts.hwndList;
      field_ = parts.hwndItem;
    }
    hwnd_ = combo;
    select(own_.number(CurrentSelection));
    return combo;
  }

  void keep_state() override {
    platform::RawValue selection;
    selection.number = static_cast<int32_t>(SendMessageW(hwnd_, CB_GETCURSEL, 0, 0));
    own_.set(CurrentSelection, selection);
    std::string all;
    const LRESULT count = SendMessageW(hwnd_, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
      all += cp936_from_wide(entry_text(static_cast<WPARAM>(i)));
      all.push_back('\0');
    }
    own_.set_bytes(Items, std::move(all));
  }

 private:
  void add_entries(HWND combo) {
    for (const std::string& entry : own_.items(Items)) {
      const std::wstring text = wide_from_cp936(entry);
      SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
  }

  // The list's items are as tall as the system makes them plus LineSpacing.
  void apply_item_height(HWND combo) {
    if (base_item_height_ < 0) {
      base_item_height_ = static_cast<int32_t>(SendMessageW(combo, CB_GETITEMHEIGHT, 0, 0));
    }
    if (base_item_height_ < 0) return;
    const int32_t height = base_item_height_ + own_.number(LineSpacing);
    SendMessageW(combo, CB_SETITEMHEIGHT, 0, static_cast<LPARAM>(std::max(height, 1)));
  }

  // The selection, clamped to -1 .. entries - 1.
  void select(int32_t wanted) {
    const auto count = static_cast<int32_t>(SendMessageW(hwnd_, CB_GETCOUNT, 0, 0));
    const int32_t index = std::max(-1, std::min(wanted, count - 1));
    SendMessageW(hwnd_, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  }

  std::wstring entry_text(WPARAM index) const {
    const LRESULT length = SendMessageW(hwnd_, CB_GETLBTEXTLEN, index, 0);
    if (length <= 0) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied =
        SendMessageW(hwnd_, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(&text[0]));
    text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
    return text;
  }

  HWND list_ = nullptr;
  HWND field_ = nullptr;
  ControlFont font_;
  GdiObject background_;
  int32_t base_item_height_ = -1;
  bool pick_pending_ = false;
};

}  // namespace

std::unique_ptr<Win32Control> make_combo_box(Win32Window& window,
                                             const form::UnitSettings& settings) {
  return std::make_unique<ComboBox>(window, settings);
}

}  // namespace filmbar::win32
