// Fatal stops end the real process: each case runs in a child process.
#include "access/property.h"
#include "program_fixture.h"

namespace filmbar::testing {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;

headless::HeadlessPlatform* g_backend = nullptr;

void spy_cleanup() {
  g_backend->note("cleanup ran");
}

class FatalStopTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    g_backend = &backend;
    variant.program.cleanup = spy_cleanup;
    GTEST_FLAG_SET(death_test_style, "threadsafe");
  }

  // While the box is up the user clicks Play and presses Esc; neither may do
  // anything. Then the box is closed.
  void user_pokes_the_window_during_the_box() {
    backend.paste("http://films.example/");
    backend.click(form::kPlayButton);
    backend.key(core::kKeyEscape);
    backend.dismiss_box();
  }

  ProgramVariant variant;
};

auto stopped_with(const std::string& message) {
  return AllOf(HasSubstr("error_box A run-time error has occurred.\n" + message),
               HasSubstr("error_box_closed"), HasSubstr("exit -1"), Not(HasSubstr("cleanup ran")),
               Not(HasSubstr("navigate")), Not(HasSubstr("destroy_window")));
}

TEST_F(FatalStopTest, AnUnreadableFormStopsWithMinusOne) {
  variant.program.form = nullptr;
  user_pokes_the_window_during_the_box();
  EXPECT_EXIT(shell::run_framework(variant.program), ::testing::ExitedWithCode(255),
              stopped_with("Loading the window form data failed."));
}

TEST_F(FatalStopTest, ABindingToAMissingRoutineMakesTheFormUnreadable) {
  variant.unit(form::kPlayButton).bindings.push_back({form::kClicked, 99});
  user_pokes_the_window_during_the_box();
  EXPECT_EXIT(shell::run_framework(variant.program), ::testing::ExitedWithCode(255),
              stopped_with("Loading the window form data failed."));
}

TEST_F(FatalStopTest, AMissingWindowNumberStopsTheLoad) {
  variant.form.windows[0].window.number = 0x52010002;
  user_pokes_the_window_during_the_box();
  EXPECT_EXIT(shell::run_framework(variant.program), ::testing::ExitedWithCode(255),
              stopped_with("Loading the start-up window failed."));
}

TEST_F(FatalStopTest, ABrowserControlThatCannotBeCreatedStopsTheLoad) {
  backend.refuse_browser = true;
  user_pokes_the_window_during_the_box();
  EXPECT_EXIT(shell::run_framework(variant.program), ::testing::ExitedWithCode(255),
              AllOf(stopped_with("Loading the start-up window failed."),
                    HasSubstr("browser_control_refused"), Not(HasSubstr("show_window"))));
}

TEST_F(FatalStopTest, AWindowThatCannotBeCreatedStopsTheLoad) {
  backend.refuse_window = true;
  backend.dismiss_box();
  EXPECT_EXIT(shell::run_framework(variant.program), ::testing::ExitedWithCode(255),
              stopped_with("Loading the start-up window failed."));
}

TEST_F(FatalStopTest, HeapExhaustionNamesTheBytesAskedFor) {
  // Typing works; the block for the joined address is the one that fails.
  const std::string typed = "http://films.example/watch?id=42";
  backend.paste(typed);
  backend.key(core::kKeyTab);
  backend.run([&] {
    backend.fail_allocation_number =
        backend.allocations() + 2;  // the copy of the text, then the join
  });
  backend.key(core::kKeySpace);
  user_pokes_the_window_during_the_box();
  const std::string bytes = std::to_string(kFirstBase.size() + typed.size() + 1);
  EXPECT_EXIT(
      shell::run_framework(variant.program), ::testing::ExitedWithCode(255),
      AllOf(HasSubstr("alloc_failed " + bytes),
            HasSubstr("error_box A run-time error has occurred.\nOut of memory: the "
                      "program heap could not supply a block of " +
                      bytes + " bytes."),
            Not(HasSubstr("cleanup ran")), Not(HasSubstr("navigate")), HasSubstr("exit -1")));
}

TEST_F(FatalStopTest, AMissingControlStopsPropertyAccess) {
  backend.run([] { access::read_property(form::kMainWindow, 0x16010099, 8, access::kWholeValue); });
  backend.dismiss_box();
  EXPECT_EXIT(shell::run_framework(variant.program), ::testing::ExitedWithCode(255),
              AllOf(HasSubstr("Control 0x16010099 is not part of window 0x52010001."),
                    Not(HasSubstr("cleanup ran"))));
}

TEST_F(FatalStopTest, AnUnloadedWindowStopsPropertyAccessAndDispatch) {
  backend.run([] { access::read_property(0x52010009, form::kAddressBox, 8, access::kWholeValue); });
  backend.dismiss_box();
  EXPECT_EXIT(shell::run_framework(variant.program), ::testing::ExitedWithCode(255),
              HasSubstr("Window 0x52010009 is not loaded."));

  backend.script().clear();
  backend.run([] { core::raise_event(form::kMainWindow, 0x16010099, 0); });
  backend.dismiss_box();
  EXPECT_EXIT(shell::run_framework(variant.program), ::testing::ExitedWithCode(255),
              HasSubstr("not part of window 0x52010001"));
}

}  // namespace
}  // namespace filmbar::testing
