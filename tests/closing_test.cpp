#include "access/property.h"
#include "program_fixture.h"

namespace filmbar::testing {
namespace {

headless::HeadlessPlatform* g_backend = nullptr;
int g_cleanup_runs = 0;
bool g_cleanup_saw_window = false;
bool g_cleanup_saw_suppression = false;
int g_routine_runs_during_cleanup = 0;

void spy_cleanup() {
  ++g_cleanup_runs;
  g_cleanup_saw_window = shell::find_window(form::kMainWindow) != nullptr;
  g_cleanup_saw_suppression = shell::suppression_level() > 0;
  // An event raised now must run nothing.
  core::EventRecord record;
  record.window_number = form::kMainWindow;
  record.event_number = form::window_event::Created;
  if (core::dispatch_event(record)) ++g_routine_runs_during_cleanup;
  g_backend->note("cleanup");
}

shell::RoutineResult refuse(int32_t, const int32_t*) {
  return shell::RoutineResult::of(0);
}
shell::RoutineResult allow(int32_t, const int32_t*) {
  return shell::RoutineResult::of(1);
}

class ClosingTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    g_backend = &backend;
    g_cleanup_runs = 0;
    g_cleanup_saw_window = true;
    g_cleanup_saw_suppression = false;
    g_routine_runs_during_cleanup = 0;
    variant.program.cleanup = spy_cleanup;
  }
  ProgramVariant variant;
};

struct CloseCase {
  const char* what;
  int32_t key_code;  // 0: the close button
  int32_t key_state;
};
std::ostream& operator<<(std::ostream& out, const CloseCase& c) {
  return out << c.what;
}

class CloseWaysTest : public ClosingTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(CloseWaysTest, EndsWithZeroAndRunsCleanupOnceAfterTheWindowIsGone) {
  const CloseCase& c = GetParam();
  if (c.key_code == 0) {
    backend.close_request();
  } else {
    backend.key(c.key_code, c.key_state);
  }
  EXPECT_EQ(shell::run_framework(variant.program), 0);
  EXPECT_EQ(backend.find("script_ended"), -1) << "the window did not close";
  EXPECT_EQ(g_cleanup_runs, 1);
  EXPECT_FALSE(g_cleanup_saw_window);
  EXPECT_TRUE(g_cleanup_saw_suppression);
  EXPECT_EQ(g_routine_runs_during_cleanup, 0);
  const int gone = at("destroy_window");
  EXPECT_LT(gone, at("post_quit 0"));
  EXPECT_LT(at("quit 0"), at("cleanup"));
  EXPECT_LT(at("cleanup"), at("libraries_ending"));
  EXPECT_LT(at("libraries_ending"), at("ole_uninitialize"));
}

INSTANTIATE_TEST_SUITE_P(Closing, CloseWaysTest,
                         ::testing::Values(CloseCase{"close button", 0, 0},
                                           CloseCase{"Alt+F4", core::kKeyF4, core::kAlt},
                                           CloseCase{"Esc", core::kKeyEscape, 0}));

TEST_F(ClosingTest, EscWithAModifierDoesNotClose) {
  for (int32_t state : {core::kCtrl, core::kShift, core::kAlt})
    backend.key(core::kKeyEscape, state);
  backend.run([&] { backend.note(backend.window_exists() ? "still open" : "closed"); });
  backend.close_request();
  shell::run_framework(variant.program);
  EXPECT_LT(at("still open"), at("destroy_window"));
}

TEST_F(ClosingTest, EscClosesWhereverTheFocusIs) {
  for (int tabs = 0; tabs < 4; ++tabs) {
    SCOPED_TRACE(tabs);
    TearDown();
    SetUp();
    for (int i = 0; i < tabs; ++i) backend.key(core::kKeyTab);
    backend.key(core::kKeyEscape);
    EXPECT_EQ(shell::run_framework(variant.program), 0);
    EXPECT_EQ(backend.find("script_ended"), -1);
  }
}

TEST_F(ClosingTest, ACloseQueryReturningZeroRefusesTheClose) {
  variant.bind(form::kMainWindow, form::window_event::FirstCloseQuery, refuse);
  backend.close_request();
  backend.run([&] { backend.note(backend.window_exists() ? "still open" : "closed"); });
  shell::run_framework(variant.program);
  EXPECT_GE(at("still open"), 0);

  TearDown();
  SetUp();
  variant.bind(form::kMainWindow, form::window_event::FirstCloseQuery, allow);
  variant.bind(form::kMainWindow, form::window_event::SecondCloseQuery, refuse);
  backend.close_request();
  backend.run([&] { backend.note(backend.window_exists() ? "still open" : "closed"); });
  shell::run_framework(variant.program);
  EXPECT_GE(at("still open"), 0);
}

TEST_F(ClosingTest, RegisteringARoutineTwiceRunsItOnceAndShutDownIsSafeTwice) {
  variant.program.setup = [] { shell::register_exit_routine(spy_cleanup); };
  backend.close_request();
  shell::run_framework(variant.program);
  EXPECT_EQ(g_cleanup_runs, 1);
  shell::shut_down(0);
  EXPECT_EQ(g_cleanup_runs, 1);
  EXPECT_EQ(std::count(backend.log().begin(), backend.log().end(), "ole_uninitialize"), 1);
  EXPECT_EQ(shell::exit_routine_count(), 0u);
}

TEST_F(ClosingTest, TimerTicksRunNothingAndTheClockKeepsItsText) {
  std::string before, after;
  auto read_clock = [](std::string& into) {
    const platform::RawValue raw = shell::live_unit(form::kMainWindow, form::kClockLabel)
                                       .native->get_own(form::label_prop::Title);
    into.assign(static_cast<const char*>(raw.data), raw.length);
  };
  backend.run([&] { read_clock(before); });
  backend.run([&] { backend.clock = {2020, 1, 1, 1, 1, 1}; });
  backend.tick(5);
  backend.run([&] { read_clock(after); });
  backend.close_request();
  shell::run_framework(variant.program);
  EXPECT_EQ(before, after);
  EXPECT_EQ(std::count_if(backend.log().begin(), backend.log().end(),
                          [](const std::string& e) { return e.rfind("label_title", 0) == 0; }),
            1);
}

TEST_F(ClosingTest, TheTimerPeriodRules) {
  constexpr int32_t kPeriod = 8 + form::timer_prop::Period;
  backend.run([] {
    access::write_integer_property(form::kMainWindow, form::kTimer, kPeriod,
                                   1000);  // same: nothing
    access::write_integer_property(form::kMainWindow, form::kTimer, kPeriod, 250);
    access::write_integer_property(form::kMainWindow, form::kTimer, kPeriod, -5);  // counts as 0
  });
  backend.close_request();
  shell::run_framework(variant.program);
  std::vector<std::string> timer;
  for (const std::string& e : backend.log()) {
    if (e.rfind("timer_", 0) == 0) timer.push_back(e);
  }
  EXPECT_THAT(timer, ::testing::ElementsAre("timer_start 1000 1000", "timer_stop 1000",
                                            "timer_start 1000 250", "timer_stop 1000"));
}

}  // namespace
}  // namespace filmbar::testing
