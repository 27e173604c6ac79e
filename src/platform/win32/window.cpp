// Win32 backend: the form's top-level window. A window class of its own
// with the program icon; implements NativeWindow: the frame styles from
// the window settings, the black (BackColor) client area, creation at the
// final place, close requests, focus and activation reports, and the
// routing of the controls' notifications to the controls.
#include <algorithm>

#include "platform/win32/resource_ids.h"
#include "platform/win32/text_conversion.h"
#include "platform/win32/units.h"

namespace filmbar::win32 {
namespace {

constexpr wchar_t kWindowClass[] = L"FilmbarWindow";

// Every live window, so that the message loop can find the one a message
// is meant for.
std::vector<Win32Window*>& live_windows() {
  static std::vector<Win32Window*> windows;
  return windows;
}

struct FrameStyles {
  DWORD style;
  DWORD extended;
};

// BorderStyle: 0 none, 1 sizeable, 2 fixed, 3 sizeable tool window, 4 fixed
// tool window, 5 sizeable with sunken client edge, 6 fixed with sunken edge.
FrameStyles frame_styles(const OwnValues& own) {
  using namespace form::window_prop;
  const int32_t border = own.number(BorderStyle);
  const bool control_box = own.number(ControlBox) != 0;
  DWORD style = WS_CLIPCHILDREN;
  DWORD extended = 0;
  if (border == 0) {
    style |= WS_POPUP;
  } else {
    style |= WS_OVERLAPPED | WS_CAPTION;
    if (border == 1 || border == 3 || border == 5) style |= WS_THICKFRAME;
    if (border == 3 || border == 4) extended |= WS_EX_TOOLWINDOW;
    if (border == 5 || border == 6) extended |= WS_EX_CLIENTEDGE;
  }
  if (control_box) {
    style |= WS_SYSMENU;
    if (own.number(MinButton) != 0) style |= WS_MINIMIZEBOX;
    if (own.number(MaxButton) != 0) style |= WS_MAXIMIZEBOX;
  }
  if (own.number(AlwaysOnTop) != 0) extended |= WS_EX_TOPMOST;
  return {style, extended};
}

}  // namespace

void Win32Window::register_class() {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExW(program_instance(), kWindowClass, &existing)) return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = &Win32Window::procedure;
  wc.hInstance = program_instance();
  // One 32 x 32 image serves as the large and, scaled, the small icon.
  wc.hIcon = static_cast<HICON>(LoadImageW(program_instance(), MAKEINTRESOURCEW(FILMBAR_ICON_ID),
                                           IMAGE_ICON, 32, 32, LR_SHARED));
  wc.hIconSm = static_cast<HICON>(LoadImageW(program_instance(), MAKEINTRESOURCEW(FILMBAR_ICON_ID),
                                             IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                             GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
  wc.hbrBackground = nullptr;                                  // WM_ERASEBKGND fills with BackColor
  wc.lpszClassName = kWindowClass;
  RegisterClassExW(&wc);
}

Win32Window::Win32Window(const form::UnitSettings& settings)
    : number_(settings.number), own_(settings.own) {
  live_windows().push_back(this);
}

Win32Window::~Win32Window() {
  auto& windows = live_windows();
  windows.erase(std::remove(windows.begin(), windows.end(), this), windows.end());
  for (Win32Control* control : controls_) control->detach_window();
  if (hwnd_ != nullptr) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
}

// Creates the window hidden at its final place, then sets the outer size
// again, since the system may have adjusted it to the frame it chose.
bool Win32Window::create(const platform::Rect& outer) {
  register_class();
  apply_background();
  const FrameStyles styles = frame_styles(own_);
  const std::wstring caption = wide_from_cp936(own_.bytes(form::window_prop::Caption));
  HWND created = CreateWindowExW(styles.extended, kWindowClass, caption.c_str(), styles.style,
                                 outer.left, outer.top, outer.width, outer.height, nullptr, nullptr,
                                 program_instance(), this);
  if (created == nullptr) return false;
  hwnd_ = created;
  SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), 0);
  SetWindowPos(hwnd_, nullptr, outer.left, outer.top, outer.width, outer.height,
               SWP_NOZORDER | SWP_NOACTIVATE);
  return true;
}

LRESULT CALLBACK Win32Window::procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* creating =
        static_cast<Win32Window*>(reinterpret_cast<const CREATESTRUCTW*>(lparam)->lpCreateParams);
    creating->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creating));
  }
  auto* window = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (window == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
  return window->handle(message, wparam, lparam);
}

