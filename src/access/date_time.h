// Date-time values in the OLE Automation date format: days since
// 1899-12-30 00:00 with the time of day as the fraction, local time.
#pragma once

namespace filmbar::access {

struct CalendarTime {
  int year, month, day, hour, minute, second;
};

// The local date and time now, in whole seconds.
double current_date_time();

// The value of a calendar time (proleptic Gregorian).
double date_time_from_calendar(const CalendarTime& time);

// Splits a value into calendar fields, rounded to the nearest second; values
// outside 100-01-01 .. 9999-12-31 are taken as the nearer end and NaN as 0.
CalendarTime calendar_from_date_time(double value);

// "%d年%d月%d日" followed by "%d时%d分%d秒", "%d时%d分", "%d时" or nothing,
// by the first of second, minute, hour that is not zero. A new block.
char* date_time_to_text(double value);

}  // namespace filmbar::access
