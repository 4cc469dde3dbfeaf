#include "ImportCsv.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "ImportText.h"
#include "security/SecureString.h"

namespace {

// Wipes all of a string's buffer, also the characters a move leaves behind in
// a short string's own storage, then empties it.
void wipeAll(std::string& s) {
    s.resize(s.capacity());
    secureWipe(s);
}

void take(std::string& from, std::string& to) {
    to = std::move(from);
    wipeAll(from);
}

// Wipes a string when it goes, however the function is left.
class WipeOnExit {
public:
    explicit WipeOnExit(std::string& s) : s_(s) {}
    ~WipeOnExit() { wipeAll(s_); }
    WipeOnExit(const WipeOnExit&) = delete;
    WipeOnExit& operator=(const WipeOnExit&) = delete;

private:
    std::string& s_;
};

// The fields of the record being read.
struct Fields {
    std::vector<std::string> values;
    Fields() = default;
    Fields(const Fields&) = delete;
    Fields& operator=(const Fields&) = delete;
    ~Fields() { wipe(); }
    void wipe() {
        for (std::string& v : values) wipeAll(v);
        values.clear();
    }
};

std::string lineText(std::size_t line) { return "Line " + std::to_string(line); }

enum class eRecordRead { eRecord, eEnd, eError };

// Records of a CSV text as RFC 4180 has them, empty lines skipped.
class CsvReader {
public:
    CsvReader(const char* text, std::size_t size) : p_(text), n_(size) {}

    // The next record: its fields (the first `keep` of them) go into
    // `fields` unless it is null; `count` is the number of fields, `line`
    // the line the record starts on.
    eRecordRead next(std::vector<std::string>* fields, std::size_t keep, std::size_t& count, std::size_t& line,
                     std::string& error) {
        while (atLineEnd()) skipLineEnd();
        if (pos_ >= n_) return eRecordRead::eEnd;
        line = line_;
        count = 0;
        for (;;) {
            const bool stored = fields != nullptr && count < keep;
            if (pos_ < n_ && p_[pos_] == '"') {
                const std::size_t start = pos_ + 1;
                std::size_t i = start, lines = 0;
                for (;;) {
                    if (i >= n_) {
                        error = lineText(line) + " has a quoted field that is never closed.";
                        return eRecordRead::eError;
                    }
                    const char c = p_[i];
                    if (c == '"') {
                        if (i + 1 < n_ && p_[i + 1] == '"') {
                            i += 2;
                            continue;
                        }
                        break;
                    }
                    if (c == '\r') {
                        ++lines;
                        if (i + 1 < n_ && p_[i + 1] == '\n') ++i;
                    } else if (c == '\n') {
                        ++lines;
                    }
                    ++i;
                }
                if (stored) {
                    fields->emplace_back();
                    std::string& f = fields->back();
                    f.reserve(i - start);  // never grown: no copy left behind
                    for (std::size_t k = start; k < i; ++k) {
                        f += p_[k];
                        if (p_[k] == '"') ++k;  // the second of a doubled quote
                    }
                }
                line_ += lines;
                pos_ = i + 1;
                if (pos_ < n_ && p_[pos_] != ',' && !atLineEnd()) {
                    error = lineText(line) + " has text after the closing quote of a field.";
                    return eRecordRead::eError;
                }
            } else {
                const std::size_t start = pos_;
                while (pos_ < n_ && p_[pos_] != ',' && p_[pos_] != '\r' && p_[pos_] != '\n') ++pos_;
                if (stored) fields->emplace_back(p_ + start, pos_ - start);
            }
            ++count;
            if (pos_ >= n_) return eRecordRead::eRecord;
            if (p_[pos_] == ',') {
                ++pos_;
                continue;
            }
            skipLineEnd();
            return eRecordRead::eRecord;
        }
    }

private:
    bool atLineEnd() const { return pos_ < n_ && (p_[pos_] == '\r' || p_[pos_] == '\n'); }
    void skipLineEnd() {
        if (p_[pos_] == '\r' && pos_ + 1 < n_ && p_[pos_ + 1] == '\n') ++pos_;
        ++pos_;
        ++line_;
    }

