// The three event routines that give the window its behaviour, and the
// program's string constants.
#pragma once

#include <cstdint>

#include "shell/shell.h"

namespace filmbar::routines {

// Play: loads the chosen service's base address followed by the typed text.
void play_clicked();
// Window created: shows the time of opening and starts the timer.
void window_created();
// Mouse moved over the address box: empties it.
void address_box_mouse_moved(int32_t x, int32_t y, int32_t key_state);

// The same routines in the form the routine table holds.
shell::RoutineResult play_clicked_event(int32_t count, const int32_t* arguments);
shell::RoutineResult window_created_event(int32_t count, const int32_t* arguments);
shell::RoutineResult address_box_mouse_moved_event(int32_t count, const int32_t* arguments);

// The constant area: the two base addresses and the empty text, back to back.
const char* first_service_base();
const char* second_service_base();
const char* empty_text();
const char* constant_area_begin();
const char* constant_area_end();

}  // namespace filmbar::routines
