// The program's string constants, in one array so that free_block can tell a
// constant from a heap block. The hosts are fixed when the program is built.
#include "routines/routines.h"

#ifndef PLAYER_SERVICE1_HOST
#error "PLAYER_SERVICE1_HOST must name the first player service's host"
#endif
#ifndef PLAYER_SERVICE2_HOST
#error "PLAYER_SERVICE2_HOST must name the second player service's host"
#endif

namespace filmbar::routines {
namespace {

#define FILMBAR_FIRST_BASE "https://" PLAYER_SERVICE1_HOST "/webcloud/?v="
#define FILMBAR_SECOND_BASE "http://" PLAYER_SERVICE2_HOST "/video.php?url="

constexpr char kConstants[] = FILMBAR_FIRST_BASE "\0" FILMBAR_SECOND_BASE "\0";
constexpr size_t kSecondOffset = sizeof(FILMBAR_FIRST_BASE);
constexpr size_t kEmptyOffset = sizeof(kConstants) - 1;  // the final terminator

}  // namespace

const char* first_service_base() {
  return kConstants;
}
const char* second_service_base() {
  return kConstants + kSecondOffset;
}
const char* empty_text() {
  return kConstants + kEmptyOffset;
}
const char* constant_area_begin() {
  return kConstants;
}
const char* constant_area_end() {
  return kConstants + sizeof(kConstants);
}

}  // namespace filmbar::routines
