// The program heap and the constant area of the program's string constants.
#pragma once

#include <cstdint>

namespace filmbar::access {

// A new block of `size` bytes (not zeroed). Never returns null: when the
// heap cannot supply the block the program makes a fatal stop that names the
// number of bytes asked for.
void* alloc_block(uint32_t size);

// Frees a block from alloc_block. Null and pointers into the constant area
// do nothing.
void free_block(const void* block);

// The constant area: the read-only string constants (the two service base
// addresses and the empty text), recorded at start-up.
void set_constant_area(const char* begin, const char* end);
bool in_constant_area(const void* pointer);

}  // namespace filmbar::access
