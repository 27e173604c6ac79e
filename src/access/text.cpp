// Measuring, copying and joining text values.
#include "access/text.h"

#include <array>
#include <cstdarg>
#include <cstring>
#include <vector>

#include "access/heap.h"

namespace filmbar::access {

uint32_t text_length(const char* text) {
  return text == nullptr ? 0 : static_cast<uint32_t>(std::strlen(text));
}

char* copy_to_new_text(const char* bytes, uint32_t length) {
  if (bytes == nullptr || length == 0) return nullptr;
  char* block = static_cast<char*>(alloc_block(length + 1));
  std::memcpy(block, bytes, length);
  block[length] = '\0';
  return block;
}

char* join_texts(int32_t count, ...) {
  if (count < 1) {
    // No parts to read: the empty text, still a block of its own.
    char* empty = static_cast<char*>(alloc_block(1));
    *empty = '\0';
    return empty;
  }
  // Each part is measured once. The lengths stay in automatic storage; only
  // an unusually long list of parts spills to the C++ heap.
  constexpr int32_t kInlineParts = 32;
  std::array<uint32_t, kInlineParts> inline_lengths;
  std::vector<uint32_t> spilled_lengths;
  uint32_t* lengths = inline_lengths.data();
  if (count > kInlineParts) {
    spilled_lengths.resize(static_cast<size_t>(count));
    lengths = spilled_lengths.data();
  }
  uint32_t total = 0;
  va_list parts;
  va_start(parts, count);
  for (int32_t i = 0; i < count; ++i) {
    lengths[i] = text_length(va_arg(parts, const char*));
    total += lengths[i];
  }
  va_end(parts);

  char* block = static_cast<char*>(alloc_block(total + 1));
  char* out = block;
  va_start(parts, count);
  for (int32_t i = 0; i < count; ++i) {
    const char* part = va_arg(parts, const char*);
    if (lengths[i] == 0) continue;  // an empty or null part is not read
    std::memcpy(out, part, lengths[i]);
    out += lengths[i];
  }
  va_end(parts);
  *out = '\0';
  return block;
}

}  // namespace filmbar::access
