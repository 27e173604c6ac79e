#include "access/date_time.h"

#include <cmath>
#include <limits>

#include "access/heap.h"
#include "program_fixture.h"

namespace filmbar::testing {
namespace {

struct DateCase {
  const char* what;
  double value;
  std::string text;  // code page 936
};

// 年 月 日 时 分 秒 in code page 936.
std::string date(int y, int m, int d) {
  return std::to_string(y) + "\xC4\xEA" + std::to_string(m) + "\xD4\xC2" + std::to_string(d) +
         "\xC8\xD5";
}
std::string hms(int h, int m, int s) {
  return std::to_string(h) + "\xCA\xB1" + std::to_string(m) + "\xB7\xD6" + std::to_string(s) +
         "\xC3\xEB";
}
std::string hm(int h, int m) {
  return std::to_string(h) + "\xCA\xB1" + std::to_string(m) + "\xB7\xD6";
}
std::string h(int hour) {
  return std::to_string(hour) + "\xCA\xB1";
}

double ole(int y, int mo, int d, int hh, int mm, int ss) {
  return access::date_time_from_calendar({y, mo, d, hh, mm, ss});
}

class DateTimeTest : public ProgramTest {};

TEST_F(DateTimeTest, FormatsEveryRowOfTheClockTable) {
  const double inf = std::numeric_limits<double>::infinity();
  const DateCase cases[] = {
      {"with seconds", ole(2017, 3, 16, 11, 34, 53), date(2017, 3, 16) + hms(11, 34, 53)},
      {"exactly midnight", ole(2017, 3, 16, 0, 0, 0), date(2017, 3, 16)},
      {"hour only", ole(2017, 3, 16, 9, 0, 0), date(2017, 3, 16) + h(9)},
      {"hour and minute", ole(2017, 3, 16, 9, 5, 0), date(2017, 3, 16) + hm(9, 5)},
      {"zero minute with seconds", ole(2017, 3, 16, 9, 0, 7), date(2017, 3, 16) + hms(9, 0, 7)},
      {"zero hour with seconds", ole(2017, 3, 16, 0, 0, 7), date(2017, 3, 16) + hms(0, 0, 7)},
      {"zero hour with minutes", ole(2017, 3, 16, 0, 5, 0), date(2017, 3, 16) + hm(0, 5)},
      {"noon", ole(1999, 12, 31, 12, 0, 0), date(1999, 12, 31) + h(12)},
      {"value 0", 0.0, date(1899, 12, 30)},
      {"value 2958465", 2958465.0, date(9999, 12, 31)},
      {"above 2958465", 2958465.75, date(9999, 12, 31)},
      {"far above", 1e12, date(9999, 12, 31)},
      {"value -657434", -657434.0, date(100, 1, 1)},
      {"below -657434", -700000.5, date(100, 1, 1)},
      {"before the epoch", -1.25, date(1899, 12, 29) + h(6)},
      {"leap day", ole(2000, 2, 29, 23, 59, 59), date(2000, 2, 29) + hms(23, 59, 59)},
      {"rounds up to the next second", ole(2017, 3, 16, 11, 34, 53) + 0.6 / 86400,
       date(2017, 3, 16) + hms(11, 34, 54)},
      {"rounds into the next day", ole(2017, 3, 16, 23, 59, 59) + 0.7 / 86400, date(2017, 3, 17)},
      {"NaN reads as the epoch", std::nan(""), date(1899, 12, 30)},
      {"+infinity", inf, date(9999, 12, 31)},
      {"-infinity", -inf, date(100, 1, 1)},
  };
  for (const DateCase& c : cases) {
    SCOPED_TRACE(c.what);
    char* text = access::date_time_to_text(c.value);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text), c.text);
    access::free_block(text);
  }
  EXPECT_EQ(backend.live_blocks(), 0);
}

TEST_F(DateTimeTest, CalendarValuesMatchTheOleDateScale) {
  EXPECT_DOUBLE_EQ(ole(1899, 12, 30, 0, 0, 0), 0.0);
  EXPECT_DOUBLE_EQ(ole(1900, 1, 1, 12, 0, 0), 2.5);
  EXPECT_DOUBLE_EQ(ole(9999, 12, 31, 0, 0, 0), 2958465.0);
  EXPECT_DOUBLE_EQ(ole(100, 1, 1, 0, 0, 0), -657434.0);
  EXPECT_DOUBLE_EQ(ole(1899, 12, 29, 6, 0, 0), -1.25);
}

TEST_F(DateTimeTest, CurrentTimeComesFromTheBackendClockInWholeSeconds) {
  backend.clock = {2017, 3, 16, 0, 0, 7};
  const double now = access::current_date_time();
  EXPECT_DOUBLE_EQ(now, ole(2017, 3, 16, 0, 0, 7));
  const access::CalendarTime back = access::calendar_from_date_time(now);
  EXPECT_EQ(back.second, 7);
  EXPECT_EQ(back.day, 16);
}

}  // namespace
}  // namespace filmbar::testing
