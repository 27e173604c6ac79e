#include "access/heap.h"
#include "access/property.h"
#include "access/text.h"
#include "program_fixture.h"

namespace filmbar::testing {
namespace {

using ::testing::ElementsAre;

int g_content_changes = 0;
std::vector<std::vector<int32_t>> g_arguments;

shell::RoutineResult count_content_change(int32_t, const int32_t*) {
  ++g_content_changes;
  return shell::RoutineResult::nothing();
}
shell::RoutineResult record_arguments(int32_t count, const int32_t* arguments) {
  g_arguments.emplace_back(arguments, arguments + count);
  return shell::RoutineResult::nothing();
}
shell::RoutineResult swallow(int32_t, const int32_t*) {
  return shell::RoutineResult::of(0);
}
shell::RoutineResult upper_case(int32_t, const int32_t* arguments) {
  return shell::RoutineResult::of(arguments[0] >= 'a' && arguments[0] <= 'z' ? arguments[0] - 32
                                                                             : arguments[0]);
}

class InputTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    g_content_changes = 0;
    g_arguments.clear();
  }
  std::string box_text() {
    const char* text = access::read_property(form::kMainWindow, form::kAddressBox,
                                             8 + form::edit_prop::Content, access::kWholeValue)
                           .text();
    std::string copy = text == nullptr ? "" : text;
    access::free_block(text);
    return copy;
  }
};

TEST_F(InputTest, APointerMoveOverTheAddressBoxEmptiesItOnce) {
  ProgramVariant variant;
  variant.bind(form::kAddressBox, form::kContentChanged, count_content_change);
  std::vector<std::string> seen;
  int changes_before_move = -1;
  backend.paste("http://films.example/a");
  backend.move(form::kPlayButton);
  backend.move(form::kBrowserArea);
  backend.move(form::kCaptionLabel);
  backend.move(0);  // the window's black background
  backend.run([&] {
    seen.push_back(box_text());
    changes_before_move = g_content_changes;
  });
  backend.move(form::kAddressBox, 10, 5);
  backend.run([&] { seen.push_back(box_text()); });
  backend.type("typed");
  backend.move(form::kAddressBox, 11, 5, /*left button held*/ 0);
  backend.run([&] { seen.push_back(box_text()); });
  backend.close_request();
  run(variant.program);
  EXPECT_THAT(seen, ElementsAre("http://films.example/a", "", ""));
  EXPECT_EQ(changes_before_move, 1);  // the paste
  // paste, move, five typed characters, move
  EXPECT_EQ(g_content_changes, 8);
  EXPECT_EQ(backend.live_blocks(), 0);
}

TEST_F(InputTest, MouseAndKeyEventsCarryTheirArguments) {
  ProgramVariant variant;
  variant.bind(form::kPlayButton, form::kMouseMoved, record_arguments);
  variant.bind(form::kPlayButton, form::kWheel, record_arguments);
  variant.bind(form::kAddressBox, form::kKeyDown, record_arguments);
  backend.move(form::kPlayButton, -1, 70000, core::kCtrl | core::kShift);
  backend.key(0x41, core::kAlt);
  backend.close_request();
  run(variant.program);
  ASSERT_EQ(g_arguments.size(), 2u);
  EXPECT_THAT(g_arguments[0], ElementsAre(65535, 70000 & 0xFFFF, 3));
  EXPECT_THAT(g_arguments[1], ElementsAre(0x41, 4));
}

TEST_F(InputTest, WheelNotchesTruncateTowardZero) {
  ProgramVariant variant;
  variant.bind(form::kAddressBox, form::kWheel, record_arguments);
  variant.program.setup = [] {};
  for (int32_t delta : {240, -130, 119}) {
    core::InputRecord input;
    input.window_number = form::kMainWindow;
    input.control_number = form::kAddressBox;
    input.kind = core::InputKind::Wheel;
    input.wheel_delta = delta;
    backend.run([input] { core::pre_translate(input); });
  }
  backend.close_request();
  run(variant.program);
  ASSERT_EQ(g_arguments.size(), 3u);
  EXPECT_EQ(g_arguments[0][0], 2);
  EXPECT_EQ(g_arguments[1][0], -1);
  EXPECT_EQ(g_arguments[2][0], 0);
}

TEST_F(InputTest, ARoutineReturningZeroConsumesAndAnotherValueReplacesTheCharacter) {
  ProgramVariant swallowing;
  swallowing.bind(form::kAddressBox, form::kCharacter, swallow);
  std::string text;
  backend.type("abc");
  backend.run([&] { text = box_text(); });
  backend.close_request();
  run(swallowing.program);
  EXPECT_EQ(text, "");

  TearDown();
  SetUp();
  ProgramVariant replacing;
  replacing.bind(form::kAddressBox, form::kCharacter, upper_case);
  backend.type("ab1");
  backend.run([&] { text = box_text(); });
  backend.close_request();
  run(replacing.program);
  EXPECT_EQ(text, "AB1");
}

TEST_F(InputTest, ARoutineReturningZeroOnKeyDownKeepsEscFromTheControlButNotFromTheWindow) {
  // The window's keyboard rules come before the control's events.
  ProgramVariant variant;
  variant.bind(form::kAddressBox, form::kKeyDown, swallow);
  backend.key(core::kKeyEscape);
  EXPECT_EQ(run(variant.program), 0);
  EXPECT_GE(at("destroy_window"), 0);
  EXPECT_EQ(backend.find("script_ended"), -1);
}

TEST_F(InputTest, TabAndShiftTabCycleThroughTheFocusableControls) {
  std::vector<uint32_t> order;
  auto note_focus = [&] { order.push_back(backend.focused_control()); };
  backend.run(note_focus);
  for (int i = 0; i < 4; ++i) {
    backend.key(core::kKeyTab);
    backend.run(note_focus);
  }
  backend.key(core::kKeyTab, core::kShift);
  backend.run(note_focus);
  backend.key(core::kKeyTab, core::kCtrl);  // not a focus key
  backend.run(note_focus);
  backend.close_request();
  run();
  EXPECT_THAT(order, ElementsAre(form::kAddressBox, form::kPlayButton, form::kBrowserArea,
                                 form::kServiceChooser, form::kAddressBox, form::kServiceChooser,
                                 form::kServiceChooser));
}

TEST_F(InputTest, EnterDoesNotPressPlayAndF1DoesNothing) {
  backend.paste("x");
  backend.key(core::kKeyTab);
  backend.key(core::kKeyEnter);
  backend.key(core::kKeyF1);
  backend.close_request();
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(backend.find("clicked"), -1);
  EXPECT_TRUE(backend.navigations().empty());
}

TEST_F(InputTest, ADisabledTargetRaisesNothing) {
  ProgramVariant variant;
  variant.unit(form::kPlayButton).disabled = true;
  variant.bind(form::kPlayButton, form::kMouseMoved, record_arguments);
  backend.move(form::kPlayButton);
  backend.click(form::kPlayButton);
  backend.close_request();
  run(variant.program);
  EXPECT_TRUE(g_arguments.empty());
  EXPECT_EQ(backend.find("clicked"), -1);
  EXPECT_GE(at("create_control 0x16010005 Button hidden disabled"), 0);
}

}  // namespace
}  // namespace filmbar::testing
