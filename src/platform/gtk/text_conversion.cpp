// GTK backend: code page 936 <-> UTF-8 with iconv ("CP936").
//
// One converter per direction, opened on first use and kept for the life of
// the process; the program has one thread, so no locking is needed.
#include "platform/gtk/text_conversion.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace filmbar::gtk {
namespace {

// Owns one iconv descriptor.
class Converter {
 public:
  Converter(const char* to, const char* from) : descriptor_(iconv_open(to, from)) {
    if (descriptor_ == reinterpret_cast<iconv_t>(-1)) {
      std::fprintf(stderr, "filmbar: iconv cannot convert %s to %s\n", from, to);
      std::abort();
    }
  }
  ~Converter() { iconv_close(descriptor_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts `length` bytes; an unconvertible or truncated input sequence
  // is skipped (`skip` bytes of it, at least one) and `replacement` is
  // written in its place.
  std::string convert(const char* input, std::size_t length, const std::string& replacement,
                      std::size_t (*skip)(const char*, std::size_t)) {
    iconv(descriptor_, nullptr, nullptr, nullptr, nullptr);  // initial shift state
    std::string output;
    output.reserve(length * 2 + 4);
    char* in = const_cast<char*>(input);
    std::size_t in_left = length;
    char buffer[256];
    while (in_left > 0) {
      char* out = buffer;
      std::size_t out_left = sizeof buffer;
      const std::size_t result = iconv(descriptor_, &in, &in_left, &out, &out_left);
      output.append(buffer, sizeof buffer - out_left);
      if (result == static_cast<std::size_t>(-1) && errno != E2BIG) {
        // EILSEQ or EINVAL: a sequence that cannot be converted.
        const std::size_t step = skip(in, in_left);
        in += step;
        in_left -= step;
        output += replacement;
        iconv(descriptor_, nullptr, nullptr, nullptr, nullptr);
      }
    }
    return output;
  }

 private:
  iconv_t descriptor_;
};

// One byte of code page 936: a bad lead or trail byte is dropped alone.
std::size_t skip_one_byte(const char*, std::size_t) {
  return 1;
}

// One UTF-8 character (its lead byte and any continuation bytes).
std::size_t skip_utf8_character(const char* text, std::size_t left) {
  std::size_t step = 1;
  while (step < left && (static_cast<unsigned char>(text[step]) & 0xC0) == 0x80) ++step;
  return step;
}

}  // namespace

std::string utf8_from_cp936(const char* bytes, std::size_t length) {
  if (bytes == nullptr || length == 0) return std::string();
  static Converter to_utf8("UTF-8", "CP936");
  return to_utf8.convert(bytes, length, "\xEF\xBF\xBD", skip_one_byte);
}

std::string cp936_from_utf8(const char* utf8, std::size_t length) {
  if (utf8 == nullptr || length == 0) return std::string();
  static Converter to_cp936("CP936", "UTF-8");
  return to_cp936.convert(utf8, length, "?", skip_utf8_character);
}

}  // namespace filmbar::gtk
