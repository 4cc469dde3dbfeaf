#include "ContentColumns.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "AutoType.h"
#include "KeyholdApp.h"
#include "Log.h"
#include "TreeNode.h"
#include "VirtualPath.h"
#include "security/Util.h"

namespace {

struct FieldRow {
    const char* name;
    int type;
    const char* units;
};

const FieldRow kFields[eField_Count] = {
    {"Encrypted", wfx::ft_boolean, "Boolean"},
    {"Expired Date", wfx::ft_date, ""},
    {"Comment", wfx::ft_string, ""},
};

const char* const kViewContents = "[=<fs>.Encrypted.Boolean]";
const char* const kViewHeaders = "Encrypted";
const char* const kViewWidths = "80,30,80";
const char* const kViewOptions = "-1|0";

std::string dateFormatSetting() {
    const auto& setting = settings().m_dateFormat;
    return setting ? setting->GetValue() : std::string("yyyy-mm-dd");
}

int encryptedValue(const tTreeNode& node, void* value, int maxlen) {
    if (node.isFolder()) return wfx::ft_fieldempty;
    if (node.isEntry()) {
        if (value == nullptr || maxlen < static_cast<int>(sizeof(std::int32_t))) return wfx::ft_fieldempty;
        const std::int32_t flag = node.encrypted ? 1 : 0;
        std::memcpy(value, &flag, sizeof flag);
    }
    return wfx::ft_boolean;
}

int expiryValue(const tTreeNode& node, void* value, int maxlen) {
    if (!node.isEntry() || !node.isExpiring()) return wfx::ft_fieldempty;
    std::string text = node.expireTimeText;
    // A salted date is encrypted whatever the password: an entry without one
    // still has its other fields encrypted.
    if (!node.expireTimeSalt.empty()) {
        std::string plain;
        security::decrypt(node.expireTimeText, node.expireTimeSalt, plain);
        text = plain;
    }
    if (text.empty()) return wfx::ft_fieldempty;
    tFieldDate date = parseExpiryDate(text, dateFormatSetting());
    if (date.year == 0 || date.month == 0 || date.day == 0) return wfx::ft_fieldempty;
    if (value == nullptr || maxlen < static_cast<int>(3 * sizeof(std::uint16_t))) return wfx::ft_fieldempty;
    const std::uint16_t words[3] = {date.year, date.month, date.day};
    std::memcpy(value, words, sizeof words);
    return wfx::ft_date;
}

int commentValue(const tTreeNode& node, void* value, int maxlen) {
    if (node.isFolder()) return wfx::ft_fieldempty;
    if (node.isEntry() && value != nullptr) copyToHost(static_cast<char*>(value), entryCommentText(node), maxlen);
    return wfx::ft_string;
}

}  // namespace

void copyToHost(char* to, const std::string& text, int maxlen) {
    if (to == nullptr || maxlen < 1) return;
    std::size_t n = text.size();
    if (n > static_cast<std::size_t>(maxlen - 1)) n = static_cast<std::size_t>(maxlen - 1);
    std::memcpy(to, text.data(), n);
    to[n] = '\0';
}

tFieldDate parseExpiryDate(const std::string& text, const std::string& dateFormat) {
    int first = 0, second = 0, third = 0;
    tFieldDate date;
    const bool yearFirst = dateFormat == "yyyy-mm-dd" || dateFormat == "yyyy/mm/dd";
    const bool dayFirst = dateFormat == "dd-mm-yyyy" || dateFormat == "dd/mm/yyyy";
    if (!yearFirst && !dayFirst) return date;
    std::sscanf(text.c_str(), "%d-%d-%d", &first, &second, &third);
    date.year = static_cast<std::uint16_t>(yearFirst ? first : third);
    date.month = static_cast<std::uint16_t>(second);
    date.day = static_cast<std::uint16_t>(yearFirst ? third : first);
    return date;
}

std::string entryCommentText(const tTreeNode& entry) { return entryComment(entry); }

int GetSupportedField(int fieldIndex, char* fieldName, char* units, int maxlen) {
    if (static_cast<unsigned>(fieldIndex) >= static_cast<unsigned>(eField_Count)) return wfx::ft_nomorefields;
    const FieldRow& row = kFields[fieldIndex];
    copyToHost(fieldName, row.name, maxlen);
    copyToHost(units, row.units, maxlen);
    return row.type;
}

int GetFieldValue(const char* fileName, int fieldIndex, void* fieldValue, int maxlen) {
    tNavigationState& nav = navigation();
    std::lock_guard<std::recursive_mutex> guard(nav.mutex);
    PasswordTree& tree = passwordTree();
    // Nothing to show before the store is open, nor while it is locked: a
    // locked store shows nothing of its entries, whatever path is asked for.
    if (tree.empty() || nav.isLocked()) return wfx::ft_fieldempty;

    std::vector<std::string> components;
    SplitVirtualPath(VirtualPathFromHost(fileName), components, false);
    std::string missing;
    // A path that is not there leaves the node last reached; that one answers.
    FindNodeByPath(components, nav.currentNode, nav.listingCursor, missing, tree.begin());
    if (!nav.currentNode.valid() || nav.currentNode == tree.end()) return wfx::ft_fieldempty;
    const tTreeNode& node = *nav.currentNode;
    if (node.isCommandNode()) return wfx::ft_fieldempty;

    switch (fieldIndex) {
        case eField_Encrypted: return encryptedValue(node, fieldValue, maxlen);
        case eField_ExpiredDate: return expiryValue(node, fieldValue, maxlen);
        case eField_Comment: return commentValue(node, fieldValue, maxlen);
        default: return wfx::ft_nosuchfield;
    }
}

wfx::BOOL GetDefaultView(char* contents, char* headers, char* widths, char* options, int maxlen) {
    copyToHost(contents, kViewContents, maxlen);
    copyToHost(headers, kViewHeaders, maxlen);
    copyToHost(widths, kViewWidths, maxlen);
    copyToHost(options, kViewOptions, maxlen);
    return 1;
}
