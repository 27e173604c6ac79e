#include <cstring>

#include "access/heap.h"
#include "access/text.h"
#include "program_fixture.h"

namespace filmbar::testing {
namespace {

using access::free_block;
using access::join_texts;
using access::text_length;

class TextValuesTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    access::set_constant_area(routines::constant_area_begin(), routines::constant_area_end());
  }
};

TEST_F(TextValuesTest, JoinPutsTheFirstArgumentFirstInOneExactBlock) {
  const long before = backend.allocations();
  char* joined = join_texts(2, routines::first_service_base(), "123");
  EXPECT_EQ(std::string(joined), kFirstBase + "123");
  EXPECT_EQ(backend.allocations(), before + 1);
  free_block(joined);
  EXPECT_EQ(backend.live_blocks(), 0);
}

TEST_F(TextValuesTest, JoinOfNullAndEmptyPartsGivesAOneByteBlockNeverNull) {
  char* joined =
      join_texts(3, static_cast<const char*>(nullptr), "", static_cast<const char*>(nullptr));
  ASSERT_NE(joined, nullptr);
  EXPECT_EQ(joined[0], '\0');
  free_block(joined);

  char* no_parts = join_texts(0);
  ASSERT_NE(no_parts, nullptr);
  EXPECT_EQ(no_parts[0], '\0');
  free_block(no_parts);

  char* base_alone =
      join_texts(2, routines::second_service_base(), static_cast<const char*>(nullptr));
  EXPECT_EQ(std::string(base_alone), kSecondBase);
  free_block(base_alone);
  EXPECT_EQ(backend.live_blocks(), 0);
}

TEST_F(TextValuesTest, JoinHandlesMorePartsThanFitInline) {
  std::string expected;
  for (int i = 0; i < 40; ++i) expected += "ab";
  char* joined =
      join_texts(40, "ab", "ab", "ab", "ab", "ab", "ab", "ab", "ab", "ab", "ab", "ab", "ab", "ab",
                 "ab", "ab", "ab", "ab", "ab", "ab", "ab", "ab", "ab", "ab", "ab", "ab", "ab", "ab",
                 "ab", "ab", "ab", "ab", "ab", "ab", "ab", "ab", "ab", "ab", "ab", "ab", "ab");
  EXPECT_EQ(std::string(joined), expected);
  free_block(joined);
}

TEST_F(TextValuesTest, LengthCountsBytesBeforeTheTerminator) {
  EXPECT_EQ(text_length(nullptr), 0u);
  EXPECT_EQ(text_length(""), 0u);
  EXPECT_EQ(text_length(kCaptionTitle.c_str()), 11u);
}

TEST_F(TextValuesTest, FreeingNullOrAConstantDoesNothing) {
  free_block(nullptr);
  free_block(routines::empty_text());
  free_block(routines::first_service_base());
  free_block(routines::second_service_base());
  EXPECT_EQ(backend.live_blocks(), 0);
  EXPECT_STREQ(routines::empty_text(), "");
  EXPECT_EQ(std::string(routines::first_service_base()), kFirstBase);
}

}  // namespace
}  // namespace filmbar::testing
