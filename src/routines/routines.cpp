// Play, window created and address box: each routine frees every block it
// obtained before it returns, and reaches the controls only by number.
#include "routines/routines.h"

#include "access/date_time.h"
#include "access/heap.h"
#include "access/property.h"
#include "access/text.h"

namespace filmbar::routines {
namespace {

using access::kWholeValue;
using form::kMainWindow;

constexpr int32_t kSelectionIndex = form::kFirstOwnProperty + form::combo_prop::CurrentSelection;
constexpr int32_t kAddressBoxContent = form::kFirstOwnProperty + form::edit_prop::Content;
constexpr int32_t kBrowserAddress = form::kFirstOwnProperty + form::browser_prop::Address;
constexpr int32_t kClockTitle = form::kFirstOwnProperty + form::label_prop::Title;
constexpr int32_t kTimerPeriod = form::kFirstOwnProperty + form::timer_prop::Period;

int32_t chosen_service() {
  return access::read_property(kMainWindow, form::kServiceChooser, kSelectionIndex, kWholeValue)
      .integer();
}

// Reads the typed text, puts it behind `base` and has the browser area load
// the result.
void load_with_service(const char* base) {
  char* typed = const_cast<char*>(
      access::read_property(kMainWindow, form::kAddressBox, kAddressBoxContent, kWholeValue)
          .text());
  char* address = access::join_texts(2, base, typed);
  if (typed != nullptr) access::free_block(typed);
  access::write_text_property(kMainWindow, form::kBrowserArea, kBrowserAddress, address);
  if (address != nullptr) access::free_block(address);
}

}  // namespace

void play_clicked() {
  // The selection is read once before each branch.
  if (chosen_service() == 0) load_with_service(first_service_base());
  if (chosen_service() == 1) load_with_service(second_service_base());
}

void window_created() {
  char* opened = access::date_time_to_text(access::current_date_time());
  access::write_text_property(kMainWindow, form::kClockLabel, kClockTitle, opened);
  if (opened != nullptr) access::free_block(opened);
  access::write_integer_property(kMainWindow, form::kTimer, kTimerPeriod, 1000);
}

void address_box_mouse_moved(int32_t /*x*/, int32_t /*y*/, int32_t /*key_state*/) {
  access::write_text_property(kMainWindow, form::kAddressBox, kAddressBoxContent, empty_text());
}

shell::RoutineResult play_clicked_event(int32_t, const int32_t*) {
  play_clicked();
  return shell::RoutineResult::nothing();
}

shell::RoutineResult window_created_event(int32_t, const int32_t*) {
  window_created();
  return shell::RoutineResult::nothing();
}

shell::RoutineResult address_box_mouse_moved_event(int32_t count, const int32_t* arguments) {
  const auto argument = [&](int32_t i) { return i < count ? arguments[i] : 0; };
  address_box_mouse_moved(argument(0), argument(1), argument(2));
  return shell::RoutineResult::nothing();
}

}  // namespace filmbar::routines
