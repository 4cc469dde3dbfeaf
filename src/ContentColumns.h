// The content columns the host shows beside the file names: whether an entry
// is encrypted, its expiry date and a one-line comment from its notes, and
// the default column view.
#pragma once

#include <cstdint>
#include <string>

#include "WfxApi.h"

struct tTreeNode;

enum eContentField { eField_Encrypted = 0, eField_ExpiredDate = 1, eField_Comment = 2, eField_Count = 3 };

// A date as the host takes it: three 16-bit words.
struct tFieldDate {
    std::uint16_t year = 0;
    std::uint16_t month = 0;
    std::uint16_t day = 0;
};

// Copies a text into a host buffer of maxlen bytes: cut to maxlen - 1
// characters and always terminated. Nothing is written when maxlen < 1.
void copyToHost(char* to, const std::string& text, int maxlen);

// Reads an expiry text in the order the DateFormat setting names
// ("yyyy-mm-dd", "yyyy/mm/dd", "dd-mm-yyyy", "dd/mm/yyyy"); the numbers are
// always separated by hyphens. Numbers not read stay 0.
tFieldDate parseExpiryDate(const std::string& text, const std::string& dateFormat);

// The "Comment" column's text of an entry.
std::string entryCommentText(const tTreeNode& entry);

// The exports
int GetSupportedField(int fieldIndex, char* fieldName, char* units, int maxlen);
int GetFieldValue(const char* fileName, int fieldIndex, void* fieldValue, int maxlen);
wfx::BOOL GetDefaultView(char* contents, char* headers, char* widths, char* options, int maxlen);
