// Date-time values: OLE Automation dates on the proleptic Gregorian calendar.
#include "access/date_time.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "access/text.h"
#include "platform/platform.h"

namespace filmbar::access {
namespace {

constexpr double kLatestValue = 2958465.0;    // 9999-12-31
constexpr double kEarliestValue = -657434.0;  // 0100-01-01
constexpr double kHalfSecond = 1.0 / 172800.0;
constexpr int64_t kSecondsPerDay = 86400;

bool is_leap(int64_t year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int days_in_month(int64_t year, int month) {
  static const int lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && is_leap(year) ? 29 : lengths[month - 1];
}

// Days from 0001-01-01 to the given date; years from 1 on.
int64_t days_since_year_one(int64_t year, int month, int day) {
  const int64_t before = year - 1;
  int64_t days = 365 * before + before / 4 - before / 100 + before / 400;
  for (int m = 1; m < month; ++m) days += days_in_month(year, m);
  return days + day - 1;
}

const int64_t kEpochDays = days_since_year_one(1899, 12, 30);

}  // namespace

double date_time_from_calendar(const CalendarTime& time) {
  const int64_t day = days_since_year_one(time.year, time.month, time.day) - kEpochDays;
  const double fraction = static_cast<double>(time.hour * 3600 + time.minute * 60 + time.second) /
                          static_cast<double>(kSecondsPerDay);
  // Before the epoch the day counts down while the time of day still counts
  // up: 1899-12-29 06:00 is -1.25.
  return day >= 0 ? static_cast<double>(day) + fraction : static_cast<double>(day) - fraction;
}

CalendarTime calendar_from_date_time(double value) {
  // NaN has no nearer end to clamp to; it is read as the epoch itself.
  if (std::isnan(value)) value = 0.0;
  if (value > kLatestValue) value = kLatestValue;
  if (value < kEarliestValue) value = kEarliestValue;
  value += value < 0 ? -kHalfSecond : kHalfSecond;

  const double whole_days = std::trunc(value);
  int64_t seconds =
      static_cast<int64_t>(std::floor(std::fabs(value - whole_days) * kSecondsPerDay));
  if (seconds >= kSecondsPerDay) seconds = kSecondsPerDay - 1;

  const int64_t absolute = static_cast<int64_t>(whole_days) + kEpochDays;
  int64_t year = absolute * 400 / 146097 + 1;
  while (days_since_year_one(year, 1, 1) > absolute) --year;
  while (days_since_year_one(year + 1, 1, 1) <= absolute) ++year;
  int64_t day_of_year = absolute - days_since_year_one(year, 1, 1);
  int month = 1;
  while (day_of_year >= days_in_month(year, month)) {
    day_of_year -= days_in_month(year, month);
    ++month;
  }
  return CalendarTime{static_cast<int>(year),
                      month,
                      static_cast<int>(day_of_year) + 1,
                      static_cast<int>(seconds / 3600),
                      static_cast<int>(seconds / 60 % 60),
                      static_cast<int>(seconds % 60)};
}

double current_date_time() {
  const platform::LocalTime now = platform::current().local_time_now();
  return date_time_from_calendar(
      CalendarTime{now.year, now.month, now.day, now.hour, now.minute, now.second});
}

char* date_time_to_text(double value) {
  const CalendarTime t = calendar_from_date_time(value);
  // "年", "月", "日", "时", "分", "秒" in code page 936.
  char text[64];
  int length =
      std::snprintf(text, sizeof text, "%d\xC4\xEA%d\xD4\xC2%d\xC8\xD5", t.year, t.month, t.day);
  const size_t room = sizeof text - static_cast<size_t>(length);
  if (t.second != 0) {
    length += std::snprintf(text + length, room, "%d\xCA\xB1%d\xB7\xD6%d\xC3\xEB", t.hour, t.minute,
                            t.second);
  } else if (t.minute != 0) {
    length += std::snprintf(text + length, room, "%d\xCA\xB1%d\xB7\xD6", t.hour, t.minute);
  } else if (t.hour != 0) {
    length += std::snprintf(text + length, room, "%d\xCA\xB1", t.hour);
  }
  return copy_to_new_text(text, static_cast<uint32_t>(length));
}

}  // namespace filmbar::access
