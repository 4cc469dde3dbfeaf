// Times: FILETIME values (UTC, 100-ns intervals since 1601) in memory, decimal
// seconds since 1970 as text in the file.
#pragma once

#include <cstdint>
#include <string>

#include "WfxApi.h"

using FILETIME = wfx::FILETIME;

namespace timeutil {

// The host's "no date" marker.
constexpr FILETIME kNoTime{0xFFFFFFFEu, 0xFFFFFFFFu};

inline std::uint64_t toUInt64(const FILETIME& ft) {
    return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}
inline FILETIME fromUInt64(std::uint64_t v) {
    return FILETIME{static_cast<std::uint32_t>(v & 0xFFFFFFFFu), static_cast<std::uint32_t>(v >> 32)};
}
inline bool isNoTime(const FILETIME& ft) {
    return ft.dwHighDateTime == kNoTime.dwHighDateTime && ft.dwLowDateTime == kNoTime.dwLowDateTime;
}
inline bool operator==(const FILETIME& a, const FILETIME& b) {
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

// The current UTC time; the no-time value when the clock cannot be read.
FILETIME currentFileTime();

// Seconds since 1970 (low 32 bits, signed decimal) of a FILETIME. Times before
// 1900 give "0"; a FILETIME outside the system's range gives "".
std::string fileTimeToText(const FILETIME& ft);

// FILETIME of a time text; a text that does not start with a signed 32-bit
// decimal number is read as 0, that is 1970-01-01 00:00 UTC.
FILETIME textToFileTime(const std::string& text);

}  // namespace timeutil

using timeutil::operator==;
