// read_property / write_property: the value-kind conversions, written once
// for every backend. The native half answers with raw values; everything
// handed to a routine is a new block it owns.
#include "access/property.h"

#include <cstring>
#include <string>

#include "access/heap.h"
#include "access/text.h"
#include "shell/shell.h"

namespace filmbar::access {
namespace {

using form::ValueKind;
using platform::RawValue;

using shell::hex_number;

uintptr_t pointer_slot(const void* p) {
  return reinterpret_cast<uintptr_t>(p);
}
uintptr_t number_slot(int32_t n) {
  return static_cast<uintptr_t>(static_cast<uint32_t>(n));
}

const form::PropertyDecl& own_property(const shell::LoadedUnit& unit, int32_t n,
                                       uint32_t control_number) {
  if (n < 0 || static_cast<size_t>(n) >= unit.kind->properties.size()) {
    shell::fatal_stop("Control " + hex_number(control_number) + " has no property " +
                      std::to_string(n + form::kFirstOwnProperty) + ".");
  }
  return unit.kind->properties[static_cast<size_t>(n)];
}

void* new_byte_data(const void* bytes, uint32_t length) {
  if (bytes == nullptr || length == 0) return nullptr;
  auto* block = static_cast<unsigned char*>(alloc_block(sizeof(ByteDataHeader) + length));
  const ByteDataHeader header{1, static_cast<int32_t>(length)};
  std::memcpy(block, &header, sizeof header);
  std::memcpy(block + sizeof header, bytes, length);
  return block;
}

RawValue byte_data_raw(const void* block) {
  if (block == nullptr) return RawValue{};
  ByteDataHeader header;
  std::memcpy(&header, block, sizeof header);
  if (header.byte_count <= 0) return RawValue{};
  return RawValue{0, 0, static_cast<const unsigned char*>(block) + sizeof header,
                  static_cast<uint32_t>(header.byte_count)};
}

FontRecord font_from_raw(const RawValue& raw) {
  FontRecord record{};
  if (raw.data != nullptr && raw.length >= sizeof record)
    std::memcpy(&record, raw.data, sizeof record);
  return record;
}

ValueSlot read_font(const RawValue& raw, int32_t member) {
  const bool has_font = raw.data != nullptr && raw.length >= sizeof(FontRecord);
  if (member < 0) {
    if (!has_font) return {};
    void* block = alloc_block(sizeof(FontRecord));
    std::memcpy(block, raw.data, sizeof(FontRecord));
    return {pointer_slot(block), 0};
  }
  const FontRecord f = font_from_raw(raw);
  switch (member) {
    case kFontFaceName:
      return {pointer_slot(copy_to_new_text(
                  f.face_name, static_cast<uint32_t>(strnlen(f.face_name, sizeof f.face_name)))),
              0};
    case kFontHeight: return {number_slot(f.height), 0};
    case kFontWeight: return {number_slot(f.weight), 0};
    case kFontItalic: return {number_slot(f.italic), 0};
    case kFontUnderline: return {number_slot(f.underline), 0};
    case kFontStrikeOut: return {number_slot(f.strike_out), 0};
    case kFontCharSet: return {number_slot(f.char_set), 0};
    default: return {};
  }
}

// The font record after writing one member (or the whole) of it.
bool write_font(platform::NativeUnit& native, int32_t n, int32_t member, uintptr_t low) {
  if (member < 0) {
    const void* record = reinterpret_cast<const void*>(low);
    return native.set_own(n, RawValue{0, 0, record, record == nullptr ? 0u : 60u});
  }
  FontRecord f = font_from_raw(native.get_own(n));
  const auto value = static_cast<int32_t>(low);
  const auto byte = static_cast<uint8_t>(value != 0);
  switch (member) {
    case kFontFaceName: {
      const char* name = reinterpret_cast<const char*>(low);
      std::memset(f.face_name, 0, sizeof f.face_name);
      if (name != nullptr) std::strncpy(f.face_name, name, sizeof f.face_name - 1);
      break;
    }
    case kFontHeight: f.height = value; break;
    case kFontWeight: f.weight = value; break;
    case kFontItalic: f.italic = byte; break;
    case kFontUnderline: f.underline = byte; break;
    case kFontStrikeOut: f.strike_out = byte; break;
    case kFontCharSet: f.char_set = static_cast<uint8_t>(value); break;
    default: return false;
  }
  return native.set_own(n, RawValue{0, 0, &f, sizeof f});
}

ValueSlot read_common(const shell::LoadedUnit& unit, int32_t index) {
  const platform::NativeUnit* native =
      unit.native != nullptr && unit.native->exists() ? unit.native : nullptr;
  const form::UnitSettings& s = unit.settings;
  const platform::Rect place =
      native != nullptr ? native->bounds() : platform::Rect{s.left, s.top, s.width, s.height};
  switch (index) {
    case form::kLeft: return {number_slot(place.left), 0};
    case form::kTop: return {number_slot(place.top), 0};
    case form::kWidth: return {number_slot(place.width), 0};
    case form::kHeight: return {number_slot(place.height), 0};
    case form::kTag:
      return {
          pointer_slot(copy_to_new_text(unit.tag.data(), static_cast<uint32_t>(unit.tag.size()))),
          0};
    case form::kVisible: return {native != nullptr ? native->visible() : s.visible, 0};
    case form::kDisabled: return {native != nullptr ? !native->enabled() : s.disabled, 0};
    case form::kMousePointer:
      return {pointer_slot(new_byte_data(unit.mouse_pointer_data.data(),
                                         static_cast<uint32_t>(unit.mouse_pointer_data.size()))),
              0};
    default: return {};
  }
}

void write_common(shell::LoadedUnit& unit, int32_t index, uintptr_t low) {
  platform::NativeUnit* native =
      unit.native != nullptr && unit.native->exists() ? unit.native : nullptr;
  form::UnitSettings& s = unit.settings;
  const auto value = static_cast<int32_t>(low);
  switch (index) {
    case form::kLeft: s.left = value; break;
    case form::kTop: s.top = value; break;
    case form::kWidth: s.width = value; break;
    case form::kHeight: s.height = value; break;
    case form::kTag: {
      const char* text = reinterpret_cast<const char*>(low);
      unit.tag.assign(text == nullptr ? "" : text);
      return;
    }
    case form::kVisible:
      s.visible = value != 0;
      if (native != nullptr) native->set_visible(s.visible);
      return;
    case form::kDisabled:
      s.disabled = value != 0;
      if (native != nullptr) native->set_enabled(!s.disabled);
      return;
    case form::kMousePointer: {
      const RawValue raw = byte_data_raw(reinterpret_cast<const void*>(low));
      unit.mouse_pointer_data.assign(static_cast<const char*>(raw.data == nullptr ? "" : raw.data),
                                     raw.length);
      if (native != nullptr) native->set_mouse_pointer(static_cast<int32_t>(raw.length));
      return;
    }
    default: return;
  }
  if (native != nullptr) native->set_bounds(platform::Rect{s.left, s.top, s.width, s.height});
}

// Re-creating a control runs no routine: pending messages are handled
// before and after with events suppressed.
void recreate_in_place(platform::NativeUnit& native) {
  platform::current().process_pending_messages();
  shell::raise_suppression();
  native.recreate();
  platform::current().process_pending_messages();
  shell::lower_suppression();
}

}  // namespace

ValueSlot read_property(uint32_t window_number, uint32_t control_number, int32_t index,
                        int32_t member) {
  if (index < form::kFirstOwnProperty) {
    return read_common(shell::unit_record(window_number, control_number), index);
  }
  shell::LoadedUnit& unit = shell::live_unit(window_number, control_number);
  const int32_t n = index - form::kFirstOwnProperty;
  const form::PropertyDecl& decl = own_property(unit, n, control_number);
  const RawValue raw = unit.native->get_own(n);
  switch (decl.kind) {
    case ValueKind::Integer:
    case ValueKind::NonNegativeInteger: return {number_slot(raw.number), 0};
    case ValueKind::Logical: return {raw.number == 1 ? 1u : 0u, 0};
    case ValueKind::Number64:
      return {number_slot(raw.number), static_cast<uint32_t>(raw.number_high)};
    case ValueKind::Text:
      return {pointer_slot(copy_to_new_text(static_cast<const char*>(raw.data), raw.length)), 0};
    case ValueKind::ByteData: return {pointer_slot(new_byte_data(raw.data, raw.length)), 0};
    case ValueKind::Font: return read_font(raw, member);
  }
  return {};
}

void write_property(uint32_t window_number, uint32_t control_number, int32_t index, int32_t member,
                    uintptr_t low, uint32_t high) {
  if (index < form::kFirstOwnProperty) {
    write_common(shell::unit_record(window_number, control_number), index, low);
    return;
  }
  shell::LoadedUnit& unit = shell::live_unit(window_number, control_number);
  const int32_t n = index - form::kFirstOwnProperty;
  const form::PropertyDecl& decl = own_property(unit, n, control_number);
  if (decl.read_only) return;
  platform::NativeUnit& native = *unit.native;
  bool needs_recreate = false;
  switch (decl.kind) {
    case ValueKind::Integer:
      needs_recreate = native.set_own(n, RawValue{static_cast<int32_t>(low)});
      break;
    case ValueKind::NonNegativeInteger: {
      const auto value = static_cast<int32_t>(low);
      needs_recreate = native.set_own(n, RawValue{value < 0 ? 0 : value});
      break;
    }
    case ValueKind::Logical: needs_recreate = native.set_own(n, RawValue{low != 0 ? 1 : 0}); break;
    case ValueKind::Number64:
      needs_recreate =
          native.set_own(n, RawValue{static_cast<int32_t>(low), static_cast<int32_t>(high)});
      break;
    case ValueKind::Text: {
      // A null text is the empty text.
      const char* text = reinterpret_cast<const char*>(low);
      if (text == nullptr) text = "";
      needs_recreate = native.set_own(n, RawValue{0, 0, text, text_length(text)});
      break;
    }
    case ValueKind::ByteData:
      needs_recreate = native.set_own(n, byte_data_raw(reinterpret_cast<const void*>(low)));
      break;
    case ValueKind::Font: needs_recreate = write_font(native, n, member, low); break;
  }
  if (needs_recreate) recreate_in_place(native);
}

}  // namespace filmbar::access
