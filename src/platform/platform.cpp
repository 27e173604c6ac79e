// The installed backend: set once by the program's start step (or a test).
#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>

namespace filmbar::platform {
namespace {
Platform* g_backend = nullptr;
}

Platform& current() {
  if (g_backend == nullptr) {
    std::fputs("filmbar: no platform backend installed\n", stderr);
    std::abort();
  }
  return *g_backend;
}

void install(Platform* backend) {
  g_backend = backend;
}

bool installed() {
  return g_backend != nullptr;
}

}  // namespace filmbar::platform
