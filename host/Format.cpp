#include "Format.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace panel {

namespace {

std::string named(int value, const char* const* names, int first, int count, const char* prefix) {
    if (value >= first && value < first + count) return names[value - first];
    return std::string(prefix) + "?(" + std::to_string(value) + ")";
}

// Days since 1970-01-01 to a civil date (proleptic Gregorian calendar).
void civilFromDays(std::int64_t days, int& year, unsigned& month, unsigned& day) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = doy - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

std::string textIn(const void* value, int maxlen) {
    const char* text = static_cast<const char*>(value);
    std::size_t length = 0;
    while (maxlen > 0 && length < static_cast<std::size_t>(maxlen) && text[length] != '\0') ++length;
    return escapeText(std::string(text, length));
}

template <typename T>
T read(const void* value) {
    T result;
    std::memcpy(&result, value, sizeof result);
    return result;
}

}  // namespace

bool isNoDate(const wfx::FILETIME& time) {
    return time.dwLowDateTime == 0xFFFFFFFEu && time.dwHighDateTime == 0xFFFFFFFFu;
}

std::string formatFileTime(const wfx::FILETIME& time) {
    if (isNoDate(time)) return "-";
    const std::uint64_t ticks = (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    // FILETIME counts 100 ns steps from 1601-01-01, which is 134774 days before 1970-01-01.
    const std::int64_t seconds = static_cast<std::int64_t>(ticks / 10000000u);
    const std::int64_t days = seconds / 86400 - 134774;
    const std::int64_t rest = seconds % 86400;
    int year;
    unsigned month, day;
    civilFromDays(days, year, month, day);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d", year, month, day,
                  static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60));
    return text;
}

std::uint64_t fileSize(const wfx::WIN32_FIND_DATAA& data) {
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string formatFindData(const wfx::WIN32_FIND_DATAA& data) {
    char head[96];
    std::string kind = (data.dwFileAttributes & wfx::kAttrDirectory) ? std::string("<DIR>")
                                                                     : std::to_string(fileSize(data));
    std::snprintf(head, sizeof head, "%-12s %08" PRIx32 " %-19s %-19s ", kind.c_str(),
                  static_cast<std::uint32_t>(data.dwFileAttributes), formatFileTime(data.ftCreationTime).c_str(),
                  formatFileTime(data.ftLastWriteTime).c_str());
    return head + textIn(data.cFileName, sizeof data.cFileName);
}

std::string fileResultName(int result) {
    static const char* const names[] = {"FS_FILE_OK",        "FS_FILE_EXISTS",     "FS_FILE_NOTFOUND",
                                        "FS_FILE_READERROR", "FS_FILE_WRITEERROR", "FS_FILE_USERABORT",
                                        "FS_FILE_NOTSUPPORTED", "FS_FILE_EXISTSRESUMEALLOWED"};
    return named(result, names, 0, 8, "FS_FILE_");
}

std::string execResultName(int result) {
    static const char* const names[] = {"FS_EXEC_SYMLINK", "FS_EXEC_YOURSELF", "FS_EXEC_OK", "FS_EXEC_ERROR"};
    return named(result, names, -2, 4, "FS_EXEC_");
}

std::string iconResultName(int result) {
    static const char* const names[] = {"FS_ICON_USEDEFAULT", "FS_ICON_EXTRACTED", "FS_ICON_EXTRACTED_DESTROY",
                                        "FS_ICON_DELAYED"};
    return named(result, names, 0, 4, "FS_ICON_");
}

std::string fieldTypeName(int type) {
    static const char* const names[] = {"ft_fieldempty",    "ft_fileerror",    "ft_nosuchfield",
                                        "ft_nomorefields",  "ft_numeric_32",   "ft_numeric_64",
                                        "ft_numeric_floating", "ft_date",      "ft_time",
                                        "ft_boolean",       "ft_multiplechoice", "ft_string",
                                        "ft_fulltext",      "ft_datetime"};
    return named(type, names, -3, 14, "ft_");
}

std::string logTypeName(int type) {
    static const char* const names[] = {"MSGTYPE_CONNECT",          "MSGTYPE_DISCONNECT",
                                        "MSGTYPE_DETAILS",          "MSGTYPE_TRANSFERCOMPLETE",
                                        "MSGTYPE_CONNECTCOMPLETE",  "MSGTYPE_IMPORTANTERROR",
                                        "MSGTYPE_OPERATIONCOMPLETE"};
    return named(type, names, 1, 7, "MSGTYPE_");
}

std::string boolName(wfx::BOOL value) {
    return value ? "TRUE" : "FALSE";
}

std::string formatFieldValue(int result, const void* value, int maxlen) {
    char text[64];
    switch (result) {
        case wfx::ft_string:
        case wfx::ft_multiplechoice:
        case wfx::ft_fulltext:
            return textIn(value, maxlen);
        case wfx::ft_boolean:
            return read<std::int32_t>(value) ? "true" : "false";
        case wfx::ft_numeric_32:
            return std::to_string(read<std::int32_t>(value));
        case wfx::ft_numeric_64:
            return std::to_string(read<std::int64_t>(value));
        case wfx::ft_numeric_floating:
            std::snprintf(text, sizeof text, "%g", read<double>(value));
            return text;
        case wfx::ft_date: {
            const auto* words = static_cast<const unsigned char*>(value);
            std::snprintf(text, sizeof text, "%04u-%02u-%02u", read<std::uint16_t>(words),
                          read<std::uint16_t>(words + 2), read<std::uint16_t>(words + 4));
            return text;
        }
        case wfx::ft_time: {
            const auto* words = static_cast<const unsigned char*>(value);
            std::snprintf(text, sizeof text, "%02u:%02u:%02u", read<std::uint16_t>(words),
                          read<std::uint16_t>(words + 2), read<std::uint16_t>(words + 4));
            return text;
        }
        case wfx::ft_datetime:
            return formatFileTime(read<wfx::FILETIME>(value));
        case wfx::ft_fieldempty:
            return "(empty)";
        default:
            return fieldTypeName(result);
    }
}

std::string escapeText(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        switch (c) {
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\x%02X", c);
                    out += hex;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out;
}

}  // namespace panel
