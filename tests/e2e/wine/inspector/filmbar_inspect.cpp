// A console program for the Wine end-to-end tests, run in the same prefix
// as filmbar.exe: reads the program's windows from outside, as any other
// process may, and prints them as one JSON object (UTF-8) on stdout.
//
//   filmbar_inspect window      the main window and every window inside it, read
//                               once the program has gone idle (2 s at most)
//   filmbar_inspect boxes       the message boxes on screen, with their parts
//   filmbar_inspect icon EXE    the program's icon resource, pixel by pixel
//   filmbar_inspect closebox    the screen point of the main window's close button
//   filmbar_inspect trust FILE  adds a PEM certificate to the prefix's trusted
//                               roots (test set-up for the HTTPS service)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kMainClass[] = L"FilmbarWindow";
constexpr UINT kTimeoutMs = 2000;
constexpr WORD kIconId = 101;  // the program's icon resource

std::string utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int needed = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(needed), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], needed,
                      nullptr, nullptr);
  return out;
}

std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", byte);
      out += escape;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string quoted(const std::wstring& text) {
  return quoted(utf8(text));
}

std::string number(long long value) {
  return std::to_string(value);
}

std::string rect_json(const RECT& rect) {
  return "[" + number(rect.left) + ", " + number(rect.top) + ", " + number(rect.right) + ", " +
         number(rect.bottom) + "]";
}

std::wstring class_of(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

// WM_GETTEXT, which the system carries across processes.
std::wstring text_of(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kTimeoutMs, &length)) {
    return {};
  }
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]),
                      SMTO_ABORTIFHUNG, kTimeoutMs, &copied);
  text.resize(static_cast<std::size_t>(copied));
  return text;
}

LRESULT ask(HWND window, UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
  DWORD_PTR answer = 0;
  if (!SendMessageTimeoutW(window, message, wparam, lparam, SMTO_ABORTIFHUNG, kTimeoutMs,
                           &answer)) {
    return -1;
  }
  return static_cast<LRESULT>(answer);
}

std::string combo_json(HWND combo) {
  const LRESULT count = ask(combo, CB_GETCOUNT);
  std::string items = "[";
  for (LRESULT i = 0; i < count; ++i) {
    const LRESULT length = ask(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i));
    std::wstring text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
    const LRESULT copied =
        ask(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    items += (i > 0 ? ", " : "") + quoted(text);
  }
  items += "]";
  RECT dropped{};
  ask(combo, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
  return "{\"count\": " + number(count) + ", \"selection\": " + number(ask(combo, CB_GETCURSEL)) +
         ", \"items\": " + items + ", \"item_height\": " + number(ask(combo, CB_GETITEMHEIGHT, 0)) +
         ", \"field_height\": " + number(ask(combo, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1))) +
         ", \"dropped_rect\": " + rect_json(dropped) +
         ", \"dropped\": " + (ask(combo, CB_GETDROPPEDSTATE) > 0 ? "true" : "false") + "}";
}

// One window and, nested, every window inside it, front to back.
std::string window_json(HWND window, const std::string& indent) {
  RECT rect{};
  GetWindowRect(window, &rect);
  std::string out =
      "{\"hwnd\": " + number(reinterpret_cast<LONG_PTR>(window)) +
      ", \"class\": " + quoted(class_of(window)) +
      ", \"id\": " + number(GetWindowLongPtrW(window, GWLP_ID)) +
      ", \"text\": " + quoted(text_of(window)) + ", \"rect\": " + rect_json(rect) +
      ", \"style\": " + number(static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE))) +
      ", \"exstyle\": " + number(static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE))) +
      ", \"visible\": " + (IsWindowVisible(window) ? "true" : "false") +
      ", \"enabled\": " + (IsWindowEnabled(window) ? "true" : "false");
  if (lstrcmpiW(class_of(window).c_str(), L"ComboBox") == 0)
    out += ", \"combo\": " + combo_json(window);
  std::string children;
  for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    children +=
        (children.empty() ? "\n" : ",\n") + indent + "  " + window_json(child, indent + "  ");
  }
  out += ", \"children\": [" + children + "]}";
  return out;
}

