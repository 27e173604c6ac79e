// Property access by window number, control number and property index: the
// only way event routines reach the window and its controls.
#pragma once

#include <cstdint>

namespace filmbar::access {

// A property value as it crosses read_property and write_property. Pointers
// (texts, byte data, font records) travel in `low`.
struct ValueSlot {
  uintptr_t low = 0;
  uint32_t high = 0;

  const char* text() const { return reinterpret_cast<const char*>(low); }
  int32_t integer() const { return static_cast<int32_t>(low); }
};

inline constexpr int32_t kWholeValue = -1;

ValueSlot read_property(uint32_t window_number, uint32_t control_number, int32_t index,
                        int32_t member);
void write_property(uint32_t window_number, uint32_t control_number, int32_t index, int32_t member,
                    uintptr_t low, uint32_t high);

// Convenience forms used by the routines.
inline void write_text_property(uint32_t window, uint32_t control, int32_t index,
                                const char* text) {
  write_property(window, control, index, kWholeValue, reinterpret_cast<uintptr_t>(text), 0);
}
inline void write_integer_property(uint32_t window, uint32_t control, int32_t index,
                                   int32_t value) {
  write_property(window, control, index, kWholeValue,
                 static_cast<uintptr_t>(static_cast<uint32_t>(value)), 0);
}

// The font record: laid out like the 60-byte LOGFONTA record. Members 0 to 6
// of a font property select face name, height, weight, italic, underline,
// strike-out and character set.
struct FontRecord {
  int32_t height;
  int32_t width;
  int32_t escapement;
  int32_t orientation;
  int32_t weight;
  uint8_t italic;
  uint8_t underline;
  uint8_t strike_out;
  uint8_t char_set;
  uint8_t out_precision;
  uint8_t clip_precision;
  uint8_t quality;
  uint8_t pitch_and_family;
  char face_name[32];
};
static_assert(sizeof(FontRecord) == 60, "the font record is the 60-byte LOGFONTA layout");

enum FontMember : int32_t {
  kFontFaceName = 0,
  kFontHeight,
  kFontWeight,
  kFontItalic,
  kFontUnderline,
  kFontStrikeOut,
  kFontCharSet,
};

// A byte-data block: dimension count (1), byte count, then the bytes.
struct ByteDataHeader {
  int32_t dimensions;
  int32_t byte_count;
};

}  // namespace filmbar::access
