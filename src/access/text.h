// Text values: code page 936 bytes ended by a zero byte, or null (the empty
// text). Every operation that returns a text returns a new block that the
// caller owns and frees once with free_block.
#pragma once

#include <cstdint>

namespace filmbar::access {

// Bytes before the terminator; 0 for null.
uint32_t text_length(const char* text);

// Joins `count` texts (each may be null) into one new block of exactly the
// size needed, first argument first. Never returns null.
char* join_texts(int32_t count, ...);

// A new block holding a copy of `length` bytes and a terminator; null when
// `length` is 0.
char* copy_to_new_text(const char* bytes, uint32_t length);

}  // namespace filmbar::access