    const char* p_;
    std::size_t n_;
    std::size_t pos_ = 0;
    std::size_t line_ = 1;
};

// The bytes of a UTF-16 text up to the end of its first record.
std::size_t utf16HeaderLength(const char* p, std::size_t n, bool littleEndian) {
    n &= ~static_cast<std::size_t>(1);
    bool quoted = false, seen = false;
    for (std::size_t i = 0; i < n; i += 2) {
        const unsigned a = static_cast<unsigned char>(p[i]), b = static_cast<unsigned char>(p[i + 1]);
        const unsigned unit = littleEndian ? (a | (b << 8)) : ((a << 8) | b);
        if (!quoted && (unit == '\r' || unit == '\n')) {
            if (seen) return i;
            continue;
        }
        seen = true;
        if (unit == '"') quoted = !quoted;
    }
    return n;
}

enum class eColumn { eExtra, eDropped, eGroup, eTitle, eUserName, ePassword, eUrl, eNotes };

struct tColumnName {
    const char* name;  // lower case
    eColumn column;
    bool required;
};

struct tFormat {
    const char* name;
    std::vector<tColumnName> columns;
    bool titleFromUrl;
};

const std::vector<tFormat>& formats() {
    using C = eColumn;
    static const std::vector<tFormat> list = {
        {"KeePassXC CSV",
         {{"group", C::eGroup, true},
          {"title", C::eTitle, true},
          {"username", C::eUserName, true},
          {"password", C::ePassword, true},
          {"url", C::eUrl, true},
          {"notes", C::eNotes, true},
          {"icon", C::eDropped, false},
          {"last modified", C::eDropped, false},
          {"created", C::eDropped, false}},
         false},
        {"KeePass CSV",
         {{"account", C::eTitle, true},
          {"login name", C::eUserName, true},
          {"password", C::ePassword, true},
          {"web site", C::eUrl, true},
          {"comments", C::eNotes, true}},
         false},
        {"Chrome CSV",
         {{"name", C::eTitle, true},
          {"url", C::eUrl, true},
          {"username", C::eUserName, true},
          {"password", C::ePassword, true},
          {"note", C::eNotes, false}},
         false},
        {"Firefox CSV",
         {{"url", C::eUrl, true},
          {"username", C::eUserName, true},
          {"password", C::ePassword, true},
          {"guid", C::eDropped, false},
          {"timecreated", C::eDropped, false},
          {"timelastused", C::eDropped, false},
          {"timepasswordchanged", C::eDropped, false}},
         true},
    };
    return list;
}

// What each column of the file holds.
struct tLayout {
    const tFormat* format = nullptr;
    std::vector<eColumn> columns;
    std::vector<std::string> names;  // as written, without surrounding blanks
};

std::string trimmed(const std::string& s) {
    const std::size_t first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

std::string lowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool recognise(const std::vector<std::string>& header, tLayout& layout) {
    std::vector<std::string> names, keys;
    for (const std::string& h : header) {
        names.push_back(trimmed(h));
        keys.push_back(lowerAscii(names.back()));
    }
    for (const tFormat& format : formats()) {
        std::vector<eColumn> columns(header.size(), eColumn::eExtra);
        bool complete = true;
        for (const tColumnName& c : format.columns) {
            bool found = false;
            for (std::size_t i = 0; i < keys.size(); ++i) {
                if (keys[i] != c.name) continue;
                found = true;
                columns[i] = c.column;
                if (c.column != eColumn::eDropped) break;  // a second column of that name is an extra one
            }
            if (!found && c.required) {
                complete = false;
                break;
            }
        }
        if (!complete) continue;
        layout.format = &format;
        layout.columns = std::move(columns);
        layout.names = std::move(names);
        return true;
    }
    return false;
}

// Where the host of a URL stands in it: scheme, user info, port, path and
// query left out. Without "://", what stands before the first "/".
void hostOf(const std::string& url, std::size_t& start, std::size_t& length) {
    const std::size_t scheme = url.find("://");
    if (scheme == std::string::npos) {
        start = 0;
        length = std::min(url.find('/'), url.size());
        return;
    }
    std::size_t begin = scheme + 3;
    std::size_t end = std::min(url.find_first_of("/?#", begin), url.size());
    const std::size_t at = url.rfind('@', end == 0 ? 0 : end - 1);
    if (at != std::string::npos && at >= begin && at < end) begin = at + 1;
    if (begin < end && url[begin] == '[') {
        const std::size_t close = url.find(']', begin);
        if (close != std::string::npos && close < end) end = close + 1;
    } else {
        const std::size_t colon = url.find(':', begin);
        if (colon < end) end = colon;
    }
    start = begin;
    length = end - begin;
}

// A group path below the export's root group: its first name is that root.
void groupsOf(const std::string& path, std::vector<std::string>& groups) {
    const std::size_t first = path.find('/');
    if (first == std::string::npos) return;
    std::size_t count = 0;
    for (std::size_t a = first + 1; a <= path.size();) {
        const std::size_t b = std::min(path.find('/', a), path.size());
        if (b > a) ++count;
        a = b + 1;
    }
    groups.reserve(count);
    for (std::size_t a = first + 1; a <= path.size();) {
        const std::size_t b = std::min(path.find('/', a), path.size());
        if (b > a) groups.emplace_back(path, a, b - a);
        a = b + 1;
    }
}

// The folders met so far, each once: for a new group path its ancestors go
// in first.
class FolderIndex {
public:
    explicit FolderIndex(std::vector<std::vector<std::string>>& folders) : folders_(folders), known_(Less{&folders}) {}

    void add(const std::vector<std::string>& groups) {
        for (std::size_t n = 1; n <= groups.size(); ++n) {
            if (known_.find(Key{&groups, n}) != known_.end()) continue;
            folders_.emplace_back(groups.begin(), groups.begin() + static_cast<std::ptrdiff_t>(n));
            known_.insert(folders_.size() - 1);
        }
    }

private:
    struct Key {
        const std::vector<std::string>* path;
        std::size_t length;
    };
    struct Less {
        using is_transparent = void;
        const std::vector<std::vector<std::string>>* folders;
        Key key(std::size_t i) const { return {&(*folders)[i], (*folders)[i].size()}; }
        static bool less(const Key& a, const Key& b) {
            return std::lexicographical_compare(
                a.path->begin(), a.path->begin() + static_cast<std::ptrdiff_t>(a.length), b.path->begin(),
                b.path->begin() + static_cast<std::ptrdiff_t>(b.length));
        }
        bool operator()(std::size_t a, std::size_t b) const { return less(key(a), key(b)); }
        bool operator()(std::size_t a, const Key& b) const { return less(key(a), b); }
        bool operator()(const Key& a, std::size_t b) const { return less(a, key(b)); }
    };

    std::vector<std::vector<std::string>>& folders_;
    std::set<std::size_t, Less> known_;
};

// The notes column, then every other column not dropped and not empty as a
// line "Header: value".
void fillNotes(const tLayout& layout, std::vector<std::string>& fields, std::string& notes) {
    WipedString text;  // its grown-out buffers are wiped by its allocator
    struct Wipe {
        WipedString& w;
        ~Wipe() { secureWipe(w); }
    } wipe{text};
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (layout.columns[i] != eColumn::eNotes) continue;
        std::string v = importtext::withCrLf(fields[i]);
        text.append(v.data(), v.size());
        wipeAll(v);
        break;
    }
    bool separated = text.empty() || text.back() == '\n';
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (layout.columns[i] != eColumn::eExtra || fields[i].empty()) continue;
        if (!separated) text += "\r\n";
        separated = true;
        text.append(layout.names[i].data(), layout.names[i].size());
        text += ": ";
        std::string v = importtext::withCrLf(fields[i]);
        text.append(v.data(), v.size());
        wipeAll(v);
        text += "\r\n";
    }
    notes.assign(text.data(), text.size());
}

