#include "access/property.h"
#include "program_fixture.h"

namespace filmbar::testing {
namespace {

using ::testing::ElementsAre;

std::string hex(uint32_t n) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", n);
  return text;
}

headless::HeadlessPlatform* g_backend = nullptr;

shell::RoutineResult note_event(const char* what) {
  g_backend->note(std::string("event ") + what +
                  (g_backend->window_visible() ? " visible" : " invisible"));
  return shell::RoutineResult::nothing();
}

class StartupTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    g_backend = &backend;
  }
};

TEST_F(StartupTest, BuildsHiddenControlsInReverseFormOrderAndStacksThemInFormOrder) {
  backend.close_request();
  EXPECT_EQ(run(), 0);

  const uint32_t form_order[] = {form::kTimer,       form::kClockLabel, form::kServiceChooser,
                                 form::kBrowserArea, form::kPlayButton, form::kCaptionLabel,
                                 form::kAddressBox};
  int previous = at("create_window 549,263 822x554 hidden");
  for (int i = 6; i >= 0; --i) {
    const int created = at("create_control " + hex(form_order[i]));
    EXPECT_GT(created, previous) << hex(form_order[i]) << " out of order";
    EXPECT_NE(backend.log()[static_cast<size_t>(created)].find(" hidden"), std::string::npos);
    previous = created;
  }
  std::string stacking = "stack";
  for (uint32_t number : form_order) stacking += " " + hex(number);
  EXPECT_GT(at(stacking), previous);

  // Tab stops as the form gives them; the timer is never shown.
  EXPECT_GE(at("create_control " + hex(form::kAddressBox) + " EditBox hidden tabstop"), 0);
  EXPECT_GE(at("create_control " + hex(form::kCaptionLabel) + " TransLabel hidden"), 0);
  EXPECT_EQ(backend.find("show_control " + hex(form::kTimer)), -1);
  EXPECT_GE(at("hide_control " + hex(form::kTimer)), 0);
  EXPECT_LT(at("show_control " + hex(form::kAddressBox)), at("show_window 1"));
  EXPECT_GE(at("browser offline=0 silent=1 zoom=2"), 0);
}

TEST_F(StartupTest, RaisesCreatedMovedResizedWhileInvisibleThenShowsWithTheClockInPlace) {
  ProgramVariant variant;
  // The program's own created routine stays bound after the spy.
  variant.bind(form::kMainWindow, form::window_event::Moved,
               [](int32_t, const int32_t*) { return note_event("moved"); });
  variant.bind(form::kMainWindow, form::window_event::Resized,
               [](int32_t, const int32_t*) { return note_event("resized"); });
  variant.bind(form::kMainWindow, form::window_event::Shown,
               [](int32_t, const int32_t*) { return note_event("shown"); });
  backend.clock = {2017, 3, 16, 11, 34, 53};
  backend.close_request();
  EXPECT_EQ(run(variant.program), 0);

  const int clock_written = at("label_title " + hex(form::kClockLabel) +
                               " \"2017\xC4\xEA"
                               "3\xD4\xC2"
                               "16\xC8\xD5"
                               "11\xCA\xB1"
                               "34\xB7\xD6"
                               "53\xC3\xEB\"");
  const int timer_started = at("timer_start 1000 1000");
  const int moved = at("event moved invisible");
  const int resized = at("event resized invisible");
  const int shown = at("show_window 1");
  EXPECT_LT(clock_written, timer_started);
  EXPECT_LT(timer_started, moved);
  EXPECT_LT(moved, resized);
  EXPECT_LT(resized, shown);
  EXPECT_GT(at("event shown visible"), shown);
}

TEST_F(StartupTest, PreparesTheRunTimeBeforeBuildingAnything) {
  backend.program_path = "D:\\films\\bin\\filmbar.exe";
  backend.close_request();
  run();
  const int ole = at("ole_initialize");
  const int folder = at("set_current_directory D:\\films\\bin");
  EXPECT_LT(ole, folder);
  EXPECT_LT(folder, at("libraries_connected"));
  EXPECT_LT(at("libraries_connected"), at("create_window"));
  EXPECT_EQ(shell::program_folder(), "D:\\films\\bin");
}

