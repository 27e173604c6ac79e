// The program itself as the framework runs it: its form, its routine table
// and its two empty global routines.
#include "routines/routines.h"
#include "shell/shell.h"

namespace filmbar::shell {

const Program& the_program() {
  static const Program program = {
      &form::main_form(),
      {routines::window_created_event, routines::play_clicked_event,
       routines::address_box_mouse_moved_event},
      program_setup,
      program_cleanup,
      routines::constant_area_begin(),
      routines::constant_area_end(),
  };
  return program;
}

}  // namespace filmbar::shell