void fillEntry(const tLayout& layout, std::vector<std::string>& fields, tImportedEntry& entry) {
    fillNotes(layout, fields, entry.notes);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        switch (layout.columns[i]) {
            case eColumn::eGroup:
                groupsOf(fields[i], entry.groups);
                break;
            case eColumn::eTitle:
                take(fields[i], entry.title);
                break;
            case eColumn::eUserName:
                take(fields[i], entry.userName);
                break;
            case eColumn::ePassword:
                take(fields[i], entry.password);
                break;
            case eColumn::eUrl:
                take(fields[i], entry.url);
                break;
            default:
                break;
        }
    }
    if (layout.format->titleFromUrl) {
        std::size_t start = 0, length = 0;
        hostOf(entry.url, start, length);
        entry.title.assign(entry.url, start, length);
    }
}

std::string fieldsText(std::size_t n) { return std::to_string(n) + (n == 1 ? " field" : " fields"); }

}  // namespace

eImportRead ReadCsvExport(const std::string& text, tImportedData& out, std::string& error) {
    using importtext::eEncoding;
    std::size_t markLength = 0;
    const eEncoding encoding = importtext::fromByteOrderMark(text, markLength);
    const bool utf16 = encoding == eEncoding::eUtf16LE || encoding == eEncoding::eUtf16BE;

    // Whether this is an export at all is told by the header alone.
    tLayout layout;
    {
        std::string headerText;  // a UTF-16 text's header line, in UTF-8
        WipeOnExit wipeHeaderText(headerText);
        const char* start = text.data() + markLength;
        std::size_t size = text.size() - markLength;
        if (utf16) {
            headerText.assign(start, utf16HeaderLength(start, size, encoding == eEncoding::eUtf16LE));
            std::string ignored;
            if (!importtext::toUtf8(headerText, encoding, ignored)) return eImportRead::eNotAnExport;
            start = headerText.data();
            size = headerText.size();
        }
        Fields header;
        CsvReader reader(start, size);
        std::size_t count = 0, line = 0;
        std::string ignored;
        if (reader.next(&header.values, std::numeric_limits<std::size_t>::max(), count, line, ignored) !=
            eRecordRead::eRecord)
            return eImportRead::eNotAnExport;
        if (!recognise(header.values, layout)) return eImportRead::eNotAnExport;
    }

    // The whole text in UTF-8.
    std::string converted;
    WipeOnExit wipeConverted(converted);
    const char* body = text.data() + markLength;
    std::size_t bodySize = text.size() - markLength;
    if (utf16) {
        converted.assign(body, bodySize);
        if (!importtext::toUtf8(converted, encoding, error)) return eImportRead::eMalformed;
        body = converted.data();
        bodySize = converted.size();
    } else {
        std::size_t where = 0;
        if (!importtext::isValidUtf8(text, where)) {
            error = "The export is not valid UTF-8 text (byte " + std::to_string(where) + ").";
            return eImportRead::eMalformed;
        }
    }

    // Every record checked before one is taken: a damaged file gives nothing.
    const std::size_t columns = layout.columns.size();
    std::size_t records = 0;
    {
        CsvReader reader(body, bodySize);
        std::size_t count = 0, line = 0;
        for (;;) {
            const eRecordRead read = reader.next(nullptr, 0, count, line, error);
            if (read == eRecordRead::eError) return eImportRead::eMalformed;
            if (read == eRecordRead::eEnd) break;
            if (count != columns) {
                error = lineText(line) + " has " + fieldsText(count) + ", but the header has " +
                        std::to_string(columns) + ".";
                return eImportRead::eMalformed;
            }
            ++records;
        }
    }

    tImportedData data;
    data.format = layout.format->name;
    data.entries.reserve(records - 1);  // never grown: moved entries would leave copies behind
    FolderIndex folders(data.folders);
    Fields fields;
    fields.values.reserve(columns);
    CsvReader reader(body, bodySize);
    std::size_t count = 0, line = 0;
    std::string ignored;
    reader.next(nullptr, 0, count, line, ignored);  // the header
    while (reader.next(&fields.values, columns, count, line, ignored) == eRecordRead::eRecord) {
        data.entries.emplace_back();
        fillEntry(layout, fields.values, data.entries.back());
        folders.add(data.entries.back().groups);
        fields.wipe();
    }

    out.format = data.format;
    out.folders.swap(data.folders);
    out.entries.swap(data.entries);
    out.attachments = 0;
    return eImportRead::eRead;
}
