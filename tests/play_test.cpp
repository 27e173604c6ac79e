#include "access/heap.h"
#include "access/property.h"
#include "access/text.h"
#include "program_fixture.h"

namespace filmbar::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr int32_t kContent = 8 + form::edit_prop::Content;  // 8

class PlayTest : public ProgramTest {
 protected:
  // Types `text` with the pointer resting elsewhere, then presses Play with
  // the Space key.
  void type_and_play(const std::string& text) {
    backend.type(text);
    backend.key(core::kKeyTab);  // address box -> Play button
    backend.key(core::kKeySpace);
    backend.key(core::kKeyTab, core::kShift);  // back to the address box
  }
};

struct PlayCase {
  const char* what;
  int32_t entry;
  std::string typed;
  std::string loaded;  // empty: nothing is loaded
};

std::ostream& operator<<(std::ostream& out, const PlayCase& c) {
  return out << c.what;
}

class PlayCaseTest : public PlayTest, public ::testing::WithParamInterface<PlayCase> {};

TEST_P(PlayCaseTest, LoadsTheChosenBaseFollowedByTheTypedTextByteForByte) {
  const PlayCase& c = GetParam();
  long allocations_before = -1;
  long allocations_after = -1;
  backend.pick(c.entry);
  backend.type(c.typed);
  backend.key(core::kKeyTab);  // address box -> Play button
  backend.run([&] { allocations_before = backend.allocations(); });
  backend.key(core::kKeySpace);
  backend.run([&] { allocations_after = backend.allocations(); });
  backend.close_request();
  EXPECT_EQ(run(), 0);
  EXPECT_GE(at("clicked"), 0);
  if (c.loaded.empty()) {
    EXPECT_THAT(backend.navigations(), IsEmpty());
    EXPECT_EQ(allocations_after, allocations_before) << "Play read more than the selection";
  } else {
    EXPECT_THAT(backend.navigations(), ElementsAre(c.loaded));
  }
  EXPECT_EQ(backend.live_blocks(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Play, PlayCaseTest,
    ::testing::Values(PlayCase{"first service", 0, "http://films.example/watch?id=42",
                               kFirstBase + "http://films.example/watch?id=42"},
                      PlayCase{"second service", 1, "http://films.example/watch?id=42",
                               kSecondBase + "http://films.example/watch?id=42"},
                      PlayCase{"spaces, ampersand and hash kept", 0, " a b&c=d#frag ",
                               kFirstBase + " a b&c=d#frag "},
                      PlayCase{"Chinese text in code page 936", 1, "http://x.example/" + kChinese,
                               kSecondBase + "http://x.example/" + kChinese},
                      PlayCase{"empty box loads the bare base", 0, "", kFirstBase},
                      PlayCase{"blank third entry does nothing", 2, "http://films.example/", ""},
                      PlayCase{"no selection does nothing", -1, "http://films.example/", ""}));

TEST_F(PlayTest, PressingTwiceLoadsTwiceAndSwitchingTheChooserSwitchesService) {
  type_and_play("v1");
  backend.key(core::kKeyTab);
  backend.key(core::kKeySpace);
  backend.pick(1);
  backend.key(core::kKeySpace);
  backend.close_request();
  run();
  EXPECT_THAT(backend.navigations(),
              ElementsAre(kFirstBase + "v1", kFirstBase + "v1", kSecondBase + "v1"));
  EXPECT_EQ(backend.live_blocks(), 0);
}

TEST_F(PlayTest, PlayReadsTheBoxAsANewCopyAndTheBoxKeepsItsText) {
  std::string box_after;
  type_and_play("keep me");
  backend.run([&] {
    const char* text =
        access::read_property(form::kMainWindow, form::kAddressBox, kContent, access::kWholeValue)
            .text();
    box_after = text == nullptr ? "<null>" : text;
    access::free_block(text);
  });
  backend.close_request();
  run();
  EXPECT_EQ(box_after, "keep me");
  EXPECT_EQ(backend.live_blocks(), 0);
}

TEST_F(PlayTest, AClickAfterThePointerCrossedTheBoxSendsTheBareBase) {
  backend.type("http://films.example/");
  backend.move(form::kAddressBox);  // on the way to the button
  backend.click(form::kPlayButton);
  backend.close_request();
  run();
  EXPECT_THAT(backend.navigations(), ElementsAre(kFirstBase));
}

}  // namespace
}  // namespace filmbar::testing
