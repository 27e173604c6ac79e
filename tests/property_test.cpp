#include "access/property.h"

#include <cstring>

#include "access/heap.h"
#include "access/text.h"
#include "program_fixture.h"

namespace filmbar::testing {
namespace {

using access::kWholeValue;
using access::read_property;
using access::write_property;

constexpr uint32_t kWindow = form::kMainWindow;
constexpr int32_t kBoxContent = 8 + form::edit_prop::Content;
constexpr int32_t kBoxHideSelection = 8 + form::edit_prop::HideSelection;
constexpr int32_t kBoxMaxLength = 8 + form::edit_prop::MaxLength;
constexpr int32_t kBoxMultiLine = 8 + form::edit_prop::MultiLine;
constexpr int32_t kBoxFont = 8 + form::edit_prop::Font;
constexpr int32_t kZoom = 8 + form::browser_prop::ZoomLevel;
constexpr int32_t kItems = 8 + form::combo_prop::Items;
constexpr int32_t kPicture = 8 + form::button_prop::Picture;

class PropertyTest : public ProgramTest {
 protected:
  // Runs `body` inside the running program, as a routine would.
  void inside(std::function<void()> body) {
    backend.run(std::move(body));
    backend.close_request();
    run();
    EXPECT_EQ(backend.live_blocks(), 0) << "a block was not freed";
  }
  static std::string take_text(const access::ValueSlot& slot) {
    std::string text = slot.text() == nullptr ? "<null>" : slot.text();
    access::free_block(slot.text());
    return text;
  }
};

TEST_F(PropertyTest, TextsAreCopiedBothWaysAndNullIsTheEmptyText) {
  inside([&] {
    const long blocks = backend.live_blocks();
    EXPECT_EQ(read_property(kWindow, form::kAddressBox, kBoxContent, kWholeValue).low, 0u);
    EXPECT_EQ(backend.live_blocks(), blocks) << "an empty text took a block";

    char* heap_text = access::join_texts(1, "shown");
    access::write_text_property(kWindow, form::kAddressBox, kBoxContent, heap_text);
    std::memset(heap_text, 'x', 5);
    access::free_block(heap_text);
    EXPECT_EQ(take_text(read_property(kWindow, form::kAddressBox, kBoxContent, kWholeValue)),
              "shown");

    access::write_text_property(kWindow, form::kAddressBox, kBoxContent, nullptr);
    EXPECT_EQ(take_text(read_property(kWindow, form::kAddressBox, kBoxContent, kWholeValue)),
              "<null>");
    access::write_text_property(kWindow, form::kAddressBox, kBoxContent, "again");
    access::write_text_property(kWindow, form::kAddressBox, kBoxContent, routines::empty_text());
    access::free_block(routines::empty_text());
    EXPECT_EQ(take_text(read_property(kWindow, form::kAddressBox, kBoxContent, kWholeValue)),
              "<null>");
  });
}

TEST_F(PropertyTest, NumbersFollowTheirValueKinds) {
  inside([&] {
    // Logical: any non-zero is stored as 1.
    write_property(kWindow, form::kAddressBox, kBoxHideSelection, kWholeValue, 7, 0);
    EXPECT_EQ(read_property(kWindow, form::kAddressBox, kBoxHideSelection, kWholeValue).low, 1u);
    write_property(kWindow, form::kAddressBox, kBoxHideSelection, kWholeValue, 0, 0);
    EXPECT_EQ(read_property(kWindow, form::kAddressBox, kBoxHideSelection, kWholeValue).low, 0u);
    // Non-negative: a negative value is stored as 0.
    write_property(kWindow, form::kAddressBox, kBoxMaxLength, kWholeValue,
                   static_cast<uint32_t>(-40), 0);
    EXPECT_EQ(read_property(kWindow, form::kAddressBox, kBoxMaxLength, kWholeValue).integer(), 0);
    // Integer: unchanged, high half 0.
    write_property(kWindow, form::kBrowserArea, kZoom, kWholeValue, static_cast<uint32_t>(-3), 0);
    const access::ValueSlot zoom = read_property(kWindow, form::kBrowserArea, kZoom, kWholeValue);
    EXPECT_EQ(zoom.integer(), -3);
    EXPECT_EQ(zoom.high, 0u);
  });
}

TEST_F(PropertyTest, ByteDataAndFontsTravelAsNewBlocks) {
  inside([&] {
    // The chooser's entries, each ended by a zero byte.
    const access::ValueSlot items =
        read_property(kWindow, form::kServiceChooser, kItems, kWholeValue);
    ASSERT_NE(items.low, 0u);
    access::ByteDataHeader header;
    std::memcpy(&header, reinterpret_cast<const void*>(items.low), sizeof header);
    EXPECT_EQ(header.dimensions, 1);
    EXPECT_EQ(header.byte_count, 10 + 1 + 10 + 1 + 1);
    access::free_block(reinterpret_cast<const void*>(items.low));

    EXPECT_EQ(read_property(kWindow, form::kPlayButton, kPicture, kWholeValue).low, 0u);
    unsigned char block[8 + 3];
    const access::ByteDataHeader picture{1, 3};
    std::memcpy(block, &picture, sizeof picture);
    std::memcpy(block + 8, "PNG", 3);
    write_property(kWindow, form::kPlayButton, kPicture, kWholeValue,
                   reinterpret_cast<uintptr_t>(block), 0);
    const access::ValueSlot back = read_property(kWindow, form::kPlayButton, kPicture, kWholeValue);
    ASSERT_NE(back.low, 0u);
    EXPECT_EQ(std::memcmp(reinterpret_cast<const unsigned char*>(back.low), block, sizeof block),
              0);
    access::free_block(reinterpret_cast<const void*>(back.low));

    // No font is the stock default font; members write into one record.
    EXPECT_EQ(read_property(kWindow, form::kAddressBox, kBoxFont, kWholeValue).low, 0u);
    write_property(kWindow, form::kAddressBox, kBoxFont, access::kFontHeight,
                   static_cast<uint32_t>(-12), 0);
    write_property(kWindow, form::kAddressBox, kBoxFont, access::kFontFaceName,
                   reinterpret_cast<uintptr_t>("SimSun"), 0);
    EXPECT_EQ(read_property(kWindow, form::kAddressBox, kBoxFont, access::kFontHeight).integer(),
              -12);
    EXPECT_EQ(take_text(read_property(kWindow, form::kAddressBox, kBoxFont, access::kFontFaceName)),
              "SimSun");
    const access::ValueSlot font = read_property(kWindow, form::kAddressBox, kBoxFont, kWholeValue);
    ASSERT_NE(font.low, 0u);
    access::FontRecord record;
    std::memcpy(&record, reinterpret_cast<const void*>(font.low), sizeof record);
    EXPECT_EQ(record.height, -12);
    EXPECT_STREQ(record.face_name, "SimSun");
    access::free_block(reinterpret_cast<const void*>(font.low));
  });
}

TEST_F(PropertyTest, CommonPropertiesWorkAndAPropertyNeedingARebuildIsRebuiltSilently) {
  inside([&] {
    EXPECT_EQ(read_property(kWindow, form::kPlayButton, form::kLeft, kWholeValue).integer(), 672);
    EXPECT_EQ(read_property(kWindow, form::kPlayButton, form::kWidth, kWholeValue).integer(), 144);
    write_property(kWindow, form::kPlayButton, form::kTop, kWholeValue, 400, 0);
    EXPECT_EQ(read_property(kWindow, form::kPlayButton, form::kTop, kWholeValue).integer(), 400);
    EXPECT_EQ(read_property(kWindow, form::kTimer, form::kVisible, kWholeValue).low, 0u);
    EXPECT_EQ(read_property(kWindow, form::kPlayButton, form::kVisible, kWholeValue).low, 1u);
    write_property(kWindow, form::kPlayButton, form::kDisabled, kWholeValue, 1, 0);
    EXPECT_EQ(read_property(kWindow, form::kPlayButton, form::kDisabled, kWholeValue).low, 1u);
    EXPECT_EQ(read_property(kWindow, form::kPlayButton, form::kTag, kWholeValue).low, 0u);
    write_property(kWindow, form::kPlayButton, form::kTag, kWholeValue,
                   reinterpret_cast<uintptr_t>("tagged"), 0);
    EXPECT_EQ(take_text(read_property(kWindow, form::kPlayButton, form::kTag, kWholeValue)),
              "tagged");

    write_property(kWindow, form::kAddressBox, kBoxMultiLine, kWholeValue, 1, 0);
  });
  const int rebuilt = at("recreate 0x16010002");
  EXPECT_EQ(backend.log()[static_cast<size_t>(rebuilt - 1)], "process_pending");
  EXPECT_EQ(backend.log()[static_cast<size_t>(rebuilt + 1)], "process_pending");
}

}  // namespace
}  // namespace filmbar::testing
