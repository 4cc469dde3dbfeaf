#include "LogFileNames.h"

#include <cstdio>
#include <tuple>

namespace logfilenames {
namespace {

// Reads a run of decimal digits at `at`; false when there is none. Runs too
// long for a date read as a number beyond every range.
bool readNumber(const std::string& text, std::size_t& at, int& value) {
    std::size_t start = at;
    long long v = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        if (v < 1000000) v = v * 10 + (text[at] - '0');
        ++at;
    }
    if (at == start) return false;
    value = static_cast<int>(v);
    return true;
}

}  // namespace

std::string dailyName(const std::string& base, const tDate& date, long appNumber) {
    char buffer[64];
    if (appNumber >= 2) {
        std::snprintf(buffer, sizeof buffer, "%02d_%02d_%04d_App#%ld.log", date.month, date.day, date.year, appNumber);
    } else {
        std::snprintf(buffer, sizeof buffer, "%02d_%02d_%04d.log", date.month, date.day, date.year);
    }
    return base.empty() ? std::string(buffer) : base + "_" + buffer;
}

std::vector<std::string> cleanerPatterns(const std::string& base) {
    if (base.empty()) return {"??_??_????*.zip", "??_??_????*.log"};
    return {"*_??_??_????*.zip", "*_??_??_????*.log"};
}

bool isValidDate(const tDate& d) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (d.year < 1970 || d.year > 2039 || d.month < 1 || d.month > 12 || d.day < 1) return false;
    int last = kDays[d.month - 1] + (d.month == 2 && d.year % 4 == 0 ? 1 : 0);
    return d.day <= last;
}

bool dateOfName(const std::string& name, const std::string& base, tDate& date) {
    std::size_t at = 0;
    if (!base.empty()) {
        if (name.compare(0, base.size(), base) != 0 || name.size() <= base.size() || name[base.size()] != '_')
            return false;
        at = base.size() + 1;
    }
    tDate read;
    if (!readNumber(name, at, read.month) || at >= name.size() || name[at++] != '_') return false;
    if (!readNumber(name, at, read.day) || at >= name.size() || name[at++] != '_') return false;
    if (!readNumber(name, at, read.year)) return false;
    date = isValidDate(read) ? read : tDate{};
    return true;
}

bool midnightBefore(const tDate& date, const platform::LocalTime& moment) {
    auto day = std::make_tuple(date.year, date.month, date.day);
    auto momentDay = std::make_tuple(moment.year, moment.month, moment.day);
    if (day != momentDay) return day < momentDay;
    return moment.hour != 0 || moment.minute != 0 || moment.second != 0;
}

}  // namespace logfilenames
