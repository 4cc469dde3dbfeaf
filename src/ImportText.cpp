#include "ImportText.h"

#include <cctype>
#include <cstdint>

#include "security/SecureString.h"

namespace importtext {

namespace {

std::string lowerAscii(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '_') c = '-';
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

// Windows-1252's characters at 0x80..0x9F; 0 where it has none.
const std::uint16_t kWindows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

bool fromUtf16(const std::string& text, bool littleEndian, std::string& out, std::string& error) {
    if (text.size() % 2 != 0) {
        error = "The export's UTF-16 text ends in half a character (byte " + std::to_string(text.size() - 1) + ").";
        return false;
    }
    out.reserve(text.size() * 2 + 1);  // never grown: at most 3 bytes for 2, 4 for 4
    auto unit = [&](std::size_t i) {
        const auto a = static_cast<unsigned char>(text[i]), b = static_cast<unsigned char>(text[i + 1]);
        return static_cast<std::uint32_t>(littleEndian ? (a | (b << 8)) : ((a << 8) | b));
    };
    for (std::size_t i = 0; i < text.size(); i += 2) {
        std::uint32_t cp = unit(i);
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            const std::uint32_t low = i + 3 < text.size() ? unit(i + 2) : 0;
            if (low < 0xDC00 || low > 0xDFFF) {
                error = "The export is not valid UTF-16 text (byte " + std::to_string(i) + ").";
                return false;
            }
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            error = "The export is not valid UTF-16 text (byte " + std::to_string(i) + ").";
            return false;
        }
        appendUtf8(out, cp);
    }
    return true;
}

}  // namespace

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

eEncoding fromByteOrderMark(const std::string& bytes, std::size_t& markLength) {
    auto starts = [&bytes](const char* mark, std::size_t n) { return bytes.compare(0, n, mark, n) == 0; };
    if (bytes.size() >= 3 && starts("\xEF\xBB\xBF", 3)) {
        markLength = 3;
        return eEncoding::eUtf8;
    }
    if (bytes.size() >= 2 && starts("\xFF\xFE", 2)) {
        markLength = 2;
        return eEncoding::eUtf16LE;
    }
    if (bytes.size() >= 2 && starts("\xFE\xFF", 2)) {
        markLength = 2;
        return eEncoding::eUtf16BE;
    }
    markLength = 0;
    return eEncoding::eUnknown;
}

eEncoding fromName(const std::string& name) {
    const std::string n = lowerAscii(name);
    if (n == "utf-8" || n == "utf8" || n == "us-ascii" || n == "ascii") return eEncoding::eUtf8;
    if (n == "iso-8859-1" || n == "iso8859-1" || n == "latin1" || n == "latin-1" || n == "l1") return eEncoding::eLatin1;
    if (n == "windows-1252" || n == "cp1252") return eEncoding::eWindows1252;
    if (n == "utf-16le") return eEncoding::eUtf16LE;
    if (n == "utf-16be" || n == "utf-16") return eEncoding::eUtf16BE;
    return eEncoding::eUnknown;
}

bool isValidUtf8(const std::string& text, std::size_t& where) {
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t length;
        std::uint32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2, cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3, cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4, cp = c & 0x07;
        } else {
            where = i;
            return false;
        }
        if (i + length > n) {
            where = i;
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto t = static_cast<unsigned char>(text[i + k]);
            if ((t & 0xC0) != 0x80) {
                where = i;
                return false;
            }
            cp = (cp << 6) | (t & 0x3F);
        }
        const bool overlong = (length == 3 && cp < 0x800) || (length == 4 && cp < 0x10000);
        if (overlong || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
            where = i;
            return false;
        }
        i += length;
    }
    where = n;
    return true;
}

bool toUtf8(std::string& text, eEncoding from, std::string& error) {
    std::string out;
    switch (from) {
        case eEncoding::eUtf8:
        case eEncoding::eUnknown: {
            std::size_t where = 0;
            if (isValidUtf8(text, where)) return true;
            error = "The export is not valid UTF-8 text (byte " + std::to_string(where) + ").";
            return false;
        }
        case eEncoding::eUtf16LE:
        case eEncoding::eUtf16BE:
            if (!fromUtf16(text, from == eEncoding::eUtf16LE, out, error)) {
                secureWipe(out);
                return false;
            }
            break;
        case eEncoding::eLatin1:
        case eEncoding::eWindows1252:
            out.reserve(text.size() * 3 + 1);  // never grown
            for (std::size_t i = 0; i < text.size(); ++i) {
                const auto c = static_cast<unsigned char>(text[i]);
                std::uint32_t cp = c;
                if (from == eEncoding::eWindows1252 && c >= 0x80 && c < 0xA0) {
                    cp = kWindows1252High[c - 0x80];
                    if (cp == 0) {
                        secureWipe(out);
                        error = "The export is not valid Windows-1252 text (byte " + std::to_string(i) + ").";
                        return false;
                    }
                }
                appendUtf8(out, cp);
            }
            break;
    }
    secureWipe(text);
    text.swap(out);
    return true;
}

std::string withCrLf(const std::string& text) {
    // Room for every line end at once: a growing copy would leave pieces of
    // the text behind.
    std::size_t breaks = 0;
    for (char c : text) breaks += (c == '\r' || c == '\n') ? 1 : 0;
    std::string out;
    out.reserve(text.size() + breaks + 1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace importtext