TEST_F(StartupTest, WindowOpensCentredWithTheFocusInTheAddressBox) {
  struct Seen {
    int32_t left, top, width, height;
    uint32_t focused;
    std::string clock;
    int32_t selection;
  } seen{};
  backend.clock = {2017, 3, 16, 9, 5, 0};
  backend.screen = {1280, 800};
  backend.run([&] {
    auto read = [](uint32_t control, int32_t index) {
      return access::read_property(form::kMainWindow, control, index, access::kWholeValue);
    };
    seen.left = read(form::kMainWindow, form::kLeft).integer();
    seen.top = read(form::kMainWindow, form::kTop).integer();
    seen.width = read(form::kMainWindow, form::kWidth).integer();
    seen.height = read(form::kMainWindow, form::kHeight).integer();
    seen.focused = backend.focused_control();
    seen.selection = read(form::kServiceChooser, 8 + form::combo_prop::CurrentSelection).integer();
  });
  backend.close_request();
  run();
  EXPECT_EQ(seen.left, (1280 - 822) / 2);
  EXPECT_EQ(seen.top, (800 - 554) / 2);
  EXPECT_EQ(seen.width, 822);
  EXPECT_EQ(seen.height, 554);
  EXPECT_EQ(seen.focused, form::kAddressBox);
  EXPECT_EQ(seen.selection, 0);
  EXPECT_GE(at("label_title " + hex(form::kClockLabel) +
               " \"2017\xC4\xEA"
               "3\xD4\xC2"
               "16\xC8\xD5"
               "9\xCA\xB1"
               "5\xB7\xD6\""),
            0);
}

TEST_F(StartupTest, FormDeclaresTheUnitsSettingsAndBindings) {
  const form::WindowDecl& window = form::main_form().windows.at(0);
  form::UnitSettings s;
  ASSERT_TRUE(form::resolve_settings(window.window, s));
  EXPECT_EQ(s.own[form::window_prop::BackColor].number, 0);
  EXPECT_EQ(s.own[form::window_prop::BorderStyle].number, 2);
  EXPECT_EQ(s.own[form::window_prop::MaxButton].number, 0);
  EXPECT_EQ(s.own[form::window_prop::EscCloses].number, 1);
  EXPECT_EQ(s.own[form::window_prop::Caption].text, "");

  std::vector<uint32_t> numbers;
  for (const form::UnitDecl& control : window.controls) numbers.push_back(control.number);
  EXPECT_THAT(numbers, ElementsAre(form::kTimer, form::kClockLabel, form::kServiceChooser,
                                   form::kBrowserArea, form::kPlayButton, form::kCaptionLabel,
                                   form::kAddressBox));

  ASSERT_TRUE(form::resolve_settings(window.controls[2], s));  // the chooser
  EXPECT_EQ(s.own[form::combo_prop::Style].number, 2);
  EXPECT_EQ(s.own[form::combo_prop::LineSpacing].number, 1);
  EXPECT_THAT(s.own[form::combo_prop::Items].items,
              ElementsAre("\x20\xCD\xF2\xC4\xDC\x20\xBD\xD3\xBF\xDA",
                          "\x20\xB1\xB8\xD3\xC3\x20\xBD\xD3\xBF\xDA", ""));
  ASSERT_TRUE(form::resolve_settings(window.controls[1], s));  // the clock label
  EXPECT_EQ(s.own[form::label_prop::TextColor].number, 0x00FF0090);
  EXPECT_EQ(s.own[form::label_prop::VerticalAlign].number, 1);
  EXPECT_EQ(s.own[form::label_prop::Title].text, "\xCD\xB8\xC3\xF7\xB1\xEA\xC7\xA9");
  ASSERT_TRUE(form::resolve_settings(window.controls[5], s));  // the caption label
  EXPECT_EQ(s.own[form::label_prop::Title].text, kCaptionTitle);
  EXPECT_EQ(s.own[form::label_prop::TextColor].number, 0x000000FF);
  ASSERT_TRUE(form::resolve_settings(window.controls[6], s));  // the address box: all defaults
  EXPECT_EQ(s.own[form::edit_prop::Border].number, 1);
  EXPECT_EQ(s.own[form::edit_prop::PasswordChar].text, "*");
  EXPECT_EQ(s.own[form::edit_prop::SpinMax].number, 100);
  EXPECT_EQ(form::find_kind(form::Kind::EditBox)->properties.size(), 21u);
  EXPECT_EQ(form::find_kind(form::Kind::ComboBox)->properties.size(), 16u);
  EXPECT_EQ(form::find_kind(form::Kind::Window)->properties.size(), 22u);
}

}  // namespace
}  // namespace filmbar::testing
