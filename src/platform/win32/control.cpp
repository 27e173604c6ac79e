// Win32 backend: what every control shares. Implements the property store,
// colours and fonts from settings, the backend's own window classes, and
// the Win32Control base: place, visibility, focus, rebuilding in place.
#include <cstring>
#include <utility>

#include "platform/win32/text_conversion.h"
#include "platform/win32/units.h"

namespace filmbar::win32 {

HINSTANCE program_instance() {
  return GetModuleHandleW(nullptr);
}

// ---------------------------------------------------------------- OwnValues

OwnValues::OwnValues(const std::vector<form::Value>& settings) {
  values_.reserve(settings.size());
  for (const form::Value& value : settings) {
    Stored stored;
    stored.number = static_cast<int32_t>(value.number & 0xFFFFFFFF);
    stored.number_high = static_cast<int32_t>(value.number >> 32);
    if (value.has_items) {
      for (const std::string& item : value.items) {
        stored.bytes += item;
        stored.bytes.push_back('\0');
      }
      stored.has_data = true;
    } else {
      stored.bytes = value.text;
      stored.has_data = !value.text.empty();
    }
    values_.push_back(std::move(stored));
  }
}

platform::RawValue OwnValues::raw(int32_t n) const {
  platform::RawValue value;
  if (!valid(n)) return value;
  const Stored& stored = values_[static_cast<std::size_t>(n)];
  value.number = stored.number;
  value.number_high = stored.number_high;
  if (stored.has_data || !stored.bytes.empty()) {
    value.data = stored.bytes.data();
    value.length = static_cast<uint32_t>(stored.bytes.size());
  }
  return value;
}

void OwnValues::set(int32_t n, const platform::RawValue& value) {
  if (!valid(n)) return;
  Stored& stored = values_[static_cast<std::size_t>(n)];
  stored.number = value.number;
  stored.number_high = value.number_high;
  if (value.data != nullptr) {
    stored.bytes.assign(static_cast<const char*>(value.data), value.length);
    stored.has_data = true;
  } else {
    stored.bytes.clear();
    stored.has_data = false;
  }
}

int32_t OwnValues::number(int32_t n) const {
  return valid(n) ? values_[static_cast<std::size_t>(n)].number : 0;
}

void OwnValues::set_number(int32_t n, int32_t value) {
  if (valid(n)) values_[static_cast<std::size_t>(n)].number = value;
}

const std::string& OwnValues::bytes(int32_t n) const {
  static const std::string none;
  return valid(n) ? values_[static_cast<std::size_t>(n)].bytes : none;
}

void OwnValues::set_bytes(int32_t n, std::string bytes) {
  if (!valid(n)) return;
  Stored& stored = values_[static_cast<std::size_t>(n)];
  stored.has_data = !bytes.empty();
  stored.bytes = std::move(bytes);
}

bool OwnValues::has_data(int32_t n) const {
  return valid(n) && values_[static_cast<std::size_t>(n)].has_data;
}

std::vector<std::string> OwnValues::items(int32_t n) const {
  std::vector<std::string> list;
  const std::string& all = bytes(n);
  std::size_t start = 0;
  while (start < all.size()) {
    std::size_t end = all.find('\0', start);
    if (end == std::string::npos) end = all.size();
    list.push_back(all.substr(start, end - start));
    start = end + 1;
  }
  return list;
}

// ------------------------------------------------------- colours and fonts

COLORREF colour_of(int32_t setting) {
  const uint32_t bits = static_cast<uint32_t>(setting);
  if ((bits & 0xFF000000u) != 0) return GetSysColor(COLOR_BTNFACE);
  return static_cast<COLORREF>(bits & 0x00FFFFFFu);
}

void ControlFont::choose(const OwnValues& own, int32_t n) {
  made_.reset();
  const std::string& record = own.bytes(n);
  if (!own.has_data(n) || record.size() != sizeof(LOGFONTA)) return;
  static_assert(sizeof(LOGFONTA) == 60, "the font record has the LOGFONTA layout");
  LOGFONTA narrow;
  std::memcpy(&narrow, record.data(), sizeof narrow);
  LOGFONTW wide{};
  wide.lfHeight = narrow.lfHeight;
  wide.lfWidth = narrow.lfWidth;
  wide.lfEscapement = narrow.lfEscapement;
  wide.lfOrientation = narrow.lfOrientation;
  wide.lfWeight = narrow.lfWeight;
  wide.lfItalic = narrow.lfItalic;
  wide.lfUnderline = narrow.lfUnderline;
  wide.lfStrikeOut = narrow.lfStrikeOut;
  wide.lfCharSet = narrow.lfCharSet;
  wide.lfOutPrecision = narrow.lfOutPrecision;
  wide.lfClipPrecision = narrow.lfClipPrecision;
  wide.lfQuality = narrow.lfQuality;
  wide.lfPitchAndFamily = narrow.lfPitchAndFamily;
  const std::wstring face =
      wide_from_cp936(narrow.lfFaceName, strnlen(narrow.lfFaceName, LF_FACESIZE));
  face.copy(wide.lfFaceName, LF_FACESIZE - 1);
  made_.reset(CreateFontIndirectW(&wide));
}

HFONT ControlFont::get() const {
  if (made_.get() != nullptr) return static_cast<HFONT>(made_.get());
  return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

// ------------------------------------------------------- own window classes

namespace {

LRESULT CALLBACK unit_procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    auto* creating = static_cast<Win32Control*>(creation->lpCreateParams);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creating));
    if (creating != nullptr) creating->bind_window(hwnd);
  }
  auto* control = reinterpret_cast<Win32Control*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (control != nullptr) {
    LRESULT result = 0;
    if (control->own_message(message, wparam, lparam, result)) return result;
    if (message == WM_NCDESTROY) SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

}  // namespace