// The program's icon resource, loaded from its file as the system loads
// it for the window class: the image's size, colour depth and, row by
// row, '#' for white, '.' for black and '+' between.
int print_icon(const char* path) {
  const std::wstring file(path, path + std::strlen(path));
  HMODULE program = LoadLibraryExW(file.c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (program == nullptr) {
    std::fputs("{\"icon\": null}\n", stdout);
    return 1;
  }
  auto icon =
      static_cast<HICON>(LoadImageW(program, MAKEINTRESOURCEW(kIconId), IMAGE_ICON, 32, 32, 0));
  ICONINFO info{};
  BITMAP colour{};
  if (icon == nullptr || !GetIconInfo(icon, &info) || info.hbmColor == nullptr ||
      GetObjectW(info.hbmColor, sizeof colour, &colour) == 0) {
    std::fputs("{\"icon\": null}\n", stdout);
    return 1;
  }
  std::string out = "{\"icon\": {\"width\": " + number(colour.bmWidth) +
                    ", \"height\": " + number(colour.bmHeight) +
                    ", \"bits\": " + number(colour.bmBitsPixel);
  BITMAPINFO request{};
  request.bmiHeader.biSize = sizeof request.bmiHeader;
  request.bmiHeader.biWidth = colour.bmWidth;
  request.bmiHeader.biHeight = -colour.bmHeight;  // top row first
  request.bmiHeader.biPlanes = 1;
  request.bmiHeader.biBitCount = 32;
  request.bmiHeader.biCompression = BI_RGB;
  std::vector<DWORD> pixels(static_cast<std::size_t>(colour.bmWidth) *
                            static_cast<std::size_t>(colour.bmHeight));
  HDC screen = GetDC(nullptr);
  const int rows = GetDIBits(screen, info.hbmColor, 0, static_cast<UINT>(colour.bmHeight),
                             pixels.data(), &request, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  std::string grid;
  for (int y = 0; y < rows; ++y) {
    std::string row;
    for (int x = 0; x < colour.bmWidth; ++x) {
      const DWORD pixel =
          pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(colour.bmWidth) +
                 static_cast<std::size_t>(x)];
      const unsigned level = ((pixel & 0xFF) + ((pixel >> 8) & 0xFF) + ((pixel >> 16) & 0xFF)) / 3;
      row += level >= 192 ? '#' : level >= 64 ? '+' : '.';
    }
    grid += (y > 0 ? ", " : "") + quoted(row);
  }
  out += ", \"rows\": [" + grid + "]}}\n";
  DeleteObject(info.hbmColor);
  if (info.hbmMask != nullptr) DeleteObject(info.hbmMask);
  DestroyIcon(icon);
  FreeLibrary(program);
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}

// Whether the program has gone idle in its message loop once: only then has
// it finished showing its window (activation and the first focus included).
bool waited_until_idle(HWND window) {
  DWORD process_id = 0;
  GetWindowThreadProcessId(window, &process_id);
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, process_id);
  if (process == nullptr) return false;
  const DWORD waited = WaitForInputIdle(process, kTimeoutMs);
  CloseHandle(process);
  return waited == 0;
}

int print_window() {
  HWND main = FindWindowW(kMainClass, nullptr);
  if (main == nullptr) {
    std::fputs("{\"found\": false}\n", stdout);
    return 0;
  }
  const bool idle = waited_until_idle(main);
  RECT client{};
  GetClientRect(main, &client);
  MapWindowPoints(main, HWND_DESKTOP, reinterpret_cast<POINT*>(&client), 2);
  GUITHREADINFO thread{};
  thread.cbSize = sizeof thread;
  std::string focus = "null";
  if (GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &thread) &&
      thread.hwndFocus != nullptr) {
    focus = "{\"hwnd\": " + number(reinterpret_cast<LONG_PTR>(thread.hwndFocus)) +
            ", \"class\": " + quoted(class_of(thread.hwndFocus)) + "}";
  }
  const std::string out =
      "{\"found\": true, \"screen\": [" + number(GetSystemMetrics(SM_CXSCREEN)) + ", " +
      number(GetSystemMetrics(SM_CYSCREEN)) + "], \"client_rect\": " + rect_json(client) +
      ", \"idle\": " + (idle ? "true" : "false") + ", \"focus\": " + focus +
      ", \"acp\": " + number(GetACP()) +
      ", \"window\": " + window_json(main, "") + "}\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}

