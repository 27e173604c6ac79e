// Code page 936 <-> UTF-8 at the edge of the GTK backend (iconv).
//
// The core's texts are code page 936 bytes; GTK and WebKitGTK take UTF-8.
// Converting from and to code page 936 itself, never through the locale's
// encoding, keeps the Chinese texts right under any locale.
#pragma once

#include <cstddef>
#include <string>

namespace filmbar::gtk {

// Bytes that cannot be read as code page 936 become U+FFFD.
std::string utf8_from_cp936(const char* bytes, std::size_t length);
inline std::string utf8_from_cp936(const std::string& text) {
  return utf8_from_cp936(text.data(), text.size());
}

// Characters that code page 936 cannot hold become '?', as the system's
// own conversion does on Windows.
std::string cp936_from_utf8(const char* utf8, std::size_t length);
inline std::string cp936_from_utf8(const char* utf8) {
  return utf8 == nullptr ? std::string()
                         : cp936_from_utf8(utf8, std::char_traits<char>::length(utf8));
}

}  // namespace filmbar::gtk