void register_unit_class(const wchar_t* class_name, HBRUSH background) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExW(program_instance(), class_name, &existing)) return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = unit_procedure;
  wc.hInstance = program_instance();
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
  wc.hbrBackground = background;
  wc.lpszClassName = class_name;
  RegisterClassExW(&wc);
}

// ------------------------------------------------------------ Win32Control

Win32Control::Win32Control(Win32Window& window, const form::UnitSettings& settings)
    : window_(&window),
      window_number_(window.number()),
      number_(settings.number),
      own_(settings.own),
      tab_stop_(settings.tab_stop),
      disabled_at_start_(settings.disabled),
      initial_place_{settings.left, settings.top, settings.width, settings.height} {}

Win32Control::~Win32Control() {
  if (window_ != nullptr) window_->detach(this);
  if (hwnd_ != nullptr && IsWindow(hwnd_)) DestroyWindow(hwnd_);
}

bool Win32Control::create() {
  if (window_ == nullptr || window_->hwnd() == nullptr) return false;
  hwnd_ = build(window_->hwnd(), initial_place_);
  if (hwnd_ == nullptr) return false;
  window_->attach(this);
  return true;
}

DWORD Win32Control::child_style() const {
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
  if (tab_stop_) style |= WS_TABSTOP;
  if (disabled_at_start_) style |= WS_DISABLED;
  return style;
}

bool Win32Control::exists() const {
  return hwnd_ != nullptr && IsWindow(hwnd_);
}

platform::Rect Win32Control::bounds() const {
  RECT rect{};
  if (!exists()) return {};
  GetWindowRect(hwnd_, &rect);
  MapWindowPoints(HWND_DESKTOP, GetParent(hwnd_), reinterpret_cast<POINT*>(&rect), 2);
  return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

void Win32Control::set_bounds(const platform::Rect& place) {
  if (!exists()) return;
  SetWindowPos(hwnd_, nullptr, place.left, place.top, place.width, place.height,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

bool Win32Control::visible() const {
  return exists() && (GetWindowLongPtrW(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0;
}

void Win32Control::set_visible(bool visible) {
  if (exists()) ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE);
}

bool Win32Control::enabled() const {
  return exists() && IsWindowEnabled(hwnd_);
}

void Win32Control::set_enabled(bool enabled) {
  if (exists()) EnableWindow(hwnd_, enabled ? TRUE : FALSE);
}

platform::RawValue Win32Control::get_own(int32_t n) {
  return own_.raw(n);
}

bool Win32Control::set_own(int32_t n, const platform::RawValue& value) {
  own_.set(n, value);
  return false;
}

void Win32Control::focus() {
  if (exists()) SetFocus(hwnd_);
}

bool Win32Control::contains(HWND inner) const {
  return inner != nullptr && inner == hwnd_;
}

bool Win32Control::own_message(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
  (void)wparam;
  (void)lparam;
  (void)result;
  if (message == WM_NCDESTROY) hwnd_ = nullptr;
  return false;
}

void Win32Control::window_gone() {
  hwnd_ = nullptr;
}

// Rebuilds the system window with the styles that the current settings
// ask for, keeping its place, its position in the stacking order, its
// visibility, whether it is enabled and whether it has the focus.
void Win32Control::recreate() {
  if (!exists() || window_ == nullptr) return;
  keep_state();
  const platform::Rect place = bounds();
  const bool was_visible = visible();
  const bool was_enabled = enabled();
  const bool had_focus = GetFocus() != nullptr && contains(GetFocus());
  HWND previous = GetWindow(hwnd_, GW_HWNDPREV);
  disabled_at_start_ = !was_enabled;
  window_->detach(this);
  HWND old = hwnd_;
  hwnd_ = nullptr;
  DestroyWindow(old);
  hwnd_ = build(window_->hwnd(), place);
  if (hwnd_ == nullptr) return;
  window_->attach(this);
  SetWindowPos(hwnd_, previous != nullptr ? previous : HWND_TOP, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  if (was_visible) ShowWindow(hwnd_, SW_SHOWNA);
  if (had_focus) focus();
}

void Win32Control::raise(int32_t event, std::initializer_list<int32_t> arguments) {
  core::raise_event(window_number_, number_, event, arguments);
}

void Win32Control::focus_moved() {
  if (window_ != nullptr) window_->sync_focus();
}

platform::RawValue Win32Control::hand_out(std::string bytes) {
  handed_out_ = std::move(bytes);
  platform::RawValue value;
  value.data = handed_out_.data();
  value.length = static_cast<uint32_t>(handed_out_.size());
  return value;
}

std::wstring Win32Control::window_text() const {
  if (!exists()) return {};
  const int length = GetWindowTextLengthW(hwnd_);
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(hwnd_, &text[0], length + 1);
  text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
  return text;
}

}  // namespace filmbar::win32
