// How the panel prints what the plug-in hands back: listing lines, result
// codes by name and content field values.
#pragma once

#include <cstdint>
#include <string>

#include "WfxApi.h"

namespace panel {

// The file manager's "no date" marker: low word 0xFFFFFFFE, high word 0xFFFFFFFF.
bool isNoDate(const wfx::FILETIME& time);

// "-" for the no-date marker, otherwise the UTC time as "YYYY-MM-DD HH:MM:SS".
std::string formatFileTime(const wfx::FILETIME& time);

std::uint64_t fileSize(const wfx::WIN32_FIND_DATAA& data);

// One listing line: "<DIR>" or the size, the attributes in hex, the creation
// and last-write times, and the name, in fixed columns.
std::string formatFindData(const wfx::WIN32_FIND_DATAA& data);

// Result codes by name; an unknown code is printed as a number.
std::string fileResultName(int result);      // FS_FILE_...
std::string execResultName(int result);      // FS_EXEC_...
std::string iconResultName(int result);      // FS_ICON_...
std::string fieldTypeName(int type);         // ft_...
std::string logTypeName(int type);           // MSGTYPE_...
std::string boolName(wfx::BOOL value);       // TRUE / FALSE

// A content value as FsContentGetValue left it in VALUE (a buffer of MAXLEN
// bytes), formatted according to RESULT, the field type or error it returned.
std::string formatFieldValue(int result, const void* value, int maxlen);

// Text with control characters written as \n, \r, \t or \xNN, so that every
// item stays on one line.
std::string escapeText(const std::string& text);

}  // namespace panel