LRESULT Win32Window::handle(UINT message, WPARAM wparam, LPARAM lparam) {
  HWND self = hwnd_;
  switch (message) {
    case WM_CLOSE:
      // The shell decides: it runs the close queries and calls destroy().
      core::close_requested(number_);
      return 0;
    case WM_SETFOCUS:
      core::window_got_focus(number_);
      sync_focus();
      return 0;
    case WM_ERASEBKGND: {
      RECT client{};
      GetClientRect(self, &client);
      FillRect(reinterpret_cast<HDC>(wparam), &client, static_cast<HBRUSH>(background_.get()));
      return 1;
    }
    case WM_COMMAND:
      if (lparam != 0) {
        if (Win32Control* control = control_at(reinterpret_cast<HWND>(lparam))) {
          control->on_command(HIWORD(wparam));
        }
        return 0;
      }
      break;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSTATIC:
      if (Win32Control* control = control_at(reinterpret_cast<HWND>(lparam))) {
        if (HBRUSH brush = control->on_colour(reinterpret_cast<HDC>(wparam))) {
          return reinterpret_cast<LRESULT>(brush);
        }
      }
      break;
    case WM_ACTIVATE:
      if (LOWORD(wparam) == WA_INACTIVE) {
        raise(form::window_event::Deactivated);
      } else {
        if (!activated_once_) {
          activated_once_ = true;
          raise(form::window_event::FirstActivated);
        }
        raise(form::window_event::Activated);
      }
      break;
    case WM_SHOWWINDOW:
      raise(wparam != 0 ? form::window_event::Shown : form::window_event::Hidden);
      break;
    case WM_MOVE:
      // load_window raises the first moved and resized events itself.
      if (shown_) raise(form::window_event::Moved);
      break;
    case WM_SIZE:
      if (shown_) raise(form::window_event::Resized);
      break;
    case WM_NCDESTROY: {
      for (Win32Control* control : controls_) control->window_gone();
      SetWindowLongPtrW(self, GWLP_USERDATA, 0);
      hwnd_ = nullptr;
      LRESULT result = DefWindowProcW(self, message, wparam, lparam);
      core::window_gone(number_);
      return result;
    }
    default: break;
  }
  return DefWindowProcW(self, message, wparam, lparam);
}

void Win32Window::raise(int32_t event) {
  core::raise_event(number_, 0, event);
}

void Win32Window::apply_background() {
  background_.reset(CreateSolidBrush(colour_of(own_.number(form::window_prop::BackColor))));
}

