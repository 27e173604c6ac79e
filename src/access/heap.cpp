// The program heap sits on the backend's heap; the constant area is the one
// array of string constants that the routines use.
#include "access/heap.h"

#include <string>

#include "platform/platform.h"
#include "shell/shell.h"

namespace filmbar::access {
namespace {
const char* g_constant_begin = nullptr;
const char* g_constant_end = nullptr;
}  // namespace

void* alloc_block(uint32_t size) {
  // A zero-byte request still gets a distinct block, so that every pointer
  // handed out can be freed like any other.
  void* block = platform::current().heap_alloc(size == 0 ? 1 : size);
  if (block == nullptr) {
    shell::fatal_stop("Out of memory: the program heap could not supply a block of " +
                      std::to_string(size) + " bytes.");
  }
  return block;
}

void free_block(const void* block) {
  if (block == nullptr || in_constant_area(block)) return;
  platform::current().heap_free(const_cast<void*>(block));
}

void set_constant_area(const char* begin, const char* end) {
  g_constant_begin = begin;
  g_constant_end = end;
}

bool in_constant_area(const void* pointer) {
  const char* p = static_cast<const char*>(pointer);
  return g_constant_begin != nullptr && p >= g_constant_begin && p < g_constant_end;
}

}  // namespace filmbar::access
