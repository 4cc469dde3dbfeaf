// Names of the daily log files, and the dates the log cleaner reads from the
// names it finds in the log folder.
#pragma once

#include <string>
#include <vector>

#include "platform/Clock.h"

namespace logfilenames {

struct tDate {
    int year = 1970;
    int month = 1;
    int day = 1;
};
inline bool operator==(const tDate& a, const tDate& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day;
}
inline bool operator!=(const tDate& a, const tDate& b) { return !(a == b); }
inline tDate dateOf(const platform::LocalTime& t) { return tDate{t.year, t.month, t.day}; }

// base_MM_DD_YYYY.log; with an application number of 2 or more (the file of
// the day is held by another process) base_MM_DD_YYYY_App#N.log. Without a
// base name the names start with the month.
std::string dailyName(const std::string& base, const tDate& date, long appNumber = 0);

// The wildcard patterns of the names the cleaner looks at: the archives
// (.zip) and the daily logs themselves (.log).
std::vector<std::string> cleanerPatterns(const std::string& base);

// A date the cleaner accepts: year 1970 to 2039, month 1 to 12, a day of that
// month (February has 29 days in years divisible by four).
bool isValidDate(const tDate& date);

// The date of a name in the log folder. False when the name is none of ours
// and is to be kept: it does not start with the base name and "_", or no
// month, day and year can be read after that. A name that reads as an
// impossible date (month 13, day 0, ...) gives 1 January 1970.
bool dateOfName(const std::string& name, const std::string& base, tDate& date);

// Whether midnight at the start of `date` comes before `moment`; both local.
bool midnightBefore(const tDate& date, const platform::LocalTime& moment);

}  // namespace logfilenames
