// Win32 backend: text conversion at the backend's edge.
// Uses MultiByteToWideChar / WideCharToMultiByte with code page 936 named
// explicitly; implements the helpers of text_conversion.h.
#include "platform/win32/text_conversion.h"

#include <windows.h>

#include <climits>

namespace filmbar::win32 {

std::wstring wide_from_cp936(const char* bytes, std::size_t length) {
  if (bytes == nullptr || length == 0 || length > static_cast<std::size_t>(INT_MAX)) return {};
  const int byte_count = static_cast<int>(length);
  const int needed = MultiByteToWideChar(kCorePage, 0, bytes, byte_count, nullptr, 0);
  if (needed <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(needed), L'\0');
  MultiByteToWideChar(kCorePage, 0, bytes, byte_count, &wide[0], needed);
  return wide;
}

std::wstring wide_from_cp936(const std::string& bytes) {
  return wide_from_cp936(bytes.data(), bytes.size());
}

std::wstring wide_from_raw(const platform::RawValue& value) {
  return wide_from_cp936(static_cast<const char*>(value.data), value.length);
}

std::string cp936_from_wide(const wchar_t* text, std::size_t length) {
  if (text == nullptr || length == 0 || length > static_cast<std::size_t>(INT_MAX)) return {};
  const int char_count = static_cast<int>(length);
  const int needed =
      WideCharToMultiByte(kCorePage, 0, text, char_count, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return {};
  std::string bytes(static_cast<std::size_t>(needed), '\0');
  WideCharToMultiByte(kCorePage, 0, text, char_count, &bytes[0], needed, nullptr, nullptr);
  return bytes;
}

std::string cp936_from_wide(const std::wstring& text) {
  return cp936_from_wide(text.data(), text.size());
}

}  // namespace filmbar::win32