// Finds the close button by asking the window what lies under points of
// its caption row, right to left (WM_NCHITTEST).
int print_close_box() {
  HWND main = FindWindowW(kMainClass, nullptr);
  RECT outer{};
  RECT client{};
  if (main == nullptr || !GetWindowRect(main, &outer) || !GetClientRect(main, &client)) {
    std::fputs("{\"close\": null}\n", stdout);
    return 1;
  }
  MapWindowPoints(main, HWND_DESKTOP, reinterpret_cast<POINT*>(&client), 2);
  for (LONG y = outer.top + 1; y < client.top; ++y) {
    for (LONG x = outer.right - 1; x > outer.left + (outer.right - outer.left) / 2; --x) {
      if (ask(main, WM_NCHITTEST, 0, MAKELPARAM(x, y)) == HTCLOSE) {
        // The middle of the button's run on this row and the next rows.
        LONG left = x;
        while (left > outer.left && ask(main, WM_NCHITTEST, 0, MAKELPARAM(left - 1, y)) == HTCLOSE)
          --left;
        LONG bottom = y;
        while (bottom < client.top &&
               ask(main, WM_NCHITTEST, 0, MAKELPARAM(x, bottom + 1)) == HTCLOSE)
          ++bottom;
        const std::string out =
            "{\"close\": [" + number((left + x) / 2) + ", " + number((y + bottom) / 2) + "]}\n";
        std::fwrite(out.data(), 1, out.size(), stdout);
        return 0;
      }
    }
  }
  std::fputs("{\"close\": null}\n", stdout);
  return 1;
}

BOOL CALLBACK collect_box(HWND window, LPARAM list) {
  if (IsWindowVisible(window) && class_of(window) == L"#32770") {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  }
  return TRUE;
}

int print_boxes() {
  std::vector<HWND> boxes;
  EnumWindows(collect_box, reinterpret_cast<LPARAM>(&boxes));
  std::string out = "{\"boxes\": [";
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    const HWND owner = GetWindow(boxes[i], GW_OWNER);
    out += (i > 0 ? ",\n" : "\n") + std::string("{\"owner\": ") +
           number(reinterpret_cast<LONG_PTR>(owner)) + ", \"box\": " + window_json(boxes[i], "") +
           "}";
  }
  out += "]}\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}

int trust_certificate(const char* path) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    std::perror(path);
    return 1;
  }
  std::string pem;
  char chunk[4096];
  std::size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) pem.append(chunk, got);
  std::fclose(file);
  DWORD size = 0;
  if (!CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                            nullptr, &size, nullptr, nullptr)) {
    std::fputs("not a PEM certificate\n", stderr);
    return 1;
  }
  std::vector<BYTE> der(size);
  CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                       der.data(), &size, nullptr, nullptr);
  HCERTSTORE root =
      CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
  if (root == nullptr) {
    std::fputs("cannot open the trusted root store\n", stderr);
    return 1;
  }
  const BOOL added = CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, der.data(), size,
                                                      CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  CertCloseStore(root, 0);
  std::fputs(added ? "{\"trusted\": true}\n" : "{\"trusted\": false}\n", stdout);
  return added ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "window") == 0) return print_window();
  if (argc >= 2 && std::strcmp(argv[1], "boxes") == 0) return print_boxes();
  if (argc >= 3 && std::strcmp(argv[1], "icon") == 0) return print_icon(argv[2]);
  if (argc >= 2 && std::strcmp(argv[1], "closebox") == 0) return print_close_box();
  if (argc >= 3 && std::strcmp(argv[1], "trust") == 0) return trust_certificate(argv[2]);
  std::fputs("usage: filmbar_inspect window | boxes | icon EXE | closebox | trust CERT.pem\n",
             stderr);
  return 2;
}
