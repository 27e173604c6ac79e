// Win32 backend: process services and the message loop's native half.
// Uses the process heap, GetModuleFileNameW, OLE, GetLocalTime, screen
// metrics, MessageBoxW, ExitProcess and GetMessageW/DispatchMessageW;
// implements Win32Platform, including the pre-translation of every input
// message to the window or its controls through core::pre_translate.
#include "platform/win32/platform.h"

#include "platform/win32/text_conversion.h"
#include "platform/win32/units.h"

#include <commctrl.h>
#include <ole2.h>
#include <windowsx.h>

namespace filmbar::win32 {
namespace {

bool input_kind(UINT message, core::InputKind& kind) {
  switch (message) {
    case WM_LBUTTONDOWN: kind = core::InputKind::LeftDown; return true;
    case WM_LBUTTONUP: kind = core::InputKind::LeftUp; return true;
    case WM_LBUTTONDBLCLK: kind = core::InputKind::LeftDouble; return true;
    case WM_RBUTTONDOWN: kind = core::InputKind::RightDown; return true;
    case WM_RBUTTONUP: kind = core::InputKind::RightUp; return true;
    case WM_MOUSEMOVE: kind = core::InputKind::MouseMove; return true;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: kind = core::InputKind::KeyDown; return true;
    case WM_KEYUP:
    case WM_SYSKEYUP: kind = core::InputKind::KeyUp; return true;
    case WM_CHAR: kind = core::InputKind::Character; return true;
    case WM_MOUSEWHEEL: kind = core::InputKind::Wheel; return true;
    default: return false;
  }
}

int32_t key_state_now() {
  int32_t state = 0;
  if (GetKeyState(VK_CONTROL) < 0) state |= core::kCtrl;
  if (GetKeyState(VK_SHIFT) < 0) state |= core::kShift;
  if (GetKeyState(VK_MENU) < 0) state |= core::kAlt;
  return state;
}

bool is_key_message(UINT message) {
  return message >= WM_KEYFIRST && message <= WM_KEYLAST;
}

// The window's Esc rule comes before any control's claim on keys.
bool is_plain_escape(const MSG& message) {
  return message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE && key_state_now() == 0;
}

// Offers an input message to the browser control (when it has the focus)
// and then to the shell; false when it must not reach its window.
bool pre_translate(MSG& message) {
  core::InputKind kind;
  if (!input_kind(message.message, kind)) return true;
  Win32Window* window = Win32Window::owner_of(message.hwnd);
  if (window == nullptr) return true;
  Win32Control* control = window->control_at(message.hwnd);

  if (control != nullptr && is_key_message(message.message) && !is_plain_escape(message) &&
      control->take_keys_first(message)) {
    return false;
  }

  core::InputRecord input;
  input.window_number = window->number();
  input.control_number = control != nullptr ? control->number() : 0;
  input.kind = kind;
  input.key_state = key_state_now();
  HWND own = control != nullptr ? control->hwnd() : window->hwnd();
  switch (kind) {
    case core::InputKind::KeyDown:
    case core::InputKind::KeyUp: input.key_code = static_cast<int32_t>(message.wParam); break;
    case core::InputKind::Character: input.character = static_cast<int32_t>(message.wParam); break;
    case core::InputKind::Wheel: {
      input.wheel_delta = GET_WHEEL_DELTA_WPARAM(message.wParam);
      POINT at{GET_X_LPARAM(message.lParam), GET_Y_LPARAM(message.lParam)};
      ScreenToClient(own, &at);
      input.x = at.x;
      input.y = at.y;
      break;
    }
    default: {
      // In the client coordinates of the control's own window, also when
      // the message went to a part inside it.
      POINT at{GET_X_LPARAM(message.lParam), GET_Y_LPARAM(message.lParam)};
      if (message.hwnd != own) MapWindowPoints(message.hwnd, own, &at, 1);
      input.x = at.x;
      input.y = at.y;
      break;
    }
  }

  const core::InputVerdict verdict = core::pre_translate(input);
  if (verdict.consumed) return false;
  if (verdict.character_replaced && message.message == WM_CHAR) {
    message.wParam = static_cast<WPARAM>(static_cast<uint32_t>(verdict.character));
  }
  return true;
}

void deliver(MSG& message) {
  if (pre_translate(message)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  Win32Window::sync_focus_everywhere();
}

}  // namespace

void* Win32Platform::heap_alloc(std::size_t size) {
  return HeapAlloc(GetProcessHeap(), 0, size);
}

void Win32Platform::heap_free(void* block) {
  if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
}

std::string Win32Platform::program_file_path() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  const std::size_t slash = path.find_last_of(L'\\');
  program_folder_wide_ = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
  program_folder_cp936_ = cp936_from_wide(program_folder_wide_);
  return cp936_from_wide(path);
}

bool Win32Platform::set_current_directory(const std::string& folder) {
  const std::wstring wide = (!program_folder_wide_.empty() && folder == program_folder_cp936_)
                                ? program_folder_wide_
                                : wide_from_cp936(folder);
  return SetCurrentDirectoryW(wide.c_str()) != FALSE;
}

void Win32Platform::ole_initialize() {
  OleInitialize(nullptr);
}

void Win32Platform::ole_uninitialize() {
  OleUninitialize();
}

platform::LocalTime Win32Platform::local_time_now() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

platform::Size Win32Platform::screen_size() {
  return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

void Win32Platform::connect_control_libraries() {
  INITCOMMONCONTROLSEX classes{};
  classes.dwSize = sizeof classes;
  classes.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
  InitCommonControlsEx(&classes);
}

void Win32Platform::show_error_box(const std::string& message) {
  // A quit message already in the queue would end the box at once.
  MSG pending;
  while (PeekMessageW(&pending, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
  const std::wstring text = wide_from_cp936(message);
  MessageBoxW(nullptr, text.c_str(), L"filmbar",
              MB_OK | MB_ICONERROR | MB_TASKMODAL | MB_SETFOREGROUND);
}

void Win32Platform::exit_process(int32_t code) {
  ExitProcess(static_cast<UINT>(code));
}

std::unique_ptr<platform::NativeWindow> Win32Platform::create_window(
    const form::UnitSettings& settings, const platform::Rect& outer) {
  auto window = std::make_unique<Win32Window>(settings);
  if (!window->create(outer)) return nullptr;
  return window;
}

bool Win32Platform::deliver_next_message(int32_t& quit_code) {
  MSG message{};
  const BOOL got = GetMessageW(&message, nullptr, 0, 0);
  if (got == 0) {
    quit_code = static_cast<int32_t>(message.wParam);
    return false;
  }
  if (got == -1) {
    quit_code = -1;
    return false;
  }
  deliver(message);
  return true;
}

void Win32Platform::post_quit(int32_t code) {
  PostQuitMessage(code);
}

void Win32Platform::process_pending_messages() {
  MSG message{};
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // Left for the loop, which ends on it.
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    deliver(message);
  }
}

}  // namespace filmbar::win32