void Win32Window::apply_frame_styles() {
  const FrameStyles styles = frame_styles(own_);
  const LONG_PTR keep =
      GetWindowLongPtrW(hwnd_, GWL_STYLE) & (WS_VISIBLE | WS_DISABLED | WS_MINIMIZE | WS_MAXIMIZE);
  SetWindowLongPtrW(hwnd_, GWL_STYLE, static_cast<LONG_PTR>(styles.style) | keep);
  SetWindowLongPtrW(hwnd_, GWL_EXSTYLE, static_cast<LONG_PTR>(styles.extended & ~WS_EX_TOPMOST));
  SetWindowPos(hwnd_, (styles.extended & WS_EX_TOPMOST) != 0 ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0,
               0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

bool Win32Window::exists() const {
  return hwnd_ != nullptr && IsWindow(hwnd_);
}

platform::Rect Win32Window::bounds() const {
  RECT rect{};
  if (exists()) GetWindowRect(hwnd_, &rect);
  return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

void Win32Window::set_bounds(const platform::Rect& place) {
  if (exists()) {
    SetWindowPos(hwnd_, nullptr, place.left, place.top, place.width, place.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

bool Win32Window::visible() const {
  return exists() && (GetWindowLongPtrW(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0;
}

void Win32Window::set_visible(bool visible) {
  if (exists()) ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE);
}

bool Win32Window::enabled() const {
  return exists() && IsWindowEnabled(hwnd_);
}

void Win32Window::set_enabled(bool enabled) {
  if (exists()) EnableWindow(hwnd_, enabled ? TRUE : FALSE);
}

platform::RawValue Win32Window::get_own(int32_t n) {
  if (n == form::window_prop::Caption && exists()) {
    const int length = GetWindowTextLengthW(hwnd_);
    std::wstring text(static_cast<std::size_t>(std::max(length, 0)) + 1, L'\0');
    const int copied = GetWindowTextW(hwnd_, &text[0], length + 1);
    handed_out_ = cp936_from_wide(text.data(), static_cast<std::size_t>(std::max(copied, 0)));
    platform::RawValue value;
    value.data = handed_out_.data();
    value.length = static_cast<uint32_t>(handed_out_.size());
    return value;
  }
  return own_.raw(n);
}

bool Win32Window::set_own(int32_t n, const platform::RawValue& value) {
  using namespace form::window_prop;
  own_.set(n, value);
  if (!exists()) return false;
  switch (n) {
    case Caption: SetWindowTextW(hwnd_, wide_from_raw(value).c_str()); break;
    case BackColor:
      apply_background();
      RedrawWindow(hwnd_, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN);
      break;
    case BorderStyle:
    case ControlBox:
    case MinButton:
    case MaxButton:
    case AlwaysOnTop: apply_frame_styles(); break;
    default: break;
  }
  return false;
}

void Win32Window::focus() {
  if (exists()) SetFocus(hwnd_);
}

std::unique_ptr<platform::NativeControl> Win32Window::create_control(
    const form::UnitSettings& settings) {
  std::unique_ptr<Win32Control> control;
  switch (settings.kind) {
    case form::Kind::EditBox: control = make_edit_box(*this, settings); break;
    case form::Kind::Button: control = make_button(*this, settings); break;
    case form::Kind::ComboBox: control = make_combo_box(*this, settings); break;
    case form::Kind::TransLabel: control = make_trans_label(*this, settings); break;
    case form::Kind::Timer: control = make_timer(*this, settings); break;
    case form::Kind::HtmlViewer: control = make_browser_area(*this, settings); break;
    case form::Kind::Window: break;
  }
  if (control == nullptr || !control->create()) return nullptr;
  return control;
}

// The first control at the top, each next one right behind the one before.
void Win32Window::stack_front_to_back(const std::vector<platform::NativeControl*>& controls) {
  HWND after = HWND_TOP;
  for (platform::NativeControl* native : controls) {
    auto* control = static_cast<Win32Control*>(native);
    if (control == nullptr || control->hwnd() == nullptr) continue;
    SetWindowPos(control->hwnd(), after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    after = control->hwnd();
  }
}

void Win32Window::show(int32_t start_position) {
  if (!exists()) return;
  int command = SW_SHOWNORMAL;
  if (start_position == 2) command = SW_SHOWMINIMIZED;
  if (start_position == 3) command = SW_SHOWMAXIMIZED;
  ShowWindow(hwnd_, command);
  SetForegroundWindow(hwnd_);
  UpdateWindow(hwnd_);
  shown_ = true;
}

void Win32Window::destroy() {
  if (!exists() || destroying_) return;
  destroying_ = true;
  core::window_destroying(number_);
  // Controls that host foreign objects let go of them while their windows
  // still stand; DestroyWindow then takes every child with the window.
  for (Win32Control* control : std::vector<Win32Control*>(controls_)) control->window_destroying();
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

void Win32Window::attach(Win32Control* control) {
  if (std::find(controls_.begin(), controls_.end(), control) == controls_.end()) {
    controls_.push_back(control);
  }
}

void Win32Window::detach(Win32Control* control) {
  controls_.erase(std::remove(controls_.begin(), controls_.end(), control), controls_.end());
}

bool Win32Window::holds(HWND target) const {
  if (hwnd_ == nullptr || target == nullptr) return false;
  if (target == hwnd_ || IsChild(hwnd_, target)) return true;
  return control_at(target) != nullptr;
}

Win32Control* Win32Window::control_at(HWND target) const {
  for (HWND part = target; part != nullptr && part != hwnd_; part = GetAncestor(part, GA_PARENT)) {
    for (Win32Control* control : controls_) {
      if (control->contains(part)) return control;
    }
    if (part == GetDesktopWindow()) break;
  }
  return nullptr;
}

void Win32Window::sync_focus() {
  HWND focused = GetFocus();
  Win32Control* control = (focused != nullptr && holds(focused)) ? control_at(focused) : nullptr;
  const uint32_t now = control != nullptr ? control->number() : 0;
  if (now == focused_control_) return;
  const uint32_t before = focused_control_;
  focused_control_ = now;
  core::focus_changed(number_, before, now);
}

Win32Window* Win32Window::owner_of(HWND target) {
  for (Win32Window* window : live_windows()) {
    if (window->holds(target)) return window;
  }
  return nullptr;
}

void Win32Window::sync_focus_everywhere() {
  for (Win32Window* window : std::vector<Win32Window*>(live_windows())) {
    if (window->exists()) window->sync_focus();
  }
}

}  // namespace filmbar::win32
